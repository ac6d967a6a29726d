// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/motion_canvas.h"

#include <algorithm>
#include <cmath>

#include "app/frame_view.h"
#include "app/session.h"
#include "imageio/frame_source.h"
#include "render/layer_image_cache.h"
#include "render/motion_transform.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

using Point = std::complex<double>;

constexpr double kTurnStep = 15.0;  // degrees a constrained turn goes by
constexpr double kScaleStep = 0.1;

}  // namespace

std::array<double, 2> MotionCanvas::pictureSize(int index, int sourceIndex) const {
  const Layer& layer = session_.project().layers[static_cast<size_t>(index)];
  const std::string& file = layer.sources[static_cast<size_t>(sourceIndex)].file;
  // The preview's picture when it shows this file; otherwise the file's headers (a video's do
  // not tell: a square stands for it).
  const LayerImageCache& cache = view_.compositor().cache();
  const DibImage& picture = cache.image(index);
  if (!picture.empty() && cache.name(index) == file)
    return {static_cast<double>(picture.width()), static_cast<double>(picture.height())};
  int width = 0;
  int height = 0;
  if (probeFrameSize(resolveImagePath(file, session_.projectFolder()), width, height))
    return {static_cast<double>(width), static_cast<double>(height)};
  return {64.0, 64.0};
}

std::array<double, 2> MotionCanvas::framePoint(std::complex<double> point) const {
  const Project& project = session_.project();
  return {static_cast<double>(project.outputWidth / 2) + point.real(),
          static_cast<double>(project.outputHeight / 2) + point.imag()};
}

MotionCanvas::Handles MotionCanvas::handles() const {
  Handles shown;
  const int index = motion_.layerIndex();
  const Project& project = session_.project();
  if (index < 0) return shown;
  const float t = view_.currentTime();
  const CurrentSource current = currentSourceAt(project, index, t);
  if (!current.found()) return shown;
  const Layer& layer = project.layers[static_cast<size_t>(index)];
  const Placement placed =
      applyMotion(project, index, placementAt(layer, current.index, current.fraction), t);
  const LayerMotionFrame frame = motionFrame(project, index, t);
  const LayerMotion* own = project.motion.layer(layer.number);
  const Point pivot =
      own && own->pivot ? storedToPoint(*own->pivot) * project.motion.spatialScale : Point{};
  shown.shown = true;
  shown.pivot = framePoint(frame.outer(frame.own(pivot)));
  // The picture's corners, from the size the preview last drew it at.
  const std::array<double, 2> size = pictureSize(index, current.index);
  const double w = size[0];
  const double h = size[1];
  const Point centre{-static_cast<double>(placed.x), -static_cast<double>(placed.y)};
  const Point turn = static_cast<double>(placed.scale) *
                     std::polar(1.0, static_cast<double>(placed.rotation) * kDegreesToRadians);
  const Point halves[] = {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}};
  for (size_t i = 0; i < 4; ++i)
    shown.corners[i] = framePoint(centre + turn * halves[i]);
  const Point top = centre + turn * Point{0.0, -h / 2};
  const Point outward = top - centre;
  const Point knob =
      top + (std::abs(outward) > 0.0 ? outward / std::abs(outward) * 24.0 : Point{0, -24});
  shown.rotate = framePoint(knob);
  return shown;
}

std::optional<MotionCanvas::Handle> MotionCanvas::handleAt(double x, double y, double reach) const {
  const Handles shown = handles();
  if (!shown.shown) return std::nullopt;
  const auto near = [&](const std::array<double, 2>& p) {
    return std::hypot(p[0] - x, p[1] - y) <= reach;
  };
  if (near(shown.pivot)) return Handle::Pivot;
  if (near(shown.rotate)) return Handle::Rotate;
  for (const auto& corner : shown.corners) {
    if (near(corner)) return Handle::Scale;
  }
  // Inside the picture: the same side of all four edges.
  int sides = 0;
  for (size_t i = 0; i < 4; ++i) {
    const auto& a = shown.corners[i];
    const auto& b = shown.corners[(i + 1) % 4];
    const double cross = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
    sides += cross > 0.0 ? 1 : cross < 0.0 ? -1 : 0;
  }
  if (std::abs(sides) == 4) return Handle::Move;
  return std::nullopt;
}

