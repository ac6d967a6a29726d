// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <complex>

#include "model/project.h"
#include "render/timeline.h"

namespace pelorix {

// Whether a layer is moved by motion keys: keys of its own or of a layer it follows (its parent,
// and the parent's parent), or a camera with keys.
bool hasMotion(const Project& project, int layerIndex);

// The placement a layer's picture is drawn at, given its source's placement at t: the picture
// placed by the source, then by the layer's transform (scaled and turned about its pivot, then
// moved by its position), then by each parent's transform up the chain, then by the camera
// (its position at the frame's centre, scaled by its zoom, turned by minus its rotation). Every
// step keeps a uniform scale, so the result is still one scale, one rotation and one offset.
// The layer's opacity keys multiply the source's opacity (a parent's do not). A layer without
// motion keeps `source` exactly.
Placement applyMotion(const Project& project, int layerIndex, const Placement& source, float t);

// A similarity p' = m p + t of points relative to the frame's centre (x right, y down): a
// uniform scale and a rotation (the complex number m) and a move.
struct Similarity {
  std::complex<double> m{1.0, 0.0};
  std::complex<double> t{0.0, 0.0};
  std::complex<double> operator()(std::complex<double> p) const { return m * p + t; }
  // This one, then `after`.
  Similarity then(const Similarity& after) const { return {after.m * m, after.m * t + after.t}; }
};
// What moves layer `layerIndex` at t: its own transform, and what follows it (its parents' and the
// camera's). Without motion both are the identity.
struct LayerMotionFrame {
  Similarity own;
  Similarity outer;
};
LayerMotionFrame motionFrame(const Project& project, int layerIndex, double t);
// The camera's part of it at t (positions times `scale`, the project's spatial scale).
Similarity cameraSimilarity(const CameraMotion& camera, double t, double scale);
// The point of a stored position or pivot (positive moves left and up), and back.
std::complex<double> storedToPoint(const std::array<double, 2>& stored);
std::array<double, 2> pointToStored(std::complex<double> point);

}  // namespace pelorix
