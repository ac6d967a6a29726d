// SPDX-License-Identifier: GPL-3.0-or-later
// Keys of a layer's properties and of the camera, pivots and parents.
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>

#include "app/dialog_rules.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "document.h"
#include "handles.h"
#include "model/motion.h"

namespace pelorix::python {
namespace {

// What owns keys: a layer (by its place) or the camera.
struct KeyOwner {
  DocumentPtr doc;
  int layer = 0;  // the layer's number; 0: the camera
};

// A property that takes keys: its name in the file, and the field that checks its values.
struct Property {
  const char* name;
  bool vector;
  const NumberField* field;
};

const Property* findProperty(const KeyOwner& owner, const std::string& name) {
  static const Property layer[] = {{"position", true, &kFieldX},
                                   {"scale", false, &kFieldScale},
                                   {"rotation", false, &kFieldRotation},
                                   {"opacity", false, &kFieldOpacity}};
  static const Property camera[] = {{"position", true, &kFieldX},
                                    {"zoom", false, &kFieldScale},
                                    {"rotation", false, &kFieldRotation}};
  const std::span<const Property> properties =
      owner.layer == 0 ? std::span<const Property>(camera) : std::span<const Property>(layer);
  std::string known;
  for (const Property& property : properties) {
    if (name == property.name) return &property;
    known += (known.empty() ? "" : ", ") + std::string(property.name);
  }
  throw py::value_error(
      formatC(_("no property '%s' takes keys here (known: %s)"), name.c_str(), known.c_str()));
}

std::string lineKey(const KeyOwner& owner, const Property& property) {
  if (owner.layer == 0) return std::string("camera.") + property.name;
  return layerMotionKey(owner.layer, property.name);
}

// The keys as the project has them now (an empty track when none).
MotionTrack trackOf(const KeyOwner& owner, const Property& property) {
  const ProjectMotion& motion = owner.doc->project.motion;
  const MotionTrack* track = nullptr;
  const std::string_view name = property.name;
  if (owner.layer == 0) {
    track = name == "position" ? &motion.camera.position
            : name == "zoom"   ? &motion.camera.zoom
                               : &motion.camera.rotation;
  } else if (const LayerMotion* layer = motion.layer(owner.layer)) {
    track = name == "position"   ? &layer->position
            : name == "scale"    ? &layer->scale
            : name == "rotation" ? &layer->rotation
                                 : &layer->opacity;
  }
  if (track) return *track;
  return property.vector ? MotionTrack::positions() : MotionTrack{};
}

void store(const KeyOwner& owner, const Property& property, MotionTrack track) {
  track.measure();
  owner.doc->project.setSetting(lineKey(owner, property),
                                track.empty() ? std::string() : formatTrack(track));
}

Curve curveOf(const py::object& given) {
  if (py::isinstance<py::str>(given)) {
    const std::string name = given.cast<std::string>();
    if (name == "linear") return Curve{};
    if (name == "hold") return Curve{Curve::Kind::Hold};
    std::string known = "linear, hold";
    for (const CurvePreset& preset : curvePresets()) {
      if (preset.name == name) return preset.curve;
      known += ", " + std::string(preset.name);
    }
    throw py::value_error(formatC(_("unknown curve '%s' (known: %s, or (x1, y1, x2, y2))"),
                                  name.c_str(), known.c_str()));
  }
  const auto points = given.cast<std::array<double, 4>>();
  if (!(points[0] >= 0 && points[0] <= 1 && points[2] >= 0 && points[2] <= 1) ||
      !std::isfinite(points[1]) || !std::isfinite(points[3])) {
    throw py::value_error(_("a curve's x1 and x2 are 0 to 1 (cubic-bezier)"));
  }
  return Curve{Curve::Kind::Bezier, points[0], points[1], points[2], points[3]};
}

py::object curveObject(const Curve& curve) {
  if (curve.kind == Curve::Kind::Linear) return py::str("linear");
  if (curve.kind == Curve::Kind::Hold) return py::str("hold");
  for (const CurvePreset& preset : curvePresets()) {
    if (preset.curve == curve) return py::str(std::string(preset.name));
  }
  return py::make_tuple(curve.x1, curve.y1, curve.x2, curve.y2);
}

py::object valueObject(const Property& property, const std::array<double, 2>& value) {
  if (property.vector) return py::make_tuple(value[0], value[1]);
  return py::float_(value[0]);
}

std::array<double, 2> valueOf(const Property& property, const py::object& given) {
  if (property.vector) {
    const auto point = given.cast<std::array<double, 2>>();
    return {checkedNumber(point[0], kFieldX), checkedNumber(point[1], kFieldY)};
  }
  return {checkedNumber(given.cast<double>(), *property.field), 0.0};
}

// Keys are the same key when they are this close in time (the file keeps four decimals).
constexpr double kSameTime = 0.5e-4;

void setKey(const KeyOwner& owner, const std::string& name, double time, const py::object& value,
            const py::object& curve, const std::optional<std::array<double, 4>>& tangents) {
  const Property& property = *findProperty(owner, name);
  MotionKey key;
  key.time = checkedNumber(time, kFieldDuration);
  key.value = valueOf(property, value);
  key.curve = curveOf(curve);
  if (tangents && !property.vector) throw py::value_error(_("only positions have tangents"));
  key.tangents = tangents;
  MotionTrack track = trackOf(owner, property);
  auto at = std::find_if(track.keys.begin(), track.keys.end(),
                         [&](const MotionKey& k) { return k.time > key.time - kSameTime; });
  if (at != track.keys.end() && std::abs(at->time - key.time) < kSameTime) {
    *at = key;
  } else {
    track.keys.insert(at, key);
  }
  store(owner, property, std::move(track));
}

void removeKey(const KeyOwner& owner, const std::string& name, double time) {
  const Property& property = *findProperty(owner, name);
  MotionTrack track = trackOf(owner, property);
  const auto removed = std::erase_if(
      track.keys, [&](const MotionKey& k) { return std::abs(k.time - time) < kSameTime; });
  if (removed == 0) throw py::key_error(formatC(_("%s has no key at %.4f s"), property.name, time));
  store(owner, property, std::move(track));
}

KeyOwner keyOwnerOf(const CameraRef& camera) {
  return {camera.doc, 0};
}

KeyOwner keyOwnerOf(const LayerRef& layer) {
  return {layer.doc, layer.layer().number};
}

// The key methods, alike for a layer and the camera.
template <typename Owner>
void bindKeys(py::class_<Owner>& c, const char* properties) {
  c.def(
      "keys",
      [](const Owner& o, const std::string& name) {
        const KeyOwner owner = keyOwnerOf(o);
        const Property& property = *findProperty(owner, name);
        py::list keys;
        for (const MotionKey& key : trackOf(owner, property).keys) {
          py::dict k;
          k["time"] = key.time;
          k["value"] = valueObject(property, key.value);
          k["curve"] = curveObject(key.curve);
          k["tangents"] = key.tangents ? py::cast(*key.tangents) : py::none();
          keys.append(k);
        }
        return keys;
      },
      py::arg("property"),
      (std::string("The keys of a property (") + properties +
       "), in time order: dicts of time, value, curve and tangents.")
          .c_str());
  c.def(
      "set_key",
      [](const Owner& o, const std::string& name, double time, const py::object& value,
         const py::object& curve, const std::optional<std::array<double, 4>>& tangents) {
        setKey(keyOwnerOf(o), name, time, value, curve, tangents);
      },
      py::arg("property"), py::arg("time"), py::arg("value"), py::arg("curve") = "linear",
      py::arg("tangents") = py::none(),
      "Sets a key (a new one, or the one at that time): `value` a number, or (x, y) for a "
      "position; `curve` the way to the next key: 'linear', 'hold', a CSS name such as "
      "'ease-in-out', or (x1, y1, x2, y2) of cubic-bezier; `tangents` a position's "
      "(in_x, in_y, out_x, out_y) relative to its point.");
  c.def(
      "remove_key",
      [](const Owner& o, const std::string& name, double time) {
        removeKey(keyOwnerOf(o), name, time);
      },
      py::arg("property"), py::arg("time"), "Removes the key at `time` (a KeyError when none).");
  c.def(
      "value_at",
      [](const Owner& o, const std::string& name, double t) -> py::object {
        const KeyOwner owner = keyOwnerOf(o);
        const Property& property = *findProperty(owner, name);
        const MotionTrack track = trackOf(owner, property);
        if (track.empty()) return py::none();
        return valueObject(property, track.at(t));
      },
      py::arg("property"), py::arg("t"), "The keyed value at `t` seconds (None without keys).");
}

void bindParent(py::class_<LayerRef>& layer) {
  layer.def_property(
      "parent",
      [](const LayerRef& l) -> py::object {
        const LayerMotion* motion = l.doc->project.motion.layer(l.layer().number);
        if (!motion || motion->parent == 0) return py::none();
        return py::int_(motion->parent);
      },
      [](const LayerRef& l, const py::object& given) {
        int parent = 0;
        if (py::isinstance<LayerRef>(given)) {
          parent = given.cast<LayerRef>().layer().number;
        } else if (!given.is_none()) {
          parent = given.cast<int>();
        }
        Project& project = l.doc->project;
        const int number = l.layer().number;
        refuse(project.parentProblem(number, parent));
        project.setSetting(layerMotionKey(number, "parent"),
                           parent != 0 ? std::to_string(parent) : std::string());
      },
      "The number of the layer whose movement this one follows, or None; a Layer or a number "
      "sets it (a ValueError when it would make a circle).");
  layer.def_property(
      "pivot",
      [](const LayerRef& l) -> py::object {
        const LayerMotion* motion = l.doc->project.motion.layer(l.layer().number);
        if (!motion || !motion->pivot) return py::none();
        return py::make_tuple((*motion->pivot)[0], (*motion->pivot)[1]);
      },
      [](const LayerRef& l, const std::optional<std::array<double, 2>>& pivot) {
        std::string text;
        if (pivot)
          text = formatPivot(
              {checkedNumber((*pivot)[0], kFieldX), checkedNumber((*pivot)[1], kFieldY)});
        l.doc->project.setSetting(layerMotionKey(l.layer().number, "pivot"), text);
      },
      "The point the layer turns and scales about, (x, y) from the picture's centre, or None.");
}

}  // namespace

void bindMotion(py::module_& m) {
  py::class_<CameraRef> camera(m, "Camera",
                               "The camera: keys on its position, zoom and rotation film the "
                               "whole frame.");
  bindKeys(camera, "position, zoom, rotation");
  auto layer = py::reinterpret_borrow<py::class_<LayerRef>>(m.attr("Layer"));
  bindKeys(layer, "position, scale, rotation, opacity");
  bindParent(layer);
}

}  // namespace pelorix::python
