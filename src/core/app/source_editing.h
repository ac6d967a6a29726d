// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelorix {

class FrameView;
class LayerList;
class Session;
struct Source;
struct SourceDialogValues;

// The five kinds of preview gesture.
enum class PreviewEditKind { Move = 1, EndMove = 2, ScaleStep = 3, RotateStep = 4, Fit = 5 };

// The source commands of the selected layer: new, settings, delete; the preview's gestures on
// the selected source; the transparent colour picked; dropped files; rows moved; and the
// timeline's edits of a source's block.
class SourceEditing {
 public:
  SourceEditing(Session& session, LayerList& lists, FrameView& view)
      : session_(session), lists_(lists), view_(view) {}
  void newSource();
  void sourceSettings();
  void deleteSource();
  void previewEdit(int dx, int dy, int scaleSteps, int angle, PreviewEditKind kind);
  // Whether the preview's gestures have a source to edit; says so when a layer is chosen but no
  // source (a gesture that would edit nothing ends before it starts).
  bool previewTarget();
  void pickKeyColor(uint32_t colorRef);
  void dropFiles(const std::vector<std::string>& paths);
  void moveRow(int dragged, int target);
  // Selects a layer and one of its sources (a block was clicked).
  void selectSource(int layerIndex, int row);
  // A source's new duration, rounded to whole frames; one undo step.
  void setSourceDuration(int layerIndex, int row, float seconds);
  // The file name pattern the source dialog's browser starts with ("*.png").
  const std::string& lastSourcePattern() const { return lastSourcePattern_; }

 private:
  bool runSourceDialog(const Source& source, SourceDialogValues& values);
  // After a change of a layer's sources: its tree text, the list, the draw list, the selection.
  void finishSourceEdit(int index, int rowToSelect);

  Session& session_;
  LayerList& lists_;
  FrameView& view_;
  std::string lastSourcePattern_;
};

}  // namespace pelorix
