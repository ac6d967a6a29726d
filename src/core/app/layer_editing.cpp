// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/layer_editing.h"

#include <algorithm>

#include "app/dialog_rules.h"
#include "app/frame_view.h"
#include "app/layer_list.h"
#include "app/motion_editing.h"
#include "app/session.h"
#include "base/c_locale.h"
#include "base/i18n.h"

namespace pelorix {

void LayerEditing::newLayer() {
  Project& project = session_.edit();
  if (project.layerCount >= kMaxLayers) {
    session_.port().showStatus(formatC(_("レイヤーは %d 枚までです。"), kMaxLayers));
    return;
  }
  if (session_.busy()) return;
  Session::BusyScope busy(session_);
  Session::EditScope edit(session_);
  const bool wasModified = session_.modified();
  const int index = project.addLayer();
  session_.markModified();
  lists_.setPendingNewLayer(index);
  const int previousItem = lists_.selectedTreeItem();
  lists_.fillTree();
  lists_.setSelectedItem(lists_.treeItemOfLayer(index));
  session_.port().refresh(RefreshTree);
  lists_.fillSourceList(index);
  const bool accepted = !session_.noProjectLoaded() && runLayerDialog(index);
  lists_.setPendingNewLayer(-1);
  if (!accepted || project.layers[static_cast<size_t>(index)].number == 0) {
    project.removeLayerAt(index);
    session_.setModified(wasModified);
    lists_.setSelectedItem(-1);
    lists_.fillTree();
    lists_.selectTreeItem(previousItem < static_cast<int>(lists_.treeItems().size()) ? previousItem
                                                                                     : -1);
  }
}

bool LayerEditing::runLayerDialog(int index) {
  Project& project = session_.edit();
  Layer& layer = project.layers[static_cast<size_t>(index)];
  LayerValues values;
  values.number = layer.number;
  values.name = layer.name;
  values.visible = layer.visible;
  values.effects = layer.effects;
  values.red = layer.keyColor.red;
  values.green = layer.keyColor.green;
  values.blue = layer.keyColor.blue;
  if (const LayerMotion* motion = project.motion.layer(layer.number))
    values.parent = motion->parent;
  for (int i = 0; i < project.layerCount; ++i) {
    const Layer& other = project.layers[static_cast<size_t>(i)];
    if (i != index && other.number != 0)
      values.parents.emplace_back(other.number,
                                  formatC("%02d %s", other.number, other.name.c_str()));
  }
  const int parentBefore = values.parent;
  for (;;) {
    if (!session_.port().editLayer(values)) return false;
    int sameNumber = 0;
    for (int i = 0; i < project.layerCount; ++i)
      sameNumber += project.layers[static_cast<size_t>(i)].number == values.number;
    if (values.number != 0 && (values.number == layer.number || sameNumber == 0)) break;
    session_.port().notice(_(kLayerNumberRule));
  }
  Session::EditScope edit(session_);
  // The layer's keys and its children's parent follow a new number.
  if (layer.number != 0 && layer.number != values.number)
    project.renumberLayerMotion(layer.number, values.number);
  layer.number = values.number;
  layer.name = values.name;
  layer.visible = values.visible;
  layer.effects = values.effects;
  layer.keyColor.red = values.red;
  layer.keyColor.green = values.green;
  layer.keyColor.blue = values.blue;
  session_.markModified();
  // A new parent (refused, and said, when it would make a circle).
  if (values.parent != parentBefore) motion_.setParent(layer.number, values.parent);
  lists_.setPendingNewLayer(-1);
  lists_.fillTree();
  lists_.setSelectedItem(lists_.treeItemOfLayer(index));
  session_.port().refresh(RefreshTree);
  // Visibility and order changed: the draw list follows at once (and the frame is redrawn).
  view_.rebuildDrawList();
  return true;
}

void LayerEditing::layerSettings() {
  if (session_.noProjectLoaded() || session_.busy()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  Session::BusyScope busy(session_);
  Session::EditScope edit(session_);
  runLayerDialog(index);
}

void LayerEditing::deleteLayer() {
  if (session_.busy()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  {
    Session::BusyScope busy(session_);
    if (session_.port().ask(_("レイヤーを削除します。")) != Answer::Yes) return;
    Session::EditScope edit(session_);
    session_.markModified();
    const int item = lists_.selectedTreeItem();
    Project& project = session_.edit();
    // Its keys go with it; a layer it was the parent of has none any more.
    if (project.findLayerByNumber(project.layers[static_cast<size_t>(index)].number) == index)
      project.removeLayerMotion(project.layers[static_cast<size_t>(index)].number);
    project.removeLayerAt(index);
    lists_.setSelectedItem(-1);
    lists_.fillTree();
    lists_.clearRows();
    // The neighbour takes the selection (before the redraw of the rebuilt draw list).
    const int count = static_cast<int>(lists_.treeItems().size());
    if (count > 0) lists_.setSelectedItem(std::min(item, count - 1));
    view_.rebuildDrawList();
  }
  if (lists_.selectedTreeItem() >= 0) lists_.selectTreeItem(lists_.selectedTreeItem());
  view_.redraw(view_.currentTime());
}

}  // namespace pelorix