void MotionCanvas::beginHandle(Handle handle, double x, double y) {
  const int index = motion_.layerIndex();
  if (index < 0) return;
  const Project& project = session_.project();
  const int number = project.layers[static_cast<size_t>(index)].number;
  Drag drag;
  drag.handle = handle;
  drag.layer = number;
  drag.t = view_.currentTime();
  drag.start = {x - project.outputWidth / 2, y - project.outputHeight / 2};
  drag.position = motion_.trackCopy({number, MotionProperty::Position});
  drag.scale = motion_.trackCopy({number, MotionProperty::Scale});
  drag.rotation = motion_.trackCopy({number, MotionProperty::Rotation});
  if (const LayerMotion* own = project.motion.layer(number)) drag.pivot = own->pivot;
  drag_ = drag;
  session_.beginGesture();
}

void MotionCanvas::dragHandle(double x, double y, bool constrain) {
  if (!drag_) return;
  const Project& project = session_.project();
  const int index = project.findLayerByNumber(drag_->layer);
  if (index < 0) return;
  const Drag& d = *drag_;
  const Point now{x - project.outputWidth / 2, y - project.outputHeight / 2};
  // The frame of the drag's start: where the layer's own changes land on the screen.
  Project before = project;
  const auto restore = [&](MotionProperty property, const std::optional<MotionTrack>& keys) {
    const std::string name = MotionEditing::propertyName({d.layer, property});
    before.setSetting(layerMotionKey(d.layer, name), keys ? formatTrack(*keys) : "");
  };
  restore(MotionProperty::Position, d.position);
  restore(MotionProperty::Scale, d.scale);
  restore(MotionProperty::Rotation, d.rotation);
  before.setSetting(layerMotionKey(d.layer, "pivot"), d.pivot ? formatPivot(*d.pivot) : "");
  const LayerMotionFrame frame = motionFrame(before, index, d.t);
  const double spatial = project.motion.spatialScale;
  const Point pivotLocal = d.pivot ? storedToPoint(*d.pivot) * spatial : Point{};
  const Point pivotScreen = frame.outer(frame.own(pivotLocal));
  const auto oldValue = [&](MotionProperty property, const std::optional<MotionTrack>& keys) {
    return keys ? keys->at(d.t) : MotionEditing::neutralValue(property);
  };
  switch (d.handle) {
    case Handle::Move: {
      Point delta = now - d.start;
      if (constrain)
        delta = std::fabs(delta.real()) >= std::fabs(delta.imag()) ? Point{delta.real(), 0.0}
                                                                   : Point{0.0, delta.imag()};
      const Point local = frame.outer.m != Point{} ? delta / frame.outer.m : Point{};
      const std::array<double, 2> old = oldValue(MotionProperty::Position, d.position);
      const std::array<double, 2> moved = pointToStored(storedToPoint(old) + local / spatial);
      motion_.changeValueAt({d.layer, MotionProperty::Position}, d.t, moved, d.position);
      break;
    }
    case Handle::Rotate: {
      const Point from = d.start - pivotScreen;
      const Point to = now - pivotScreen;
      if (std::abs(from) == 0.0 || std::abs(to) == 0.0) break;
      double degrees = std::arg(to / from) / kDegreesToRadians;
      const double old = oldValue(MotionProperty::Rotation, d.rotation)[0];
      double wanted = old + degrees;
      if (constrain) wanted = std::round(wanted / kTurnStep) * kTurnStep;
      motion_.changeValueAt({d.layer, MotionProperty::Rotation}, d.t, {wanted, 0.0}, d.rotation);
      break;
    }
    case Handle::Scale: {
      const double from = std::abs(d.start - pivotScreen);
      if (from == 0.0) break;
      const double old = oldValue(MotionProperty::Scale, d.scale)[0];
      double wanted = old * std::abs(now - pivotScreen) / from;
      if (constrain) wanted = std::max(kScaleStep, std::round(wanted / kScaleStep) * kScaleStep);
      motion_.changeValueAt({d.layer, MotionProperty::Scale}, d.t, {wanted, 0.0}, d.scale);
      break;
    }
    case Handle::Pivot: {
      // The pivot under the pointer, and the position moved so that the picture stays where it
      // is at the playhead.
      if (frame.outer.m == Point{} || frame.own.m == Point{}) break;
      const Point wanted = ((now - frame.outer.t) / frame.outer.m - frame.own.t) / frame.own.m;
      const Point compensation = (Point{1.0, 0.0} - frame.own.m) * (pivotLocal - wanted);
      motion_.setPivot(d.layer, pointToStored(wanted / spatial));
      const std::array<double, 2> old = oldValue(MotionProperty::Position, d.position);
      motion_.changeValueAt({d.layer, MotionProperty::Position}, d.t,
                            pointToStored(storedToPoint(old) + compensation / spatial), d.position);
      break;
    }
  }
}

void MotionCanvas::endHandle() {
  if (!drag_) return;
  drag_.reset();
  session_.endGesture();
}

