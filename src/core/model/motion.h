// SPDX-License-Identifier: GPL-3.0-or-later
// Keys on a layer's properties and on a camera, as the extensions block stores them:
//   layerN.position=T:X,Y:CURVE;T:X,Y:IX,IY,OX,OY:CURVE;...   (tangents optional)
//   layerN.scale=T:V:CURVE;...   layerN.rotation=...   layerN.opacity=...
//   layerN.pivot=X,Y             layerN.parent=M
//   camera.position=...          camera.zoom=...       camera.rotation=...
// T in seconds from the start; numbers in the C locale, written "%.4f"; CURVE is hold, linear or
// bezier(X1,Y1,X2,Y2), the way from this key to the next. Positions and pivots are in the
// sources' convention: relative to the frame's centre, positive moves left and up.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelorix {

// How a key's value travels to the next key's.
struct Curve {
  enum class Kind { Hold, Linear, Bezier };
  Kind kind = Kind::Linear;
  // Bezier: the CSS timing function cubic-bezier(x1, y1, x2, y2); x in 0..1, y free.
  double x1 = 0.0, y1 = 0.0, x2 = 1.0, y2 = 1.0;

  // The fraction of the way at `f` (0..1) of the time: 0 for hold.
  double eased(double f) const;
  friend bool operator==(const Curve&, const Curve&) = default;
};

// A named curve a user chooses from ("ease-in-out" and the other CSS keywords).
struct CurvePreset {
  std::string_view name;
  const char* label;  // translate with _()
  Curve curve;
};
std::span<const CurvePreset> curvePresets();

struct MotionKey {
  double time = 0.0;
  std::array<double, 2> value{};  // x and y of a position; value[0] of a number
  // A position's spatial tangents, relative to its point: in (from the key before) and out (to
  // the key after). Absent: the path is straight.
  std::optional<std::array<double, 4>> tangents;
  Curve curve;  // to the next key
  friend bool operator==(const MotionKey&, const MotionKey&) = default;
};

// The keys of one property in time order. Before the first key its value holds, after the last
// the last's.
struct MotionTrack {
  std::vector<MotionKey> keys;
  bool vector = false;  // two values (a position)
  // A position's curved segments: the path's length from the segment's start at 64 equal steps
  // of its parameter (empty for a straight segment), one entry per key but the last.
  std::vector<std::vector<double>> arcs;

  // An empty track of positions (two values).
  static MotionTrack positions() {
    MotionTrack track;
    track.vector = true;
    return track;
  }
  bool empty() const { return keys.empty(); }
  // The value at `t` (both values of a position; value[0] of a number).
  std::array<double, 2> at(double t) const;
  // Whether the value stays the same for all time.
  bool constant() const;
  // Makes the arc tables after the keys changed.
  void measure();
  friend bool operator==(const MotionTrack&, const MotionTrack&) = default;
};

// The keyed properties of one layer, found by its number.
struct LayerMotion {
  int number = 0;
  MotionTrack position = MotionTrack::positions();
  MotionTrack scale;
  MotionTrack rotation;
  MotionTrack opacity;
  std::optional<std::array<double, 2>> pivot;
  int parent = 0;  // the number of the parent layer; 0: none
  bool keyed() const {
    return !position.empty() || !scale.empty() || !rotation.empty() || !opacity.empty();
  }
  friend bool operator==(const LayerMotion&, const LayerMotion&) = default;
};

struct CameraMotion {
  MotionTrack position = MotionTrack::positions();
  MotionTrack zoom;
  MotionTrack rotation;
  bool keyed() const { return !position.empty() || !zoom.empty() || !rotation.empty(); }
  friend bool operator==(const CameraMotion&, const CameraMotion&) = default;
};

// Everything a project's extensions block says of motion, read from its lines.
struct ProjectMotion {
  std::vector<LayerMotion> layers;  // in the order their lines come
  CameraMotion camera;
  // What could not be read, one line each (said when the project is loaded; the lines are kept
  // in the file as they are).
  std::vector<std::string> problems;
  // Positions, pivots and the camera's position times this (a render at another size).
  double spatialScale = 1.0;
  // A preview composed smaller than the frame (never a file or a render): the canvas's width
  // and height. Canvas column x shows the frame's column floor((x + 0.5) * frame width / canvas
  // width), as the window showed the whole frame stretched, and is sampled exactly where that
  // column is (rows alike). 0 x 0: the frame itself.
  std::array<int, 2> shownSize{};
  // With it, for playback: a still picture stepped over by two or more of its pixels per canvas
  // pixel is sampled from one of its smaller copies (render/picture_levels.h).
  bool pictureLevels = false;

  const LayerMotion* layer(int number) const;
  bool empty() const { return layers.empty() && !camera.keyed(); }
  friend bool operator==(const ProjectMotion&, const ProjectMotion&) = default;
};

// Whether an extensions key is one of the motion lines ("layer3.scale", "camera.zoom").
bool isMotionKey(std::string_view key);
ProjectMotion parseMotion(const std::vector<std::pair<std::string, std::string>>& extensions);

// The text of a track's line, of a pivot's and of a curve, as Pelorix writes them.
std::string formatTrack(const MotionTrack& track);
std::string formatPivot(const std::array<double, 2>& pivot);
std::string formatCurve(const Curve& curve);
// The keys of the lines of layer `number`: "layer3.position" and so on.
std::string layerMotionKey(int number, std::string_view property);

}  // namespace pelorix
