// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <optional>
#include <utility>
#include <vector>

#include "model/project.h"

namespace pelorix {

class FrameView;
class LayerList;
class Session;

// A block of the timeline: a source of a layer.
struct BlockRef {
  int layerIndex = -1;
  int source = -1;
  auto operator<=>(const BlockRef&) const = default;
};

// The work area of a project (seconds, from before to), when one is set.
std::optional<std::pair<double, double>> workAreaOf(const Project& project);
// The frames of the work area (inclusive) in a project of `frames` frames; all of them without
// one.
std::pair<int, int> workAreaFrames(const Project& project, int frames);

// What the timeline edits besides keys: its blocks (trimmed at either edge, moved, selected
// together, copied, pasted and deleted), the order of the layers, and the work area. A drag
// is one undo step when the window wraps it in a gesture (Session::beginGesture); every other
// call is one step of its own.
class TimelineEditing {
 public:
  TimelineEditing(Session& session, LayerList& lists, FrameView& view)
      : session_(session), lists_(lists), view_(view) {}

  const std::vector<BlockRef>& selectedBlocks() const { return selected_; }
  // A click on a block: it alone is selected (with `add`, it is added or taken away), and its
  // layer and source are chosen in the lists.
  void clickBlock(BlockRef block, bool add);
  void clearBlocks();

  // An edge dragged to `t` seconds, in whole frames; every block keeps one frame at least. The
  // start of a block is the end of the one before it (the first block starts at 0 and stays).
  void trimEnd(BlockRef block, double t);
  void trimStart(BlockRef block, double t);
  // A block taken to the edge between blocks nearest `t` in layer `layerIndex` (its own or
  // another); what it becomes.
  BlockRef moveBlock(BlockRef block, int layerIndex, double t);
  // The selected blocks: deleted, or copied to be pasted after the block chosen in the lists
  // (at the end of the chosen layer when none is).
  void deleteBlocks();
  void copyBlocks();
  void pasteBlocks();
  bool canPaste() const { return !clipboard_.empty(); }

  // A layer dragged to row `row` of the timeline (rows in drawing order): the layers take each
  // other's numbers so that the order changes, their keys and parents with them.
  void moveLayer(int layerIndex, int row);

  // Where the sound track starts, in seconds of the animation (a drag of its lane: one undo
  // step in a gesture).
  void setAudioOffset(double seconds);

  std::optional<std::pair<double, double>> workArea() const;
  // Set from `a` to `b` in either order, snapped to frames; nothing clears it.
  void setWorkArea(std::optional<std::pair<double, double>> area);

 private:
  // The blocks' start times in a layer.
  double startOf(int layerIndex, int source) const;
  void changed(const std::vector<int>& layers);

  Session& session_;
  LayerList& lists_;
  FrameView& view_;
  std::vector<BlockRef> selected_;
  std::vector<Source> clipboard_;
};

}  // namespace pelorix
