// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/timeline_view.h"

#include <algorithm>
#include <cmath>

#include "app/texts.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "render/draw_list.h"

namespace pelorix {

namespace {

// A lane row for each keyed property of `layer` (a layer number, 0 for the camera).
void addLanes(const Project& project, int layer, int layerIndex, TimelineModel& model) {
  static const char* const kNames[] = {N_("位置"), N_("拡大率"), N_("回転"), N_("不透明度")};
  for (int p = 0; p < kMotionProperties; ++p) {
    const MotionTarget target{layer, static_cast<MotionProperty>(p)};
    const MotionTrack* track = motionTrackOf(project.motion, target);
    if (!track || track->empty()) continue;
    TimelineRow lane;
    lane.layerIndex = layerIndex;
    lane.lane = true;
    lane.target = target;
    lane.name = layer == 0 && target.property == MotionProperty::Scale ? _("ズーム") : _(kNames[p]);
    for (const MotionKey& key : track->keys)
      lane.keys.push_back(key.time);
    model.rows.push_back(std::move(lane));
  }
}

}  // namespace

TimelineModel timelineModel(const Project& project, const std::set<int>& folded) {
  TimelineModel model;
  model.fps = project.fps;
  for (int index : treeOrder(project)) {
    const Layer& layer = project.layers[static_cast<size_t>(index)];
    TimelineRow row;
    row.layerIndex = index;
    row.name = formatC("%02d %s", layer.number, layer.name.c_str());
    row.shown = layer.visible != 0;
    double t = 0.0;
    for (size_t i = 0; i < layer.sources.size(); ++i) {
      const Source& source = layer.sources[i];
      TimelineBlock block;
      block.row = static_cast<int>(i);
      block.start = t;
      t += static_cast<double>(source.duration);
      block.end = t;
      block.file = source.file;
      block.label = fileNameOf(toFileSystemPath(source.file));
      block.glides = (source.flags & sourceAutoCalc) != 0 && i + 1 < layer.sources.size();
      block.ease = easeOf(source.flags);
      row.blocks.push_back(std::move(block));
    }
    model.total = std::max(model.total, t);
    const LayerMotion* motion = project.motion.layer(layer.number);
    row.keyed = motion && motion->keyed();
    row.folded = folded.count(layer.number) != 0;
    model.rows.push_back(std::move(row));
    if (model.rows.back().keyed && !model.rows.back().folded)
      addLanes(project, layer.number, index, model);
  }
  if (project.motion.camera.keyed()) {
    TimelineRow camera;
    camera.layerIndex = -1;
    camera.name = _("カメラ");
    camera.keyed = true;
    camera.folded = folded.count(0) != 0;
    model.rows.push_back(std::move(camera));
    if (!model.rows.back().folded) addLanes(project, 0, -1, model);
  }
  if (!project.setting("audio").empty()) {
    TimelineRow audio;
    audio.layerIndex = -2;
    audio.name = _("音声");
    audio.audio = true;
    audio.audioOffset = cAtof(project.setting("audioOffset", "0"));
    if (!std::isfinite(audio.audioOffset)) audio.audioOffset = 0.0;
    model.rows.push_back(std::move(audio));
  }
  return model;
}

void TimelineGeometry::layOut(const std::vector<TimelineRow>& rows) {
  tops.assign(1, 0);
  for (const TimelineRow& row : rows)
    tops.push_back(tops.back() + (row.lane ? laneHeight : rowHeight));
}

int TimelineGeometry::rowTop(int row) const {
  // Without a lay-out every row is a layer's.
  if (tops.size() < 2) return ruler + row * rowHeight - rowScroll;
  const int known = static_cast<int>(tops.size()) - 1;
  const int top =
      row <= known ? tops[static_cast<size_t>(row)] : tops.back() + (row - known) * rowHeight;
  return ruler + top - rowScroll;
}

int TimelineGeometry::rowHeightOf(int row) const {
  if (row < 0 || row + 1 >= static_cast<int>(tops.size())) return rowHeight;
  return tops[static_cast<size_t>(row) + 1] - tops[static_cast<size_t>(row)];
}

int TimelineGeometry::rowAt(int y, int rows) const {
  if (y < ruler) return -1;
  for (int row = 0; row < rows; ++row) {
    if (y >= rowTop(row) && y < rowTop(row) + rowHeightOf(row)) return row;
  }
  return -1;
}

int TimelineGeometry::scrollShowing(int row, int height) const {
  const int top = rowTop(row) + rowScroll - ruler;
  const int view = height - ruler;
  if (top < rowScroll) return top;
  if (top + rowHeightOf(row) > rowScroll + view) return std::max(0, top + rowHeightOf(row) - view);
  return rowScroll;
}

void TimelineGeometry::zoom(double factor, double x) {
  const double anchor = timeOf(x);
  pixelsPerSecond = std::clamp(pixelsPerSecond * factor, 2.0, 4000.0);
  scroll = std::max(0.0, anchor - (x - header) / pixelsPerSecond);
}

std::pair<size_t, size_t> visibleBlocks(const TimelineRow& row, double from, double to) {
  const auto& blocks = row.blocks;
  const auto first = std::partition_point(blocks.begin(), blocks.end(),
                                          [from](const TimelineBlock& b) { return b.end < from; });
  const auto last = std::partition_point(first, blocks.end(),
                                         [to](const TimelineBlock& b) { return b.start < to; });
  return {static_cast<size_t>(first - blocks.begin()), static_cast<size_t>(last - blocks.begin())};
}

TimelineHit hitTimeline(const TimelineModel& model, const TimelineGeometry& geometry, int x, int y,
                        int edge) {
  TimelineHit hit;
  if (x < geometry.header) return hit;
  if (y < geometry.ruler) {
    hit.kind = TimelineHit::Ruler;
    return hit;
  }
  const int rowIndex = geometry.rowAt(y, static_cast<int>(model.rows.size()));
  if (rowIndex < 0) return hit;
  hit.rowIndex = rowIndex;
  const TimelineRow& row = model.rows[static_cast<size_t>(rowIndex)];
  if (row.lane) {
    // The nearest key within reach of a diamond's half width.
    double best = edge + 3;
    for (size_t i = 0; i < row.keys.size(); ++i) {
      const double distance = std::fabs(geometry.xOf(row.keys[i]) - x);
      if (distance <= best) {
        best = distance;
        hit.kind = TimelineHit::Key;
        hit.block = static_cast<int>(i);
      }
    }
    return hit;
  }
  const double slack = edge / geometry.pixelsPerSecond;
  const double t = geometry.timeOf(x);
  const auto [first, last] = visibleBlocks(row, t - slack, t + slack);
  // The edge first (the later block wins a shared edge: a block of length 0 is still caught).
  for (size_t i = last; i-- > first;) {
    if (std::fabs(geometry.xOf(row.blocks[i].end) - x) <= edge) {
      hit.kind = TimelineHit::BlockEnd;
      hit.block = static_cast<int>(i);
      return hit;
    }
  }
  for (size_t i = first; i < last; ++i) {
    if (t >= row.blocks[i].start && t < row.blocks[i].end) {
      hit.kind = TimelineHit::Block;
      hit.block = static_cast<int>(i);
      return hit;
    }
  }
  return hit;
}

}  // namespace pelorix
