// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "model/extensions.h"
#include "model/project.h"

namespace pelorix {

// What the timeline shows: a row per layer in draw order, a block per source from its start to
// its end, in seconds.
struct TimelineBlock {
  int row = 0;  // the source's index in its layer
  double start = 0.0;
  double end = 0.0;
  std::string label;    // the picture's file name
  std::string file;     // the source's file, as the project names it
  bool glides = false;  // moves on to the next placement
  Ease ease = Ease::Linear;
};

struct TimelineRow {
  int layerIndex = 0;
  std::string name;  // "NN name"
  bool shown = true;
  std::vector<TimelineBlock> blocks;  // in time order
};

struct TimelineModel {
  std::vector<TimelineRow> rows;
  double total = 0.0;  // the animation's length
  double fps = 0.0;
};

TimelineModel timelineModel(const Project& project);

// Where things are on the timeline, in pixels: a header column with the layer names, a ruler on
// top, rows below it; time runs to the right from `scroll` seconds at the header's edge.
struct TimelineGeometry {
  double pixelsPerSecond = 80.0;
  double scroll = 0.0;
  int header = 110;
  int ruler = 22;
  int rowHeight = 28;

  double xOf(double t) const { return header + (t - scroll) * pixelsPerSecond; }
  double timeOf(double x) const { return scroll + (x - header) / pixelsPerSecond; }
  // The row under y, or -1 (the ruler, or below the last row).
  int rowAt(int y, int rows) const;
  int rowTop(int row) const { return ruler + row * rowHeight; }
  // Zooms by `factor` around the time at x, within 2 to 4000 pixels a second.
  void zoom(double factor, double x);
};

// What a point of the timeline is on.
struct TimelineHit {
  enum Kind { Nothing, Ruler, Block, BlockEnd } kind = Nothing;
  int rowIndex = -1;  // into the model's rows
  int block = -1;     // into the row's blocks
};
// A block's right edge is caught within `edge` pixels of it.
TimelineHit hitTimeline(const TimelineModel& model, const TimelineGeometry& geometry, int x, int y,
                        int edge = 4);

// The blocks of a row that lie in [from, to) seconds, as a range of indices (binary search: a
// row of thousands of sources is drawn in what is visible only).
std::pair<size_t, size_t> visibleBlocks(const TimelineRow& row, double from, double to);

}  // namespace pelorix
