// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/texts.h"
#include "model/project.h"

namespace pelorix {

class FrameView;
class Session;

// The icon of a layer in the tree.
enum class LayerIcon { Shown, Hidden };

struct TreeItem {
  int layerIndex = -1;
  std::string text;
  LayerIcon icon = LayerIcon::Hidden;
  std::string mode;  // the blend mode's label when it is not the plain one
};

using SourceRow = std::array<std::string, kSourceColumns>;

// The layer tree and the source list as the window shows them, and what is selected in them.
// Selecting a source moves the time into it.
class LayerList {
 public:
  LayerList(Session& session, FrameView& view);
  LayerList(const LayerList&) = delete;
  LayerList& operator=(const LayerList&) = delete;

  // The tree items of the project's layers, in tree order (a layer being created last).
  void fillTree();
  void updateTreeItemOf(int layerIndex);
  // The rows of a layer's sources; none selected.
  void fillSourceList(int layerIndex);
  // Nothing listed, nothing selected; no source listed.
  void clear();
  void clearRows();
  void selectTreeItem(int item);
  // Selects tree item `item` without filling the list (-1: none).
  void setSelectedItem(int item);
  void selectRow(int row);  // -1: none
  // The layer selected in the tree; says so and gives -1 when none is.
  int selectedLayerIndex();
  // The same without a word: -1 when none is.
  int currentLayer() const;
  // True when a source row is selected; otherwise says so.
  bool rowSelected();
  int treeItemOfLayer(int layerIndex) const;
  // A layer being created: listed last until its settings give it a number (-1: none).
  void setPendingNewLayer(int layerIndex) { pendingNewLayer_ = layerIndex; }

  const std::vector<TreeItem>& treeItems() const { return tree_; }
  int selectedTreeItem() const { return selectedTree_; }
  const std::vector<SourceRow>& rows() const { return rows_; }
  int selectedRow() const { return selectedRow_; }
  // The selected source's values when the preview gesture started (a drag moves from them).
  const Source& heldSource() const { return heldSource_; }
  Source& heldSource() { return heldSource_; }
  void setDragging(bool dragging) { dragging_ = dragging; }

 private:
  TreeItem treeItemOf(int layerIndex) const;
  // Selecting a source moves the time half a frame into it and marks its span on the slider.
  void sourceSelected();

  Session& session_;
  FrameView& view_;
  std::vector<TreeItem> tree_;
  int selectedTree_ = -1;
  int pendingNewLayer_ = -1;
  std::vector<SourceRow> rows_;
  int selectedRow_ = -1;
  Source heldSource_;
  bool dragging_ = false;
};

}  // namespace pelorix
