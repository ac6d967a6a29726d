// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "model/motion.h"

namespace pelorix {

// The curve editor's view: values against time in a rectangle of `width` x `height` pixels,
// time to the right and values up. A property of two values (a position) has a curve for each
// of them, its channels 0 (x) and 1 (y).
struct CurveView {
  double t0 = 0.0, t1 = 1.0;  // the times at the left and right edges
  double v0 = 0.0, v1 = 1.0;  // the values at the bottom and top edges
  int width = 400, height = 200;

  double xOf(double t) const { return (t - t0) / (t1 - t0) * width; }
  double yOf(double v) const { return height - (v - v0) / (v1 - v0) * height; }
  double timeOf(double x) const { return t0 + x / width * (t1 - t0); }
  double valueOf(double y) const { return v0 + (height - y) / height * (v1 - v0); }
  // Frame all: every key of the tracks' channels in view, with a margin.
  void frameAll(const std::vector<std::pair<const MotionTrack*, int>>& curves);
  // Zooms by `factor` about the point (x, y); each axis may be left alone (a factor of 1).
  void zoom(double timeFactor, double valueFactor, double x, double y);
  // Moves the view by pixels.
  void pan(double dx, double dy);
};

// A channel of a track as a polyline in the view, a point every few pixels (holds as steps).
std::vector<std::array<double, 2>> curvePoints(const MotionTrack& track, int channel,
                                               const CurveView& view);

// What can be dragged on a curve: a key's point, and the two handles of the Bézier curve from a
// key to the next (`which` 0 the point, 1 the handle by the key, 2 the one by the next key).
struct CurveHandle {
  int key = 0;
  int which = 0;
  std::array<double, 2> at{};  // time and value
};
std::vector<CurveHandle> curveHandles(const MotionTrack& track, int channel);
std::optional<CurveHandle> curveHandleAt(const MotionTrack& track, int channel,
                                         const CurveView& view, double x, double y, double reach);

// The curve from key `key` when its handle `which` (1 or 2) is taken to (t, v): the handle's
// time within the segment (0 to 1), its value free, as CSS timing functions allow.
Curve curveWithHandle(const MotionTrack& track, int channel, int key, int which, double t,
                      double v);

}  // namespace pelorix
