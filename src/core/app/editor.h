// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/command.h"
#include "app/frame_view.h"
#include "app/key_tables.h"
#include "app/layer_editing.h"
#include "app/layer_list.h"
#include "app/motion_canvas.h"
#include "app/motion_editing.h"
#include "app/output_control.h"
#include "app/playback_control.h"
#include "app/project_files.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/source_editing.h"
#include "app/timeline_editing.h"
#include "app/ui_port.h"
#include "base/log_sink.h"

namespace pelorix {

// Everything the main window decides, in parts: the session (the project, its file, undo), the
// lists and their selection, the frame shown, the project's file commands, the layer and source
// commands, playback and output. It talks to the user only through the UiPort and holds the
// state the window shows, so the window only draws that state and forwards events to the part
// they concern. All calls come from the user-interface thread.
class Editor {
 public:
  explicit Editor(UiPort& port);
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  Session& session() { return session_; }
  const Session& session() const { return session_; }
  LayerList& lists() { return lists_; }
  const LayerList& lists() const { return lists_; }
  FrameView& view() { return view_; }
  const FrameView& view() const { return view_; }
  ProjectFiles& files() { return files_; }
  const ProjectFiles& files() const { return files_; }
  LayerEditing& layers() { return layers_; }
  SourceEditing& sources() { return sources_; }
  MotionEditing& motion() { return motion_; }
  TimelineEditing& timeline() { return timeline_; }
  MotionCanvas& canvas() { return canvas_; }
  PlaybackControl& playback() { return playback_; }
  const PlaybackControl& playback() const { return playback_; }
  OutputControl& output() { return output_; }
  const OutputControl& output() const { return output_; }

  // ---- start and close ----
  void applySettings(const Settings& settings);
  Settings currentSettings() const;  // what the close sequence writes
  // Opens the previous project (or `path`) as the start-up does.
  void startUp(const std::optional<std::string>& path) { files_.startUp(path); }
  // The close sequence: "終了しますか？" and the save question; true when the window may close.
  bool closeRequested();

  // ---- commands ----
  // Runs a command of a button, key or menu.
  void run(Command command);
  bool enabled(Command command) const;
  // Why a command cannot be used now (for its tooltip); empty when it can.
  std::string whyDisabled(Command command) const;
  // The command's text now ("動画表示" reads "中断" while the movie plays).
  std::string label(Command command) const;
  // Whether a toggle is on.
  bool checked(Command command) const;
  // A key in a focus: true when it was taken (swallowed), down or up.
  bool handleKey(KeyFocus focus, Key key, bool down);
  void undo();
  void redo();

 private:
  void restore(const UndoStack::Snapshot& snapshot);

  class PortLog;
  std::unique_ptr<LogSink> log_;
  Session session_;
  FrameView view_;
  LayerList lists_;
  LayerEditing layers_;
  SourceEditing sources_;
  MotionEditing motion_;
  MotionCanvas canvas_;
  TimelineEditing timeline_;
  ProjectFiles files_;
  PlaybackControl playback_;
  OutputControl output_;
  // Settings the window keeps but the editor does not use: written back as they were read.
  int timelineShown_ = 1;
  int fitToScreen_ = 1;
  std::optional<WindowPlacement> placement_;
};

}  // namespace pelorix
