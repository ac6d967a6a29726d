// SPDX-License-Identifier: GPL-3.0-or-later
// What the timeline does: scrubbing, selecting a source by its block, changing its duration.
#include <algorithm>
#include <cmath>

#include "app/edit_scope.h"
#include "app/editor.h"
#include "render/timeline.h"

namespace pelorix {

void Editor::scrubTo(float t) {
  if (noProjectLoaded_ || !(project_.fps > 0.0f)) return;
  setSliderPosition(sliderPositionOfTime(std::clamp(t, 0.0f, totalTime_), project_.fps));
}

void Editor::selectSource(int layerIndex, int row) {
  if (busy_) return;
  const int item = treeItemOfLayer(layerIndex);
  if (item < 0) return;
  if (item != selectedTree_) selectTreeItem(item);
  selectRow(row);
}

void Editor::setSourceDuration(int layerIndex, int row, float seconds) {
  if (busy_ || layerIndex < 0 || layerIndex >= project_.layerCount) return;
  const Layer& layer = project_.layers[static_cast<size_t>(layerIndex)];
  if (row < 0 || row >= static_cast<int>(layer.sources.size())) return;
  // Whole frames: a block ends where a frame starts.
  float duration = std::max(0.0f, seconds);
  if (project_.fps > 0.0f) {
    const double frames = std::round(static_cast<double>(duration) * project_.fps);
    duration = static_cast<float>(frames / static_cast<double>(project_.fps));
  }
  Source source = layer.sources[static_cast<size_t>(row)];
  if (source.duration == duration) return;
  source.duration = duration;
  EditScope edit(*this);
  project_.replaceSourceAt(layerIndex, row, source);
  if (treeItemOfLayer(layerIndex) != selectedTree_) selectTreeItem(treeItemOfLayer(layerIndex));
  finishSourceEdit(layerIndex, row);
}

}  // namespace pelorix
