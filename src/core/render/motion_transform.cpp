// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/motion_transform.h"

#include <cmath>
#include <complex>

#include "base/c_locale.h"

namespace pelorix {
namespace {

using Point = std::complex<double>;

// A stored position (positive moves left and up) as a point.
Point pointOf(const std::array<double, 2>& stored, double scale) {
  return {-stored[0] * scale, -stored[1] * scale};
}

// The same angle constant the kernel turns pictures by, so that a picture and the points turned
// with it stay together.
Point turn(double degrees) {
  return std::polar(1.0, degrees * kDegreesToRadians);
}

Similarity layerSimilarity(const LayerMotion& motion, double t, double scale) {
  const double size = motion.scale.empty() ? 1.0 : motion.scale.at(t)[0];
  const double angle = motion.rotation.empty() ? 0.0 : motion.rotation.at(t)[0];
  const Point pivot = motion.pivot ? pointOf(*motion.pivot, scale) : Point{};
  const Point position = motion.position.empty() ? Point{} : pointOf(motion.position.at(t), scale);
  Similarity step;
  step.m = size * turn(angle);
  step.t = pivot - step.m * pivot + position;
  return step;
}

const LayerMotion* motionOf(const Project& project, int index) {
  return project.motion.layer(project.layers[static_cast<size_t>(index)].number);
}

}  // namespace

Similarity cameraSimilarity(const CameraMotion& camera, double t, double scale) {
  const double zoom = camera.zoom.empty() ? 1.0 : camera.zoom.at(t)[0];
  const double angle = camera.rotation.empty() ? 0.0 : camera.rotation.at(t)[0];
  const Point centre = camera.position.empty() ? Point{} : pointOf(camera.position.at(t), scale);
  Similarity view;
  view.m = zoom * turn(-angle);
  view.t = -view.m * centre;
  return view;
}

std::complex<double> storedToPoint(const std::array<double, 2>& stored) {
  return pointOf(stored, 1.0);
}

std::array<double, 2> pointToStored(std::complex<double> point) {
  return {-point.real(), -point.imag()};
}

LayerMotionFrame motionFrame(const Project& project, int layerIndex, double t) {
  LayerMotionFrame frame;
  if (layerIndex < 0 || layerIndex >= project.layerCount) return frame;
  const double scale = project.motion.spatialScale;
  if (const LayerMotion* own = motionOf(project, layerIndex))
    frame.own = layerSimilarity(*own, t, scale);
  int at = project.parentIndex(layerIndex);
  for (int step = 0; at >= 0 && step <= kMaxLayers; ++step) {
    if (const LayerMotion* motion = motionOf(project, at))
      frame.outer = frame.outer.then(layerSimilarity(*motion, t, scale));
    at = project.parentIndex(at);
  }
  if (project.motion.camera.keyed())
    frame.outer = frame.outer.then(cameraSimilarity(project.motion.camera, t, scale));
  return frame;
}

bool hasMotion(const Project& project, int layerIndex) {
  if (project.motion.empty()) return false;
  if (project.motion.camera.keyed()) return true;
  int at = layerIndex;
  for (int step = 0; at >= 0 && step <= kMaxLayers; ++step) {
    const LayerMotion* motion = motionOf(project, at);
    if (motion && motion->keyed()) return true;
    at = project.parentIndex(at);
  }
  return false;
}

Placement applyMotion(const Project& project, int layerIndex, const Placement& source, float t) {
  if (!hasMotion(project, layerIndex)) return source;
  const double time = static_cast<double>(t);
  const double scale = project.motion.spatialScale;
  Similarity total;
  int at = layerIndex;
  for (int step = 0; at >= 0 && step <= kMaxLayers; ++step) {
    if (const LayerMotion* motion = motionOf(project, at))
      total = total.then(layerSimilarity(*motion, time, scale));
    at = project.parentIndex(at);
  }
  if (project.motion.camera.keyed())
    total = total.then(cameraSimilarity(project.motion.camera, time, scale));
  const Point centre =
      total.m * Point{-static_cast<double>(source.x), -static_cast<double>(source.y)} + total.t;
  Placement placed = source;
  placed.x = narrowToFloat(-centre.real());
  placed.y = narrowToFloat(-centre.imag());
  placed.scale = narrowToFloat(static_cast<double>(source.scale) * std::abs(total.m));
  placed.rotation =
      narrowToFloat(static_cast<double>(source.rotation) + std::arg(total.m) / kDegreesToRadians);
  const LayerMotion* own = motionOf(project, layerIndex);
  if (own && !own->opacity.empty()) {
    placed.opacity = narrowToFloat(static_cast<double>(source.opacity) * own->opacity.at(time)[0]);
  }
  return placed;
}

}  // namespace pelorix
