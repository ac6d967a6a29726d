// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of a Lottie document: keyframes, their Bézier handles, transforms, and how they are
// written as JSON.
#pragma once

#include <array>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "base/json_writer.h"
#include "model/extensions.h"
#include "model/motion.h"
#include "render/timeline.h"

namespace pelorix::lottie {

// Pelorix turns pictures by 3.141592 / 180 radians a degree: Lottie's degrees for one of them.
inline constexpr double kTurn = kDegreesToRadians * 180.0 / std::numbers::pi;

// A placement's number as the project states it (1.2, not 1.2000000476837158).
double tidy(float value);
std::string base64(const std::vector<uint8_t>& bytes);

// How a value travels from one keyframe to the next, as Lottie's handles say it.
struct Handles {
  bool hold = false;
  double x1 = 0.0, y1 = 0.0, x2 = 1.0, y2 = 1.0;
};
Handles handlesOf(const Curve& curve);
// The glides' easings are polynomials of the fraction that cubic Béziers draw exactly.
Handles handlesOf(Ease ease);

// One keyframe: its frame, its value (1 to 3 numbers), the way to the next, and a position's
// spatial tangents (out x, y of this one, in x, y of the next).
struct Keyframe {
  double frame = 0.0;
  std::vector<double> value;
  Handles handles;
  std::optional<std::array<double, 4>> tangents;
};
// A value that does not change.
std::vector<Keyframe> constant(std::vector<double> value);

// A layer's transform: opacity (percent), rotation (degrees clockwise), position and anchor
// (pixels), scale (percent).
struct Transform {
  std::vector<Keyframe> opacity = constant({100.0});
  std::vector<Keyframe> rotation = constant({0.0});
  std::vector<Keyframe> position = constant({0.0, 0.0, 0.0});
  std::vector<Keyframe> anchor = constant({0.0, 0.0, 0.0});
  std::vector<Keyframe> scale = constant({100.0, 100.0, 100.0});
};
void writeTransform(JsonWriter& json, const Transform& t);

// Lottie's blend mode of Pelorix's; -1 for add, which Lottie has not.
int blendMode(BlendMode mode);

}  // namespace pelorix::lottie
