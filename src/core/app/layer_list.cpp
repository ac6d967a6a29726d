// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/layer_list.h"

#include <algorithm>

#include "app/frame_view.h"
#include "app/session.h"
#include "base/i18n.h"
#include "model/extensions.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix {

LayerList::LayerList(Session& session, FrameView& view) : session_(session), view_(view) {}

TreeItem LayerList::treeItemOf(int layerIndex) const {
  const Layer& layer = session_.project().layers[static_cast<size_t>(layerIndex)];
  const BlendMode mode = blendModeOf(layer.effects);
  return {layerIndex, layerItemText(layer),
          layer.visible != 0 ? LayerIcon::Shown : LayerIcon::Hidden,
          mode == BlendMode::Normal ? std::string()
                                    : _(blendModeNames()[static_cast<size_t>(mode)].label)};
}

int LayerList::treeItemOfLayer(int layerIndex) const {
  for (size_t i = 0; i < tree_.size(); ++i) {
    if (tree_[i].layerIndex == layerIndex) return static_cast<int>(i);
  }
  return -1;
}

void LayerList::fillTree() {
  const int selectedLayer = currentLayer();
  tree_.clear();
  std::vector<int> order = treeOrder(session_.project());
  if (pendingNewLayer_ >= 0) {
    order.erase(std::remove(order.begin(), order.end(), pendingNewLayer_), order.end());
    order.push_back(pendingNewLayer_);
  }
  for (int index : order)
    tree_.push_back(treeItemOf(index));
  selectedTree_ = treeItemOfLayer(selectedLayer);
  session_.port().refresh(RefreshTree);
}

void LayerList::updateTreeItemOf(int layerIndex) {
  const int item = treeItemOfLayer(layerIndex);
  if (item < 0) return;
  tree_[static_cast<size_t>(item)] = treeItemOf(layerIndex);
  session_.port().refresh(RefreshTree);
}

void LayerList::clear() {
  tree_.clear();
  selectedTree_ = -1;
  rows_.clear();
  selectedRow_ = -1;
  session_.port().refresh(RefreshTree | RefreshList);
}

void LayerList::clearRows() {
  rows_.clear();
  selectedRow_ = -1;
  session_.port().refresh(RefreshList);
}

int LayerList::currentLayer() const {
  if (selectedTree_ < 0 || selectedTree_ >= static_cast<int>(tree_.size())) return -1;
  return tree_[static_cast<size_t>(selectedTree_)].layerIndex;
}

int LayerList::selectedLayerIndex() {
  if (session_.noProjectLoaded()) return -1;
  const int index = currentLayer();
  if (index < 0) session_.port().notice(_("レイヤーを選択して下さい。"));
  return index;
}

void LayerList::setSelectedItem(int item) {
  selectedTree_ = item >= 0 && item < static_cast<int>(tree_.size()) ? item : -1;
}

void LayerList::selectTreeItem(int item) {
  setSelectedItem(item);
  session_.port().refresh(RefreshTree);
  if (selectedTree_ < 0) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  fillSourceList(index);
  selectRow(0);
}

void LayerList::fillSourceList(int layerIndex) {
  rows_.clear();
  const Layer& layer = session_.project().layers[static_cast<size_t>(layerIndex)];
  for (size_t i = 0; i < layer.sources.size(); ++i)
    rows_.push_back(sourceRowTexts(layer.sources[i], static_cast<int>(i)));
  selectedRow_ = -1;
  session_.port().refresh(RefreshList);
}

void LayerList::selectRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) {
    selectedRow_ = -1;
    session_.port().refresh(RefreshList);
    return;
  }
  selectedRow_ = row;
  session_.port().refresh(RefreshList);
  sourceSelected();
}

bool LayerList::rowSelected() {
  if (selectedRow_ >= 0) return true;
  session_.port().notice(_("リストを選択してください"));
  return false;
}

void LayerList::sourceSelected() {
  const int index = selectedLayerIndex();
  if (index < 0 || selectedRow_ < 0) return;
  const Project& project = session_.project();
  const Layer& layer = project.layers[static_cast<size_t>(index)];
  const Source& source = layer.sources[static_cast<size_t>(selectedRow_)];
  const float start = selectedSourceTime(layer, selectedRow_, project.fps);
  if (!dragging_) heldSource_ = source;
  view_.showSpan(start, start, start + source.duration);
}

}  // namespace pelorix
