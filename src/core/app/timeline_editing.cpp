// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/timeline_editing.h"

#include <algorithm>
#include <cmath>

#include "app/frame_view.h"
#include "app/layer_list.h"
#include "app/session.h"
#include "base/c_locale.h"
#include "render/draw_list.h"

namespace pelorix {
namespace {

constexpr const char* kWorkArea = "workArea";

// `t` on the frame grid of `fps` (unchanged without a rate).
double onFrames(double t, float fps) {
  return fps > 0.0f ? std::round(t * fps) / fps : t;
}

double frameLength(float fps) {
  return fps > 0.0f ? 1.0 / fps : 0.0;
}

bool valid(const Project& project, BlockRef block) {
  return block.layerIndex >= 0 && block.layerIndex < project.layerCount && block.source >= 0 &&
         block.source <
             static_cast<int>(project.layers[static_cast<size_t>(block.layerIndex)].sources.size());
}

}  // namespace

std::optional<std::pair<double, double>> workAreaOf(const Project& project) {
  const std::string text = project.setting(kWorkArea);
  const size_t comma = text.find(',');
  double from = 0.0;
  double to = 0.0;
  if (comma == std::string::npos || !parseNumber(text.substr(0, comma), from) ||
      !parseNumber(text.substr(comma + 1), to) || !(from >= 0.0) || !(to > from)) {
    return std::nullopt;
  }
  return std::pair{from, to};
}

std::pair<int, int> workAreaFrames(const Project& project, int frames) {
  const std::optional<std::pair<double, double>> area = workAreaOf(project);
  if (!area || !(project.fps > 0.0f) || frames <= 0) return {0, frames - 1};
  const double fps = static_cast<double>(project.fps);
  const int first = std::clamp(static_cast<int>(std::lround(area->first * fps)), 0, frames - 1);
  // The frame that starts at the area's end is past it.
  const int last =
      std::clamp(static_cast<int>(std::lround(area->second * fps)) - 1, first, frames - 1);
  return {first, last};
}

double TimelineEditing::startOf(int layerIndex, int source) const {
  const Layer& layer = session_.project().layers[static_cast<size_t>(layerIndex)];
  double t = 0.0;
  for (int i = 0; i < source; ++i)
    t += static_cast<double>(layer.sources[static_cast<size_t>(i)].duration);
  return t;
}

void TimelineEditing::changed(const std::vector<int>& layers) {
  session_.markModified();
  for (int index : layers)
    lists_.updateTreeItemOf(index);
  const int current = lists_.currentLayer();
  if (current >= 0 && std::find(layers.begin(), layers.end(), current) != layers.end()) {
    const int row = lists_.selectedRow();
    lists_.fillSourceList(current);
    const int count = static_cast<int>(lists_.rows().size());
    lists_.selectRow(row < count ? row : count - 1);
  }
  view_.rebuildDrawList();
  session_.port().refresh(RefreshTimeline);
}

void TimelineEditing::clickBlock(BlockRef block, bool add) {
  const Project& project = session_.project();
  if (session_.busy() || !valid(project, block)) return;
  const auto found = std::find(selected_.begin(), selected_.end(), block);
  if (!add) {
    selected_ = {block};
  } else if (found != selected_.end()) {
    selected_.erase(found);
  } else {
    selected_.push_back(block);
  }
  const int item = lists_.treeItemOfLayer(block.layerIndex);
  if (item >= 0 && item != lists_.selectedTreeItem()) lists_.selectTreeItem(item);
  lists_.selectRow(block.source);
  session_.port().refresh(RefreshTimeline);
}

void TimelineEditing::clearBlocks() {
  selected_.clear();
  session_.port().refresh(RefreshTimeline);
}

void TimelineEditing::trimEnd(BlockRef block, double t) {
  const Project& project = session_.project();
  if (session_.busy() || !valid(project, block)) return;
  const double start = startOf(block.layerIndex, block.source);
  const double length = std::max(frameLength(project.fps), onFrames(t, project.fps) - start);
  Source source = project.layers[static_cast<size_t>(block.layerIndex)]
                      .sources[static_cast<size_t>(block.source)];
  const float duration = narrowToFloat(length);
  if (source.duration == duration) return;
  Session::EditScope edit(session_);
  source.duration = duration;
  session_.edit().replaceSourceAt(block.layerIndex, block.source, source);
  changed({block.layerIndex});
}

void TimelineEditing::trimStart(BlockRef block, double t) {
  const Project& project = session_.project();
  if (session_.busy() || !valid(project, block) || block.source == 0) return;
  const Layer& layer = project.layers[static_cast<size_t>(block.layerIndex)];
  const BlockRef before{block.layerIndex, block.source - 1};
  const double from = startOf(block.layerIndex, before.source);
  const double end = startOf(block.layerIndex, block.source) +
                     static_cast<double>(layer.sources[static_cast<size_t>(block.source)].duration);
  const double frame = frameLength(project.fps);
  if (end - from < 2.0 * frame) return;  // no room for two blocks of a frame
  const double edge = std::clamp(onFrames(t, project.fps), from + frame, end - frame);
  Source first = layer.sources[static_cast<size_t>(before.source)];
  Source second = layer.sources[static_cast<size_t>(block.source)];
  const float firstDuration = narrowToFloat(edge - from);
  const float secondDuration = narrowToFloat(end - edge);
  if (first.duration == firstDuration && second.duration == secondDuration) return;
  Session::EditScope edit(session_);
  first.duration = firstDuration;
  second.duration = secondDuration;
  session_.edit().replaceSourceAt(block.layerIndex, before.source, first);
  session_.edit().replaceSourceAt(block.layerIndex, block.source, second);
  changed({block.layerIndex});
}

BlockRef TimelineEditing::moveBlock(BlockRef block, int layerIndex, double t) {
  const Project& project = session_.project();
  if (session_.busy() || !valid(project, block) || layerIndex < 0 ||
      layerIndex >= project.layerCount) {
    return block;
  }
  const Source moved = project.layers[static_cast<size_t>(block.layerIndex)]
                           .sources[static_cast<size_t>(block.source)];
  // The edges of the target layer as it is without the block: the nearest one takes it.
  std::vector<Source> target = project.layers[static_cast<size_t>(layerIndex)].sources;
  if (layerIndex == block.layerIndex) target.erase(target.begin() + block.source);
  int position = 0;
  double best = std::fabs(t);
  double edge = 0.0;
  for (size_t i = 0; i < target.size(); ++i) {
    edge += static_cast<double>(target[i].duration);
    if (std::fabs(t - edge) < best) {
      best = std::fabs(t - edge);
      position = static_cast<int>(i) + 1;
    }
  }
  const BlockRef landed{layerIndex, position};
  if (landed == block) return block;
  Session::EditScope edit(session_);
  Project& p = session_.edit();
  if (layerIndex == block.layerIndex) {
    p.moveSource(layerIndex, block.source, position);
  } else {
    p.removeSourceAt(block.layerIndex, block.source);
    p.addSource(layerIndex, moved, position);
  }
  selected_ = {landed};
  changed({block.layerIndex, layerIndex});
  const int item = lists_.treeItemOfLayer(layerIndex);
  if (item >= 0 && item != lists_.selectedTreeItem()) lists_.selectTreeItem(item);
  lists_.selectRow(position);
  return landed;
}

void TimelineEditing::deleteBlocks() {
  const Project& project = session_.project();
  if (session_.busy() || selected_.empty()) return;
  std::vector<BlockRef> doomed;
  for (const BlockRef& block : selected_) {
    if (valid(project, block)) doomed.push_back(block);
  }
  // The last first, so that the others keep their places.
  std::sort(doomed.rbegin(), doomed.rend());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  Session::EditScope edit(session_);
  std::vector<int> layers;
  for (const BlockRef& block : doomed) {
    session_.edit().removeSourceAt(block.layerIndex, block.source);
    if (std::find(layers.begin(), layers.end(), block.layerIndex) == layers.end())
      layers.push_back(block.layerIndex);
  }
  selected_.clear();
  changed(layers);
}

void TimelineEditing::copyBlocks() {
  const Project& project = session_.project();
  std::vector<BlockRef> order = selected_;
  std::sort(order.begin(), order.end());
  clipboard_.clear();
  for (const BlockRef& block : order) {
    if (valid(project, block)) {
      clipboard_.push_back(project.layers[static_cast<size_t>(block.layerIndex)]
                               .sources[static_cast<size_t>(block.source)]);
    }
  }
}

void TimelineEditing::pasteBlocks() {
  const int index = lists_.currentLayer();
  if (session_.busy() || clipboard_.empty() || index < 0) return;
  const int count =
      static_cast<int>(session_.project().layers[static_cast<size_t>(index)].sources.size());
  const int row = lists_.selectedRow();
  int position = row >= 0 && row < count ? row + 1 : count;
  Session::EditScope edit(session_);
  selected_.clear();
  for (const Source& source : clipboard_) {
    session_.edit().addSource(index, source, position);
    selected_.push_back({index, position++});
  }
  changed({index});
  lists_.selectRow(selected_.back().source);
}

void TimelineEditing::moveLayer(int layerIndex, int row) {
  const Project& project = session_.project();
  if (session_.busy() || layerIndex < 0 || layerIndex >= project.layerCount) return;
  std::vector<int> order = treeOrder(project);
  const auto at = std::find(order.begin(), order.end(), layerIndex);
  if (at == order.end()) return;
  std::vector<int> numbers;
  for (int index : order)
    numbers.push_back(project.layers[static_cast<size_t>(index)].number);
  order.erase(at);
  order.insert(order.begin() + std::clamp(row, 0, static_cast<int>(order.size())), layerIndex);
  // Each layer takes the number of its new place. The keys move through numbers no layer has,
  // so that no two layers' lines ever meet.
  std::vector<std::pair<int, int>> changes;  // index, new number
  for (size_t i = 0; i < order.size(); ++i) {
    const int index = order[i];
    if (project.layers[static_cast<size_t>(index)].number != numbers[i])
      changes.push_back({index, numbers[i]});
  }
  if (changes.empty()) return;
  Session::EditScope edit(session_);
  Project& p = session_.edit();
  int spare = 1;
  for (const int number : numbers)
    spare = std::max(spare, number + 1);
  for (size_t i = 0; i < changes.size(); ++i)
    p.renumberLayerMotion(p.layers[static_cast<size_t>(changes[i].first)].number,
                          spare + static_cast<int>(i));
  for (size_t i = 0; i < changes.size(); ++i) {
    p.renumberLayerMotion(spare + static_cast<int>(i), changes[i].second);
    p.layers[static_cast<size_t>(changes[i].first)].number = changes[i].second;
  }
  session_.markModified();
  lists_.fillTree();
  const int item = lists_.treeItemOfLayer(layerIndex);
  if (item >= 0) lists_.selectTreeItem(item);
  view_.rebuildDrawList();
  session_.port().refresh(RefreshTimeline);
}

std::optional<std::pair<double, double>> TimelineEditing::workArea() const {
  return workAreaOf(session_.project());
}

void TimelineEditing::setWorkArea(std::optional<std::pair<double, double>> area) {
  std::string text;
  if (area) {
    const float fps = session_.project().fps;
    double from = onFrames(std::max(0.0, std::min(area->first, area->second)), fps);
    double to = onFrames(std::max(0.0, std::max(area->first, area->second)), fps);
    if (to <= from) to = from + std::max(frameLength(fps), 0.0001);
    text = formatC("%.4f,%.4f", from, to);
  }
  if (session_.project().setting(kWorkArea) == text) return;
  Session::EditScope edit(session_);
  session_.edit().setSetting(kWorkArea, text);
  session_.markModified();
  session_.port().refresh(RefreshTimeline);
}

void TimelineEditing::setAudioOffset(double seconds) {
  if (session_.project().setting("audio").empty() || !std::isfinite(seconds)) return;
  Session::EditScope step(session_);
  session_.edit().setSetting("audioOffset", formatC("%.4f", seconds));
  session_.markModified();
  session_.port().refresh(RefreshTimeline | RefreshMotion);
}

}  // namespace pelorix
