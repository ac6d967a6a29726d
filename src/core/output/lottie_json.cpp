// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/lottie_json.h"

#include <charconv>
#include <cstdlib>

namespace pelorix::lottie {
namespace {

void writeValue(JsonWriter& json, const std::vector<double>& value) {
  if (value.size() == 1) {
    json.value(value[0]);
    return;
  }
  json.beginArray();
  for (double v : value)
    json.value(v);
  json.endArray();
}

void writeHandle(JsonWriter& json, const char* name, double x, double y) {
  json.key(name);
  json.beginObject();
  json.key("x");
  json.beginArray();
  json.value(x);
  json.endArray();
  json.key("y");
  json.beginArray();
  json.value(y);
  json.endArray();
  json.endObject();
}

// An animatable property: static with one keyframe, animated with more.
void writeProperty(JsonWriter& json, const char* name, const std::vector<Keyframe>& keys) {
  json.key(name);
  json.beginObject();
  if (keys.size() == 1) {
    json.field("a", 0);
    json.key("k");
    writeValue(json, keys[0].value);
    json.endObject();
    return;
  }
  json.field("a", 1);
  json.key("k");
  json.beginArray();
  for (size_t i = 0; i < keys.size(); ++i) {
    const Keyframe& key = keys[i];
    json.beginObject();
    json.field("t", key.frame);
    json.key("s");
    json.beginArray();
    for (double v : key.value)
      json.value(v);
    json.endArray();
    if (i + 1 < keys.size()) {
      if (key.handles.hold) {
        json.field("h", 1);
      } else {
        writeHandle(json, "o", key.handles.x1, key.handles.y1);
        writeHandle(json, "i", key.handles.x2, key.handles.y2);
      }
      if (key.tangents) {
        const auto& t = *key.tangents;
        json.key("to");
        writeValue(json, {t[0], t[1], 0.0});
        json.key("ti");
        writeValue(json, {t[2], t[3], 0.0});
      }
    }
    json.endObject();
  }
  json.endArray();
  json.endObject();
}

}  // namespace

double tidy(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::strtod(std::string(text, end).c_str(), nullptr);
}

std::string base64(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = static_cast<uint32_t>(bytes[i]) << 16 |
                       (i + 1 < bytes.size() ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0u) |
                       (i + 2 < bytes.size() ? bytes[i + 2] : 0u);
    out += digits[n >> 18 & 63];
    out += digits[n >> 12 & 63];
    out += i + 1 < bytes.size() ? digits[n >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? digits[n & 63] : '=';
  }
  return out;
}

Handles handlesOf(const Curve& curve) {
  if (curve.kind == Curve::Kind::Hold) return {true};
  if (curve.kind == Curve::Kind::Linear) return {};
  return {false, curve.x1, curve.y1, curve.x2, curve.y2};
}

// The glides' easings are polynomials of the fraction that cubic Béziers draw exactly: f*f,
// 1-(1-f)^2 and f*f*(3-2f) have control values 0, 0, 1/3, 1; 0, 2/3, 1, 1; and 0, 0, 1, 1.
Handles handlesOf(Ease ease) {
  constexpr double third = 1.0 / 3.0;
  switch (ease) {
    case Ease::Linear:
      return {};
    case Ease::In:
      return {false, third, 0.0, 2 * third, third};
    case Ease::Out:
      return {false, third, 2 * third, 2 * third, 1.0};
    case Ease::InOut:
      return {false, third, 0.0, 2 * third, 1.0};
    case Ease::Hold:
      return {true};
  }
  return {};
}

std::vector<Keyframe> constant(std::vector<double> value) {
  return {Keyframe{0.0, std::move(value), {}, {}}};
}

void writeTransform(JsonWriter& json, const Transform& t) {
  json.key("ks");
  json.beginObject();
  writeProperty(json, "o", t.opacity);
  writeProperty(json, "r", t.rotation);
  writeProperty(json, "p", t.position);
  writeProperty(json, "a", t.anchor);
  writeProperty(json, "s", t.scale);
  json.endObject();
}

int blendMode(BlendMode mode) {
  switch (mode) {
    case BlendMode::Normal:
      return 0;
    case BlendMode::Multiply:
      return 1;
    case BlendMode::Screen:
      return 2;
    case BlendMode::Overlay:
      return 3;
    case BlendMode::Darken:
      return 4;
    case BlendMode::Lighten:
      return 5;
    case BlendMode::Difference:
      return 10;
    case BlendMode::Add:
      return -1;
  }
  return 0;
}

}  // namespace pelorix::lottie
