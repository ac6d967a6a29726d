// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/timeline_view.h"

#include <algorithm>
#include <cmath>

#include "app/texts.h"
#include "base/c_locale.h"
#include "base/paths.h"
#include "render/draw_list.h"

namespace pelorix {

TimelineModel timelineModel(const Project& project) {
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
    model.rows.push_back(std::move(row));
  }
  return model;
}

int TimelineGeometry::rowAt(int y, int rows) const {
  if (y < ruler) return -1;
  const int row = (y - ruler) / rowHeight;
  return row < rows ? row : -1;
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
