// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/motion_editing.h"
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

// A layer's row with its blocks; under it, unless it is folded, a lane for each keyed property
// with the times of its keys. The camera's lanes come last (layerIndex -1).
struct TimelineRow {
  int layerIndex = 0;
  std::string name;  // "NN name", or the property's name in a lane
  bool shown = true;
  std::vector<TimelineBlock> blocks;  // in time order
  bool lane = false;
  MotionTarget target;       // a lane's property
  std::vector<double> keys;  // a lane's key times
  bool folded = false;       // a layer row whose lanes are hidden
  bool keyed = false;        // a layer row that has lanes
  bool audio = false;        // the sound track's lane, last (layerIndex -2)
  double audioOffset = 0.0;  // where the sound starts, in seconds of the animation
};

struct TimelineModel {
  std::vector<TimelineRow> rows;
  double total = 0.0;  // the animation's length
  double fps = 0.0;
};

// `folded`: the numbers of the layers whose lanes are hidden (0 for the camera's).
TimelineModel timelineModel(const Project& project, const std::set<int>& folded = {});

// Where things are on the timeline, in pixels: a header column with the layer names, a ruler on
// top, rows below it; time runs to the right from `scroll` seconds at the header's edge.
struct TimelineGeometry {
  double pixelsPerSecond = 80.0;
  double scroll = 0.0;
  int header = 110;
  int ruler = 22;
  int rowHeight = 28;
  int laneHeight = 18;
  int rowScroll = 0;  // pixels of rows scrolled up under the ruler

  double xOf(double t) const { return header + (t - scroll) * pixelsPerSecond; }
  double timeOf(double x) const { return scroll + (x - header) / pixelsPerSecond; }
  // The rows' tops from the model's rows (lanes are lower); the row under y, or -1 (the ruler,
  // or below the last row); where a row starts and how high it is.
  void layOut(const std::vector<TimelineRow>& rows);
  int rowAt(int y, int rows) const;
  int rowTop(int row) const;
  int rowHeightOf(int row) const;
  // The height of all rows; the scroll that shows row `row` whole in a view `height` high.
  int contentHeight() const { return tops.empty() ? 0 : tops.back(); }
  int scrollShowing(int row, int height) const;
  std::vector<int> tops;  // each row's top below the ruler, and the end of the last
  // Zooms by `factor` around the time at x, within 2 to 4000 pixels a second.
  void zoom(double factor, double x);
};

// What a point of the timeline is on.
struct TimelineHit {
  enum Kind { Nothing, Ruler, Block, BlockEnd, Key } kind = Nothing;
  int rowIndex = -1;  // into the model's rows
  int block = -1;     // into the row's blocks, or a lane's key
};
// A block's right edge is caught within `edge` pixels of it.
TimelineHit hitTimeline(const TimelineModel& model, const TimelineGeometry& geometry, int x, int y,
                        int edge = 4);

// The blocks of a row that lie in [from, to) seconds, as a range of indices (binary search: a
// row of thousands of sources is drawn in what is visible only).
std::pair<size_t, size_t> visibleBlocks(const TimelineRow& row, double from, double to);

}  // namespace pelorix
