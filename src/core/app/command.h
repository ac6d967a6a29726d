// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace pelorix {

// Every command of the main window. Buttons, keys and menus name these and nothing else; the
// editor runs them (Editor::run) and says whether each is enabled and what it is called now.
enum class Command {
  NewLayer,
  LayerSettings,
  DeleteLayer,
  NewSource,
  SourceSettings,
  DeleteSource,
  NewProject,
  LoadProject,
  SaveProject,
  ProjectSettings,
  Play,
  ConvertAll,
  SaveFrame,
  PageBack,
  StepBack,
  StepForward,
  PageForward,
  ShowPreview,  // a toggle
  AllLayers,    // a toggle
  Undo,
  Redo,
  About,
  SaveProjectAs,
  Export,
  Quit,
  OnionSkin,  // a toggle
  PlayFromHere,
  LoopPlayback,   // a toggle
  AutoKey,        // a toggle
  WorkAreaOnly,   // a toggle
  ShowHandles,    // a toggle
  OutsideCamera,  // a toggle
};

struct CommandInfo {
  Command command;
  const char* name;   // the object name of its widgets, for tests and style sheets
  const char* label;  // its text, marked for the catalogue (translate with _())
  bool needsProject;  // disabled while no project is open
};

std::span<const CommandInfo> commandTable();
const CommandInfo& commandInfo(Command command);

}  // namespace pelorix