std::vector<MotionCanvas::PathPoint> MotionCanvas::path() const {
  std::vector<PathPoint> points;
  const int index = motion_.layerIndex();
  const Project& project = session_.project();
  if (index < 0 || !(project.fps > 0.0f)) return points;
  const Layer& layer = project.layers[static_cast<size_t>(index)];
  const LayerMotion* own = project.motion.layer(layer.number);
  if (!own || own->position.empty()) return points;
  const auto centreAt = [&](float t) -> std::optional<Point> {
    const CurrentSource current = currentSourceAt(project, index, t);
    if (!current.found()) return std::nullopt;
    const Placement placed =
        applyMotion(project, index, placementAt(layer, current.index, current.fraction), t);
    return Point{-static_cast<double>(placed.x), -static_cast<double>(placed.y)};
  };
  // A dot a frame, at most 2000 of them.
  const double total = view_.totalTime();
  const double step = std::max(1.0 / project.fps, total / 2000.0);
  for (double t = 0.0; t < total; t += step) {
    if (const std::optional<Point> at = centreAt(static_cast<float>(t)))
      points.push_back({framePoint(*at), std::nullopt, std::nullopt, -1});
  }
  const double spatial = project.motion.spatialScale;
  for (size_t k = 0; k < own->position.keys.size(); ++k) {
    const MotionKey& key = own->position.keys[k];
    const std::optional<Point> at = centreAt(static_cast<float>(key.time));
    if (!at) continue;
    const LayerMotionFrame frame = motionFrame(project, index, key.time);
    PathPoint point{framePoint(*at), std::nullopt, std::nullopt, static_cast<int>(k)};
    if (key.tangents) {
      const std::array<double, 4>& t = *key.tangents;
      point.in = framePoint(*at + frame.outer.m * storedToPoint({t[0], t[1]}) * spatial);
      point.out = framePoint(*at + frame.outer.m * storedToPoint({t[2], t[3]}) * spatial);
    }
    points.push_back(point);
  }
  return points;
}

std::complex<double> MotionCanvas::localPoint(double x, double y) const {
  const Project& project = session_.project();
  return {x - static_cast<double>(project.outputWidth / 2),
          y - static_cast<double>(project.outputHeight / 2)};
}

void MotionCanvas::dragPathKey(int key, int part, double x, double y) {
  const int index = motion_.layerIndex();
  if (index < 0) return;
  const Project& project = session_.project();
  const int number = project.layers[static_cast<size_t>(index)].number;
  const MotionTarget target{number, MotionProperty::Position};
  const std::optional<MotionTrack> keys = motion_.trackCopy(target);
  if (!keys || key < 0 || key >= static_cast<int>(keys->keys.size())) return;
  const MotionKey& old = keys->keys[static_cast<size_t>(key)];
  const std::vector<PathPoint> points = path();
  const auto found = std::find_if(points.begin(), points.end(),
                                  [key](const PathPoint& p) { return p.key == key; });
  if (found == points.end()) return;
  const LayerMotionFrame frame = motionFrame(project, index, old.time);
  if (frame.outer.m == Point{}) return;
  const double spatial = project.motion.spatialScale;
  const Point at = localPoint(found->at[0], found->at[1]);
  // From the screen into the layer's parent's frame, in stored units.
  const Point local = (localPoint(x, y) - at) / frame.outer.m / spatial;
  const KeyRef ref{target, key};
  if (part == 0) {
    motion_.setKeyAt(ref, old.time, pointToStored(storedToPoint(old.value) + local));
    return;
  }
  std::array<double, 4> tangents = old.tangents.value_or(std::array<double, 4>{});
  const std::array<double, 2> handle = pointToStored(local);
  tangents[part == 1 ? 0 : 2] = handle[0];
  tangents[part == 1 ? 1 : 3] = handle[1];
  motion_.setTangents(ref, tangents);
}

std::optional<std::array<std::array<double, 2>, 4>> MotionCanvas::cameraFrame() const {
  const Project& project = session_.project();
  if (!project.motion.camera.keyed()) return std::nullopt;
  const Similarity camera =
      cameraSimilarity(project.motion.camera, view_.currentTime(), project.motion.spatialScale);
  if (camera.m == Point{}) return std::nullopt;
  const double w = project.outputWidth / 2.0;
  const double h = project.outputHeight / 2.0;
  std::array<std::array<double, 2>, 4> corners{};
  const Point seen[] = {{-w, -h}, {w, -h}, {w, h}, {-w, h}};
  for (size_t i = 0; i < 4; ++i) {
    const Point world = (seen[i] - camera.t) / camera.m;
    corners[i] = {world.real() + w, world.imag() + h};
  }
  return corners;
}

}  // namespace pelorix
