// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/source_editing.h"

#include <algorithm>
#include <cmath>

#include "app/frame_view.h"
#include "app/layer_list.h"
#include "app/session.h"
#include "base/i18n.h"

namespace pelorix {

void SourceEditing::newSource() {
  if (session_.busy()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  Session::BusyScope busy(session_);
  Source fresh;
  fresh.duration = view_.frameStep();
  SourceDialogValues values;
  if (!runSourceDialog(fresh, values)) return;
  Session::EditScope edit(session_);
  Project& project = session_.edit();
  const int row = lists_.selectedRow();
  const int count = static_cast<int>(project.layers[static_cast<size_t>(index)].sources.size());
  if (row >= 0) {
    project.addSource(index, values.source, row);
  } else {
    project.addSource(index, values.source);
  }
  // After an append the insertion index is one past the last row: no row is selected.
  finishSourceEdit(index, row >= 0 ? row : count + 1);
}

void SourceEditing::deleteSource() {
  if (session_.busy()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  Session::BusyScope busy(session_);
  if (!lists_.rowSelected()) return;
  if (session_.port().ask(_("ソースを削除します。")) != Answer::Yes) return;
  Session::EditScope edit(session_);
  session_.edit().removeSourceAt(index, lists_.selectedRow());
  finishSourceEdit(index, 0);
}

void SourceEditing::sourceSettings() {
  if (session_.busy()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  Session::BusyScope busy(session_);
  if (!lists_.rowSelected()) return;
  const int row = lists_.selectedRow();
  SourceDialogValues values;
  const Layer& layer = session_.project().layers[static_cast<size_t>(index)];
  if (!runSourceDialog(layer.sources[static_cast<size_t>(row)], values)) return;
  Session::EditScope edit(session_);
  session_.edit().replaceSourceAt(index, row, values.source);
  finishSourceEdit(index, row);
}

bool SourceEditing::runSourceDialog(const Source& source, SourceDialogValues& values) {
  values.source = source;
  values.browseFolder = session_.projectFolder();
  values.browsePattern = lastSourcePattern_;
  if (!session_.port().editSource(values)) return false;
  if (!values.pickedExtension.empty()) lastSourcePattern_ = "*." + values.pickedExtension;
  return true;
}

void SourceEditing::finishSourceEdit(int index, int rowToSelect) {
  session_.markModified();
  lists_.updateTreeItemOf(index);
  lists_.fillSourceList(index);
  view_.rebuildDrawList();
  lists_.selectRow(rowToSelect);
}

bool SourceEditing::previewTarget() {
  if (lists_.selectedLayerIndex() < 0) return false;
  if (lists_.selectedRow() < 0) {
    session_.port().notice(_("リストが選択されていません"));
    return false;
  }
  return true;
}

void SourceEditing::previewEdit(int dx, int dy, int scaleSteps, int angle, PreviewEditKind kind) {
  if (!previewTarget()) return;
  const int index = lists_.selectedLayerIndex();
  const int row = lists_.selectedRow();
  Source& source =
      session_.edit().layers[static_cast<size_t>(index)].sources[static_cast<size_t>(row)];
  Source& held = lists_.heldSource();
  // A move gesture is one step: begun by its first move, recorded by its end.
  Session::EditScope edit(session_);
  if (kind == PreviewEditKind::Move) edit.keepOpen();
  // The notches of a wheel turned on one source are one step.
  if (kind == PreviewEditKind::ScaleStep || kind == PreviewEditKind::RotateStep)
    edit.mergeAs((static_cast<unsigned long long>(kind) << 40) |
                 (static_cast<unsigned long long>(index) << 24) |
                 static_cast<unsigned long long>(row));
  switch (kind) {
    case PreviewEditKind::Move:
      lists_.setDragging(true);
      source.x = held.x + static_cast<float>(dx);
      source.y = held.y + static_cast<float>(dy);
      break;
    case PreviewEditKind::EndMove:
      break;
    case PreviewEditKind::ScaleStep: {
      const double stepSize = held.scale < 1.0f ? 0.02 : 0.1;
      held.scale = static_cast<float>(static_cast<double>(held.scale) + scaleSteps * stepSize);
      if (held.scale <= 0.0f) held.scale = 0.01f;
      source.scale = held.scale;
      break;
    }
    case PreviewEditKind::RotateStep:
      held.rotation += static_cast<float>(angle);
      if (held.rotation <= -360.0f) held.rotation += 360.0f;
      if (held.rotation >= 360.0f) held.rotation -= 360.0f;
      source.rotation = held.rotation;
      break;
    case PreviewEditKind::Fit: {
      // The width of the layer's picture: make sure the cache holds this source's picture.
      LayerImageCache& cache = view_.compositor().cache();
      if (!cache.ensure(index, row, source.file, session_.projectFolder(), session_.log())) return;
      held.x = 0.0f;
      held.y = 0.0f;
      held.rotation = 0.0f;
      held.scale = static_cast<float>(session_.project().outputWidth) /
                   static_cast<float>(cache.image(index).width());
      source = held;
      break;
    }
  }
  session_.markModified();
  lists_.fillSourceList(index);
  lists_.selectRow(row);
  if (kind == PreviewEditKind::EndMove) {
    lists_.setDragging(false);
    held = session_.project().layers[static_cast<size_t>(index)].sources[static_cast<size_t>(row)];
  }
}

void SourceEditing::pickKeyColor(uint32_t colorRef) {
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  Session::EditScope edit(session_);
  KeyColor& key = session_.edit().layers[static_cast<size_t>(index)].keyColor;
  key.blue = static_cast<uint8_t>(colorRef >> 16);
  key.green = static_cast<uint8_t>(colorRef >> 8);
  key.red = static_cast<uint8_t>(colorRef);
  key.reserved = 0;
  session_.port().notice(_("透過色を変更しました。"));
  // A changed colour is an edit like any other: it must not be lost at close.
  session_.markModified();
  view_.redraw(view_.currentTime());
}

void SourceEditing::dropFiles(const std::vector<std::string>& paths) {
  if (session_.busy() || paths.empty()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  Session::EditScope edit(session_);
  Project& project = session_.edit();
  const int row = lists_.selectedRow();
  int first = -1;
  for (size_t i = 0; i < paths.size(); ++i) {
    Source source;
    source.file = paths[i];
    source.duration = view_.frameStep();
    const int at = row >= 0 ? project.addSource(index, source, row + static_cast<int>(i))
                            : project.addSource(index, source);
    if (i == 0) first = at;
  }
  finishSourceEdit(index, first);
}

void SourceEditing::moveRow(int dragged, int target) {
  if (session_.busy()) return;
  const int index = lists_.selectedLayerIndex();
  if (index < 0) return;
  const int count = static_cast<int>(lists_.rows().size());
  if (dragged < 0 || dragged >= count) {
    session_.port().notice(_("リストを選択してください"));
    return;
  }
  if (target < 0 || target >= count) return;
  Session::EditScope edit(session_);
  session_.edit().moveSource(index, dragged, target);
  session_.markModified();
  lists_.fillSourceList(index);
  lists_.selectRow(target);
}

void SourceEditing::selectSource(int layerIndex, int row) {
  if (session_.busy()) return;
  const int item = lists_.treeItemOfLayer(layerIndex);
  if (item < 0) return;
  if (item != lists_.selectedTreeItem()) lists_.selectTreeItem(item);
  lists_.selectRow(row);
}

void SourceEditing::setSourceDuration(int layerIndex, int row, float seconds) {
  const Project& project = session_.project();
  if (session_.busy() || layerIndex < 0 || layerIndex >= project.layerCount) return;
  const Layer& layer = project.layers[static_cast<size_t>(layerIndex)];
  if (row < 0 || row >= static_cast<int>(layer.sources.size())) return;
  // Whole frames: a block ends where a frame starts, and keeps one frame at least so that it
  // can still be seen and grabbed.
  float duration = std::max(0.0f, seconds);
  if (project.fps > 0.0f) {
    const double frames = std::max(1.0, std::round(static_cast<double>(duration) * project.fps));
    duration = static_cast<float>(frames / static_cast<double>(project.fps));
  }
  Source source = layer.sources[static_cast<size_t>(row)];
  if (source.duration == duration) return;
  source.duration = duration;
  Session::EditScope edit(session_);
  session_.edit().replaceSourceAt(layerIndex, row, source);
  const int item = lists_.treeItemOfLayer(layerIndex);
  if (item != lists_.selectedTreeItem()) lists_.selectTreeItem(item);
  finishSourceEdit(layerIndex, row);
}

}  // namespace pelorix
