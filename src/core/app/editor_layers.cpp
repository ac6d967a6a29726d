// SPDX-License-Identifier: GPL-3.0-or-later
// The layer and source commands, the preview gestures, dropped files and row moves.
#include "app/editor.h"
#include "base/c_locale.h"
#include "base/i18n.h"

#include "app/edit_scope.h"
#include "app/texts.h"

namespace pelorix {
namespace {

// Sets `busy` for the length of a command, on every way out.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

constexpr const char* kNumberRule = N_("0以外で他と違うレイヤー番号を指定して下さい。");
constexpr const char* kSelectRow = N_("リストを選択してください");

}  // namespace

void Editor::newLayer() {
  if (project_.layerCount >= kMaxLayers) {
    port_.showStatus(formatC(_("レイヤーは %d 枚までです。"), kMaxLayers));
    return;
  }
  if (busy_) return;
  BusyScope busy(busy_);
  EditScope edit(*this);
  const bool wasModified = modified_;
  const int index = project_.addLayer();
  markModified();
  pendingNewLayer_ = index;
  const int previousItem = selectedTree_;
  fillTree();
  selectedTree_ = treeItemOfLayer(index);
  port_.refresh(RefreshTree);
  fillSourceList(index);
  const bool accepted = !noProjectLoaded_ && runLayerDialog(index);
  pendingNewLayer_ = -1;
  if (!accepted || project_.layers[static_cast<size_t>(index)].number == 0) {
    project_.removeLayerAt(index);
    modified_ = wasModified;
    selectedTree_ = -1;
    fillTree();
    selectTreeItem(previousItem < static_cast<int>(tree_.size()) ? previousItem : -1);
  }
}

// The layer settings dialog with the number rule, for an existing or a new layer.
bool Editor::runLayerDialog(int index) {
  Layer& layer = project_.layers[static_cast<size_t>(index)];
  LayerValues values{layer.number,       layer.name,           layer.visible,      layer.effects,
                     layer.keyColor.red, layer.keyColor.green, layer.keyColor.blue};
  for (;;) {
    if (!port_.editLayer(values)) return false;
    int sameNumber = 0;
    for (int i = 0; i < project_.layerCount; ++i) {
      sameNumber += project_.layers[static_cast<size_t>(i)].number == values.number;
    }
    if (values.number != 0 && (values.number == layer.number || sameNumber == 0)) break;
    port_.notice(_(kNumberRule));
  }
  EditScope edit(*this);
  layer.number = values.number;
  layer.name = values.name;
  layer.visible = values.visible;
  layer.effects = values.effects;
  layer.keyColor.red = values.red;
  layer.keyColor.green = values.green;
  layer.keyColor.blue = values.blue;
  markModified();
  pendingNewLayer_ = -1;
  fillTree();
  selectedTree_ = treeItemOfLayer(index);
  port_.refresh(RefreshTree);
  // Visibility and order changed: the draw list follows at once (and the frame is redrawn).
  rebuildDrawList();
  return true;
}

void Editor::layerSettings() {
  if (noProjectLoaded_ || busy_) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  BusyScope busy(busy_);
  EditScope edit(*this);
  runLayerDialog(index);
}

void Editor::deleteLayer() {
  if (busy_) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  {
    BusyScope busy(busy_);
    if (port_.ask(_("レイヤーを削除します。")) != Answer::Yes) return;
    EditScope edit(*this);
    markModified();
    const int item = selectedTree_;
    project_.removeLayerAt(index);
    selectedTree_ = -1;
    fillTree();
    rows_.clear();
    selectedRow_ = -1;
    port_.refresh(RefreshList);
    // The neighbour takes the selection (before the redraw of the rebuilt draw list).
    if (!tree_.empty()) selectedTree_ = std::min(item, static_cast<int>(tree_.size()) - 1);
    rebuildDrawList();
  }
  if (selectedTree_ >= 0) selectTreeItem(selectedTree_);
  redraw(currentTime_);
}

void Editor::newSource() {
  if (busy_) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  BusyScope busy(busy_);
  Source fresh;
  fresh.duration = frameStep();
  SourceDialogValues values;
  if (!runSourceDialog(fresh, values)) return;
  EditScope edit(*this);
  const int row = selectedRow_;
  const int count = static_cast<int>(project_.layers[static_cast<size_t>(index)].sources.size());
  if (row >= 0) {
    project_.addSource(index, values.source, row);
  } else {
    project_.addSource(index, values.source);
  }
  // After an append the insertion index is one past the last row: no row is selected.
  finishSourceEdit(index, row >= 0 ? row : count + 1);
}

void Editor::deleteSource() {
  if (busy_) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  BusyScope busy(busy_);
  if (!rowSelected()) return;
  if (port_.ask(_("ソースを削除します。")) != Answer::Yes) return;
  EditScope edit(*this);
  project_.removeSourceAt(index, selectedRow_);
  finishSourceEdit(index, 0);
}

void Editor::sourceSettings() {
  if (busy_) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  BusyScope busy(busy_);
  if (!rowSelected()) return;
  const int row = selectedRow_;
  SourceDialogValues values;
  if (!runSourceDialog(
          project_.layers[static_cast<size_t>(index)].sources[static_cast<size_t>(row)], values)) {
    return;
  }
  EditScope edit(*this);
  project_.replaceSourceAt(index, row, values.source);
  finishSourceEdit(index, row);
}

bool Editor::rowSelected() {
  if (selectedRow_ >= 0) return true;
  port_.notice(_(kSelectRow));
  return false;
}

bool Editor::runSourceDialog(const Source& source, SourceDialogValues& values) {
  values.source = source;
  values.browseFolder = projectFolder_;
  values.browsePattern = lastSourcePattern_;
  if (!port_.editSource(values)) return false;
  if (!values.pickedExtension.empty()) lastSourcePattern_ = "*." + values.pickedExtension;
  return true;
}

// After a change of a layer's sources: its tree text, the list, the draw list, the selection.
void Editor::finishSourceEdit(int index, int rowToSelect) {
  markModified();
  updateTreeItemOf(index);
  fillSourceList(index);
  rebuildDrawList();
  selectRow(rowToSelect);
}

void Editor::previewEdit(int dx, int dy, int scaleSteps, int angle, PreviewEditKind kind) {
  const int index = selectedLayerIndex();
  if (index < 0) return;
  if (selectedRow_ < 0) {
    port_.notice(_("リストが選択されていません"));
    return;
  }
  const int row = selectedRow_;
  Source& source = project_.layers[static_cast<size_t>(index)].sources[static_cast<size_t>(row)];
  // A move gesture is one step: begun by its first move, recorded by its end.
  EditScope edit(*this);
  if (kind == PreviewEditKind::Move) edit.keepOpen();
  switch (kind) {
    case PreviewEditKind::Move:
      previewDragging_ = true;
      source.x = heldSource_.x + static_cast<float>(dx);
      source.y = heldSource_.y + static_cast<float>(dy);
      break;
    case PreviewEditKind::EndMove:
      break;
    case PreviewEditKind::ScaleStep: {
      const double step = heldSource_.scale < 1.0f ? 0.02 : 0.1;
      heldSource_.scale =
          static_cast<float>(static_cast<double>(heldSource_.scale) + scaleSteps * step);
      if (heldSource_.scale <= 0.0f) heldSource_.scale = 0.01f;
      source.scale = heldSource_.scale;
      break;
    }
    case PreviewEditKind::RotateStep:
      heldSource_.rotation += static_cast<float>(angle);
      if (heldSource_.rotation <= -360.0f) heldSource_.rotation += 360.0f;
      if (heldSource_.rotation >= 360.0f) heldSource_.rotation -= 360.0f;
      source.rotation = heldSource_.rotation;
      break;
    case PreviewEditKind::Fit: {
      // The width of the layer's picture: make sure the cache holds this source's picture.
      if (!compositor_.cache().ensure(index, row, source.file, projectFolder_, *log_)) return;
      heldSource_.x = 0.0f;
      heldSource_.y = 0.0f;
      heldSource_.rotation = 0.0f;
      heldSource_.scale = static_cast<float>(project_.outputWidth) /
                          static_cast<float>(compositor_.cache().image(index).width());
      source = heldSource_;
      break;
    }
  }
  markModified();
  fillSourceList(index);
  selectRow(row);
  if (kind == PreviewEditKind::EndMove) {
    previewDragging_ = false;
    heldSource_ = project_.layers[static_cast<size_t>(index)].sources[static_cast<size_t>(row)];
  }
}

void Editor::pickKeyColor(uint32_t colorRef) {
  const int index = selectedLayerIndex();
  if (index < 0) return;
  EditScope edit(*this);
  KeyColor& key = project_.layers[static_cast<size_t>(index)].keyColor;
  key.blue = static_cast<uint8_t>(colorRef >> 16);
  key.green = static_cast<uint8_t>(colorRef >> 8);
  key.red = static_cast<uint8_t>(colorRef);
  key.reserved = 0;
  port_.notice(_("透過色を変更しました。"));
  // A changed colour is an edit like any other: it must not be lost at close.
  markModified();
  redraw(currentTime_);
}

void Editor::dropFiles(const std::vector<std::string>& paths) {
  if (busy_ || paths.empty()) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  EditScope edit(*this);
  const int row = selectedRow_;
  int first = -1;
  for (size_t i = 0; i < paths.size(); ++i) {
    Source source;
    source.file = paths[i];
    source.duration = frameStep();
    const int at = row >= 0 ? project_.addSource(index, source, row + static_cast<int>(i))
                            : project_.addSource(index, source);
    if (i == 0) first = at;
  }
  finishSourceEdit(index, first);
}

void Editor::moveRow(int dragged, int target) {
  if (busy_) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  if (dragged < 0 || dragged >= static_cast<int>(rows_.size())) {
    port_.notice(_(kSelectRow));
    return;
  }
  if (target < 0 || target >= static_cast<int>(rows_.size())) return;
  EditScope edit(*this);
  project_.moveSource(index, dragged, target);
  markModified();
  fillSourceList(index);
  selectRow(target);
}

}  // namespace pelorix
