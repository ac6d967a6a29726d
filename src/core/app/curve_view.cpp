// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/curve_view.h"

#include <algorithm>
#include <cmath>

namespace pelorix {

void CurveView::frameAll(const std::vector<std::pair<const MotionTrack*, int>>& curves) {
  double lowT = 1e300, highT = -1e300, lowV = 1e300, highV = -1e300;
  for (const auto& [track, channel] : curves) {
    for (const MotionKey& key : track->keys) {
      lowT = std::min(lowT, key.time);
      highT = std::max(highT, key.time);
      const double v = key.value[static_cast<size_t>(channel)];
      lowV = std::min(lowV, v);
      highV = std::max(highV, v);
    }
    // An overshooting curve goes beyond its keys: its samples count too.
    for (size_t i = 0; i + 1 < track->keys.size(); ++i) {
      const MotionKey& a = track->keys[i];
      const MotionKey& b = track->keys[i + 1];
      for (int s = 1; s < 16; ++s) {
        const double v =
            track->at(a.time + (b.time - a.time) * s / 16.0)[static_cast<size_t>(channel)];
        lowV = std::min(lowV, v);
        highV = std::max(highV, v);
      }
    }
  }
  if (lowT > highT) return;  // no keys
  if (highT - lowT < 1e-3) highT = lowT + 1.0;
  if (highV - lowV < 1e-6) {
    lowV -= 1.0;
    highV += 1.0;
  }
  const double marginT = (highT - lowT) * 0.05;
  const double marginV = (highV - lowV) * 0.1;
  t0 = lowT - marginT;
  t1 = highT + marginT;
  v0 = lowV - marginV;
  v1 = highV + marginV;
}

void CurveView::zoom(double timeFactor, double valueFactor, double x, double y) {
  const double t = timeOf(x);
  const double v = valueOf(y);
  t0 = t - (t - t0) / timeFactor;
  t1 = t + (t1 - t) / timeFactor;
  v0 = v - (v - v0) / valueFactor;
  v1 = v + (v1 - v) / valueFactor;
}

void CurveView::pan(double dx, double dy) {
  const double dt = dx / width * (t1 - t0);
  const double dv = dy / height * (v1 - v0);
  t0 -= dt;
  t1 -= dt;
  v0 += dv;
  v1 += dv;
}

std::vector<std::array<double, 2>> curvePoints(const MotionTrack& track, int channel,
                                               const CurveView& view) {
  std::vector<std::array<double, 2>> points;
  if (track.keys.empty()) return points;
  const size_t c = static_cast<size_t>(channel);
  // Before the first key and after the last the value holds: flat to the view's edges.
  const double first = track.keys.front().time;
  const double last = track.keys.back().time;
  points.push_back({view.xOf(std::min(first, view.t0)), view.yOf(track.keys.front().value[c])});
  const double step = (view.t1 - view.t0) / std::max(1, view.width / 3);
  for (size_t i = 0; i + 1 < track.keys.size(); ++i) {
    const MotionKey& a = track.keys[i];
    const MotionKey& b = track.keys[i + 1];
    points.push_back({view.xOf(a.time), view.yOf(a.value[c])});
    if (a.curve.kind == Curve::Kind::Hold) {
      points.push_back({view.xOf(b.time), view.yOf(a.value[c])});
      continue;
    }
    for (double t = std::max(a.time, view.t0 - step) + step; t < std::min(b.time, view.t1 + step);
         t += step)
      points.push_back({view.xOf(t), view.yOf(track.at(t)[c])});
  }
  points.push_back({view.xOf(last), view.yOf(track.keys.back().value[c])});
  points.push_back({view.xOf(std::max(last, view.t1)), view.yOf(track.keys.back().value[c])});
  return points;
}

std::vector<CurveHandle> curveHandles(const MotionTrack& track, int channel) {
  std::vector<CurveHandle> handles;
  const size_t c = static_cast<size_t>(channel);
  for (size_t i = 0; i < track.keys.size(); ++i) {
    const MotionKey& a = track.keys[i];
    handles.push_back({static_cast<int>(i), 0, {a.time, a.value[c]}});
    if (i + 1 == track.keys.size() || a.curve.kind != Curve::Kind::Bezier) continue;
    const MotionKey& b = track.keys[i + 1];
    const double dt = b.time - a.time;
    const double dv = b.value[c] - a.value[c];
    handles.push_back(
        {static_cast<int>(i), 1, {a.time + a.curve.x1 * dt, a.value[c] + a.curve.y1 * dv}});
    handles.push_back(
        {static_cast<int>(i), 2, {a.time + a.curve.x2 * dt, a.value[c] + a.curve.y2 * dv}});
  }
  return handles;
}

std::optional<CurveHandle> curveHandleAt(const MotionTrack& track, int channel,
                                         const CurveView& view, double x, double y, double reach) {
  std::optional<CurveHandle> best;
  double nearest = reach;
  // The handles before the points: a handle over its key is still caught.
  std::vector<CurveHandle> handles = curveHandles(track, channel);
  std::stable_partition(handles.begin(), handles.end(),
                        [](const CurveHandle& h) { return h.which != 0; });
  for (const CurveHandle& handle : handles) {
    const double d = std::hypot(view.xOf(handle.at[0]) - x, view.yOf(handle.at[1]) - y);
    if (d < nearest) {
      nearest = d;
      best = handle;
    }
  }
  return best;
}

Curve curveWithHandle(const MotionTrack& track, int channel, int key, int which, double t,
                      double v) {
  const MotionKey& a = track.keys[static_cast<size_t>(key)];
  Curve curve = a.curve;
  if (static_cast<size_t>(key) + 1 >= track.keys.size()) return curve;
  const MotionKey& b = track.keys[static_cast<size_t>(key) + 1];
  if (curve.kind != Curve::Kind::Bezier) curve = {Curve::Kind::Bezier, 0.0, 0.0, 1.0, 1.0};
  const size_t c = static_cast<size_t>(channel);
  const double dt = b.time - a.time;
  const double dv = b.value[c] - a.value[c];
  const double x = dt > 0.0 ? std::clamp((t - a.time) / dt, 0.0, 1.0) : 0.0;
  // A flat segment has no scale for the value: the handle's height stays.
  const std::optional<double> y =
      std::fabs(dv) > 1e-12 ? std::optional<double>((v - a.value[c]) / dv) : std::nullopt;
  if (which == 1) {
    curve.x1 = x;
    if (y) curve.y1 = *y;
  } else {
    curve.x2 = x;
    if (y) curve.y2 = *y;
  }
  return curve;
}

}  // namespace pelorix
