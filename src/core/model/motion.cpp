// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/motion.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/c_locale.h"
#include "base/i18n.h"

namespace pelorix {
namespace {

constexpr int kArcSteps = 64;

// The CSS timing function's curve at parameter s, for one coordinate (p1, p2 its control
// points; 0 and 1 the ends).
double bezierAt(double p1, double p2, double s) {
  const double r = 1.0 - s;
  return 3.0 * r * r * s * p1 + 3.0 * r * s * s * p2 + s * s * s;
}

double bezierSlope(double p1, double p2, double s) {
  const double r = 1.0 - s;
  return 3.0 * r * r * p1 + 6.0 * r * s * (p2 - p1) + 3.0 * s * s * (1.0 - p2);
}

// The parameter at which the curve's x is `x` (x1 and x2 in 0..1 make x rise with s): Newton's
// steps, and halving where they do not settle.
double solveX(double x1, double x2, double x) {
  double s = x;
  for (int i = 0; i < 8; ++i) {
    const double error = bezierAt(x1, x2, s) - x;
    if (std::fabs(error) < 1e-12) return s;
    const double slope = bezierSlope(x1, x2, s);
    if (std::fabs(slope) < 1e-9) break;
    s -= error / slope;
  }
  double low = 0.0, high = 1.0;
  s = x;
  for (int i = 0; i < 64; ++i) {
    const double value = bezierAt(x1, x2, s);
    if (std::fabs(value - x) < 1e-12) break;
    (value < x ? low : high) = s;
    s = 0.5 * (low + high);
  }
  return s;
}

// A point of a segment's cubic Bezier path.
std::array<double, 2> pathPoint(const MotionKey& from, const MotionKey& to, double s) {
  const std::array<double, 4> none{};
  const std::array<double, 4>& a = from.tangents ? *from.tangents : none;
  const std::array<double, 4>& b = to.tangents ? *to.tangents : none;
  std::array<double, 2> point{};
  const double r = 1.0 - s;
  for (size_t c = 0; c < 2; ++c) {
    const double p0 = from.value[c];
    const double p1 = from.value[c] + a[2 + c];  // out of the first key
    const double p2 = to.value[c] + b[c];        // into the second
    const double p3 = to.value[c];
    point[c] = r * r * r * p0 + 3.0 * r * r * s * p1 + 3.0 * r * s * s * p2 + s * s * s * p3;
  }
  return point;
}

bool curved(const MotionKey& from, const MotionKey& to) {
  const auto nonzero = [](const std::optional<std::array<double, 4>>& t, size_t first) {
    return t && ((*t)[first] != 0.0 || (*t)[first + 1] != 0.0);
  };
  return nonzero(from.tangents, 2) || nonzero(to.tangents, 0);
}

// Along a curved segment at `e` of its length (beyond 0..1: on along the ends' directions).
std::array<double, 2> alongPath(const MotionKey& from, const MotionKey& to,
                                const std::vector<double>& arc, double e) {
  const double length = arc.back();
  if (!(length > 0.0)) return from.value;
  if (e < 0.0 || e > 1.0) {
    const bool start = e < 0.0;
    const std::array<double, 2> end = pathPoint(from, to, start ? 0.0 : 1.0);
    const std::array<double, 2> near =
        pathPoint(from, to, start ? 1.0 / kArcSteps : 1.0 - 1.0 / kArcSteps);
    const double dx = start ? near[0] - end[0] : end[0] - near[0];
    const double dy = start ? near[1] - end[1] : end[1] - near[1];
    const double norm = std::hypot(dx, dy);
    const double beyond = (start ? e : e - 1.0) * length;
    if (!(norm > 0.0)) return end;
    return {end[0] + dx / norm * beyond, end[1] + dy / norm * beyond};
  }
  const double wanted = e * length;
  const auto after = std::upper_bound(arc.begin(), arc.end(), wanted);
  const size_t i = std::clamp<size_t>(static_cast<size_t>(after - arc.begin()), 1, kArcSteps) - 1;
  const double span = arc[i + 1] - arc[i];
  const double within = span > 0.0 ? (wanted - arc[i]) / span : 0.0;
  return pathPoint(from, to, (static_cast<double>(i) + within) / kArcSteps);
}

constexpr CurvePreset kPresets[] = {
    {"linear", N_("直線"), {Curve::Kind::Linear}},
    {"hold", N_("停止"), {Curve::Kind::Hold}},
    {"ease", N_("なめらか"), {Curve::Kind::Bezier, 0.25, 0.1, 0.25, 1.0}},
    {"ease-in", N_("加速"), {Curve::Kind::Bezier, 0.42, 0.0, 1.0, 1.0}},
    {"ease-out", N_("減速"), {Curve::Kind::Bezier, 0.0, 0.0, 0.58, 1.0}},
    {"ease-in-out", N_("加減速"), {Curve::Kind::Bezier, 0.42, 0.0, 0.58, 1.0}},
    {"back-out", N_("行き過ぎて戻る"), {Curve::Kind::Bezier, 0.34, 1.56, 0.64, 1.0}},
};

// ---- reading ----

// Numbers separated by commas, each read as strtod reads it and finite; false otherwise.
bool readNumbers(std::string_view text, std::vector<double>& out) {
  out.clear();
  size_t at = 0;
  for (;;) {
    const size_t comma = text.find(',', at);
    double value = 0.0;
    if (!parseNumber(text.substr(at, comma == std::string_view::npos ? comma : comma - at), value))
      return false;
    out.push_back(value);
    if (comma == std::string_view::npos) return true;
    at = comma + 1;
  }
}

bool readCurve(std::string_view text, Curve& curve) {
  if (text.empty() || text == "linear") {
    curve = Curve{};
    return true;
  }
  if (text == "hold") {
    curve = Curve{Curve::Kind::Hold};
    return true;
  }
  if (text.rfind("bezier(", 0) != 0 || text.back() != ')') return false;
  std::vector<double> numbers;
  if (!readNumbers(text.substr(7, text.size() - 8), numbers) || numbers.size() != 4) return false;
  if (numbers[0] < 0.0 || numbers[0] > 1.0 || numbers[2] < 0.0 || numbers[2] > 1.0) return false;
  curve = Curve{Curve::Kind::Bezier, numbers[0], numbers[1], numbers[2], numbers[3]};
  return true;
}

// One key "T:V:CURVE", "T:X,Y:CURVE" or "T:X,Y:IX,IY,OX,OY:CURVE".
bool readKey(std::string_view text, bool vector, MotionKey& key) {
  std::vector<std::string_view> fields;
  for (size_t at = 0;;) {
    const size_t colon = text.find(':', at);
    fields.push_back(text.substr(at, colon == std::string_view::npos ? colon : colon - at));
    if (colon == std::string_view::npos) break;
    at = colon + 1;
  }
  if (fields.size() < 2 || fields.size() > 4) return false;
  std::vector<double> numbers;
  if (!readNumbers(fields[0], numbers) || numbers.size() != 1) return false;
  key.time = numbers[0];
  if (!readNumbers(fields[1], numbers) || numbers.size() != (vector ? 2u : 1u)) return false;
  key.value = {numbers[0], vector ? numbers[1] : 0.0};
  size_t next = 2;
  if (fields.size() == 4) {
    if (!vector || !readNumbers(fields[2], numbers) || numbers.size() != 4) return false;
    key.tangents = std::array<double, 4>{numbers[0], numbers[1], numbers[2], numbers[3]};
    next = 3;
  }
  return readCurve(next < fields.size() ? fields[next] : std::string_view(), key.curve);
}

bool readTrack(std::string_view text, MotionTrack& track) {
  track.keys.clear();
  for (size_t at = 0; at < text.size();) {
    const size_t semicolon = text.find(';', at);
    const std::string_view one =
        text.substr(at, semicolon == std::string_view::npos ? semicolon : semicolon - at);
    if (!one.empty()) {
      MotionKey key;
      if (!readKey(one, track.vector, key)) return false;
      track.keys.push_back(key);
    }
    if (semicolon == std::string_view::npos) break;
    at = semicolon + 1;
  }
  std::stable_sort(track.keys.begin(), track.keys.end(),
                   [](const MotionKey& a, const MotionKey& b) { return a.time < b.time; });
  track.measure();
  return true;
}

void append(std::string& text, double value) {
  text += formatC("%.4f", value);
}

LayerMotion& layerOf(ProjectMotion& motion, int number) {
  for (LayerMotion& layer : motion.layers) {
    if (layer.number == number) return layer;
  }
  LayerMotion& added = motion.layers.emplace_back();
  added.number = number;
  return added;
}

// The track a key names ("position" of layer 3, "zoom" of the camera); null when it names none.
MotionTrack* trackOf(ProjectMotion& motion, std::string_view key, LayerMotion** layer,
                     std::string_view& property) {
  const size_t dot = key.find('.');
  if (dot == std::string_view::npos) return nullptr;
  property = key.substr(dot + 1);
  const std::string_view owner = key.substr(0, dot);
  if (owner == "camera") {
    if (property == "position") return &motion.camera.position;
    if (property == "zoom") return &motion.camera.zoom;
    if (property == "rotation") return &motion.camera.rotation;
    return nullptr;
  }
  if (owner.rfind("layer", 0) != 0 || owner.size() == 5) return nullptr;
  int number = 0;
  const auto read = std::from_chars(owner.data() + 5, owner.data() + owner.size(), number);
  if (read.ec != std::errc() || read.ptr != owner.data() + owner.size()) return nullptr;
  LayerMotion& found = layerOf(motion, number);
  *layer = &found;
  if (property == "position") return &found.position;
  if (property == "scale") return &found.scale;
  if (property == "rotation") return &found.rotation;
  if (property == "opacity") return &found.opacity;
  return nullptr;
}

}  // namespace

double Curve::eased(double f) const {
  switch (kind) {
    case Kind::Hold:
      return 0.0;
    case Kind::Linear:
      return f;
    case Kind::Bezier:
      if (f <= 0.0 || f >= 1.0) return f;
      return bezierAt(y1, y2, solveX(x1, x2, f));
  }
  return f;
}

std::span<const CurvePreset> curvePresets() {
  return kPresets;
}

std::array<double, 2> MotionTrack::at(double t) const {
  if (keys.empty()) return {};
  // Times are written to a ten-thousandth of a second: a key meant for a frame may lie up to
  // half of that after the frame's time, and still holds from that frame on.
  constexpr double kWritten = 0.00005;
  const double reach = t + kWritten;
  if (!(reach > keys.front().time)) return keys.front().value;
  if (reach >= keys.back().time) return keys.back().value;
  const auto after =
      std::upper_bound(keys.begin(), keys.end(), reach,
                       [](double time, const MotionKey& key) { return time < key.time; });
  const size_t i = static_cast<size_t>(after - keys.begin()) - 1;
  const MotionKey& from = keys[i];
  const MotionKey& to = keys[i + 1];
  const double span = to.time - from.time;
  const double e =
      from.curve.eased(span > 0.0 ? std::clamp((t - from.time) / span, 0.0, 1.0) : 1.0);
  if (vector && i < arcs.size() && !arcs[i].empty()) return alongPath(from, to, arcs[i], e);
  return {from.value[0] + (to.value[0] - from.value[0]) * e,
          from.value[1] + (to.value[1] - from.value[1]) * e};
}

bool MotionTrack::constant() const {
  for (const MotionKey& key : keys) {
    if (key.value != keys.front().value) return false;
  }
  return true;
}

void MotionTrack::measure() {
  arcs.assign(keys.empty() ? 0 : keys.size() - 1, {});
  if (!vector) return;
  for (size_t i = 0; i + 1 < keys.size(); ++i) {
    if (!curved(keys[i], keys[i + 1])) continue;
    std::vector<double>& arc = arcs[i];
    arc.assign(kArcSteps + 1, 0.0);
    std::array<double, 2> before = keys[i].value;
    for (int step = 1; step <= kArcSteps; ++step) {
      const std::array<double, 2> point =
          pathPoint(keys[i], keys[i + 1], static_cast<double>(step) / kArcSteps);
      arc[static_cast<size_t>(step)] = arc[static_cast<size_t>(step) - 1] +
                                       std::hypot(point[0] - before[0], point[1] - before[1]);
      before = point;
    }
  }
}

const LayerMotion* ProjectMotion::layer(int number) const {
  for (const LayerMotion& motion : layers) {
    if (motion.number == number) return &motion;
  }
  return nullptr;
}

bool isMotionKey(std::string_view key) {
  return key.rfind("layer", 0) == 0 || key.rfind("camera.", 0) == 0;
}

ProjectMotion parseMotion(const std::vector<std::pair<std::string, std::string>>& extensions) {
  ProjectMotion motion;
  for (const auto& [key, value] : extensions) {
    if (!isMotionKey(key)) continue;
    LayerMotion* layer = nullptr;
    std::string_view property;
    MotionTrack* track = trackOf(motion, key, &layer, property);
    bool read = true;
    if (track) {
      read = readTrack(value, *track);
      if (!read) {
        track->keys.clear();
        track->arcs.clear();
      }
    } else if (layer && property == "pivot") {
      std::vector<double> numbers;
      read = readNumbers(value, numbers) && numbers.size() == 2;
      if (read) layer->pivot = std::array<double, 2>{numbers[0], numbers[1]};
    } else if (layer && property == "parent") {
      std::vector<double> numbers;
      read = readNumbers(value, numbers) && numbers.size() == 1 &&
             numbers[0] == std::floor(numbers[0]) && std::fabs(numbers[0]) < 1e9;
      if (read) layer->parent = static_cast<int>(numbers[0]);
    } else {
      continue;  // another extension that happens to start so: kept, not read
    }
    if (!read) {
      motion.problems.push_back(
          formatC(_("動きの設定 %s=%s を読めません (使いません)。"), key.c_str(), value.c_str()));
    }
  }
  // A layer line that said nothing readable is no layer's motion.
  std::erase_if(motion.layers, [](const LayerMotion& layer) {
    return !layer.keyed() && !layer.pivot && layer.parent == 0;
  });
  return motion;
}

std::string formatCurve(const Curve& curve) {
  switch (curve.kind) {
    case Curve::Kind::Hold:
      return "hold";
    case Curve::Kind::Linear:
      return "linear";
    case Curve::Kind::Bezier:
      return formatC("bezier(%.4f,%.4f,%.4f,%.4f)", curve.x1, curve.y1, curve.x2, curve.y2);
  }
  return "linear";
}

std::string formatTrack(const MotionTrack& track) {
  std::string text;
  for (const MotionKey& key : track.keys) {
    if (!text.empty()) text += ';';
    append(text, key.time);
    text += ':';
    append(text, key.value[0]);
    if (track.vector) {
      text += ',';
      append(text, key.value[1]);
      if (key.tangents) {
        text += ':';
        for (size_t i = 0; i < 4; ++i) {
          if (i > 0) text += ',';
          append(text, (*key.tangents)[i]);
        }
      }
    }
    text += ':';
    text += formatCurve(key.curve);
  }
  return text;
}

std::string formatPivot(const std::array<double, 2>& pivot) {
  return formatC("%.4f,%.4f", pivot[0], pivot[1]);
}

std::string layerMotionKey(int number, std::string_view property) {
  return formatC("layer%d.%.*s", number, static_cast<int>(property.size()), property.data());
}

}  // namespace pelorix
