// SPDX-License-Identifier: GPL-3.0-or-later
// Layers and their sources, as Python objects that refer to their place in the project.
#include <pybind11/stl.h>

#include "app/dialog_rules.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "document.h"
#include "handles.h"
#include "model/extensions.h"

namespace pelorix::python {

int LayerRef::index() const {
  const auto at = std::find(doc->layerIds.begin(), doc->layerIds.end(), id);
  if (at == doc->layerIds.end()) throw py::index_error(_("the layer is no longer in the project"));
  return static_cast<int>(at - doc->layerIds.begin());
}

Layer& LayerRef::layer() const {
  return doc->project.layers[static_cast<size_t>(index())];
}

const Source& SourceRef::source() const {
  const Layer& owner = LayerRef{doc, layer}.layer();
  if (index < 0 || index >= static_cast<int>(owner.sources.size()))
    throw py::index_error(_("the source is no longer in the layer"));
  return owner.sources[static_cast<size_t>(index)];
}

void SourceRef::change(const std::function<void(Source&)>& edit) const {
  Source changed = source();
  edit(changed);
  doc->project.replaceSourceAt(LayerRef{doc, layer}.index(), index, changed);
}

double checkedNumber(double value, const NumberField& field) {
  refuse(numberFieldProblem(value, field));
  return value;
}

namespace {

// The choice named `name` of `names` ("easeIn", "multiply"); a ValueError naming them all.
int choiceIndex(std::span<const ChoiceName> names, const std::string& name, const char* what) {
  std::string known;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].name == name) return static_cast<int>(i);
    known += (i ? ", " : "") + std::string(names[i].name);
  }
  throw py::value_error(
      formatC(_("unknown %s '%s' (known: %s)"), what, name.c_str(), known.c_str()));
}

// A source's fields, checked as the source dialog checks them.
Source makeSource(const std::string& file, double duration, double x, double y, double scale,
                  double rotation, double opacity, bool glide, const std::string& ease) {
  Source source;
  source.file = file;
  source.duration = static_cast<float>(checkedNumber(duration, kFieldDuration));
  source.x = static_cast<float>(checkedNumber(x, kFieldX));
  source.y = static_cast<float>(checkedNumber(y, kFieldY));
  source.scale = static_cast<float>(checkedNumber(scale, kFieldScale));
  source.rotation = static_cast<float>(checkedNumber(rotation, kFieldRotation));
  source.opacity = static_cast<float>(checkedNumber(opacity, kFieldOpacity));
  source.flags = glide ? sourceAutoCalc : 0;
  source.flags = withEase(source.flags, static_cast<Ease>(choiceIndex(easeNames(), ease, "ease")));
  return source;
}

// A number field of a source: read and written through its checks.
void sourceNumber(py::class_<SourceRef>& c, const char* name, float Source::*member,
                  const NumberField& field, const char* doc) {
  c.def_property(
      name, [member](const SourceRef& s) { return static_cast<double>(s.source().*member); },
      [member, &field](const SourceRef& s, double value) {
        const float checked = static_cast<float>(checkedNumber(value, field));
        s.change([&](Source& source) { source.*member = checked; });
      },
      doc);
}

void bindSource(py::module_& m) {
  py::class_<SourceRef> c(m, "Source",
                          "One picture of a layer, shown for `duration` seconds at a placement.");
  c.def_property(
      "file", [](const SourceRef& s) { return s.source().file; },
      [](const SourceRef& s, const std::string& file) {
        s.change([&](Source& source) { source.file = file; });
      },
      "The picture's file name, relative to the project's folder (or absolute).");
  sourceNumber(c, "duration", &Source::duration, kFieldDuration, "Seconds shown (0 to 86400).");
  sourceNumber(c, "x", &Source::x, kFieldX, "Offset from the frame's centre; positive is left.");
  sourceNumber(c, "y", &Source::y, kFieldY, "Offset from the frame's centre; positive is up.");
  sourceNumber(c, "scale", &Source::scale, kFieldScale, "Size factor (0 to 1000).");
  sourceNumber(c, "rotation", &Source::rotation, kFieldRotation, "Degrees, counter-clockwise.");
  sourceNumber(c, "opacity", &Source::opacity, kFieldOpacity, "0 (clear) to 1 (opaque).");
  c.def_property(
      "glide", [](const SourceRef& s) { return (s.source().flags & sourceAutoCalc) != 0; },
      [](const SourceRef& s, bool glide) {
        s.change([&](Source& source) {
          source.flags = glide ? source.flags | sourceAutoCalc : source.flags & ~sourceAutoCalc;
        });
      },
      "Whether the placement glides to the next source's when that shows the same file.");
  c.def_property(
      "ease",
      [](const SourceRef& s) {
        return std::string(easeNames()[static_cast<size_t>(easeOf(s.source().flags))].name);
      },
      [](const SourceRef& s, const std::string& name) {
        const int ease = choiceIndex(easeNames(), name, "ease");
        s.change([&](Source& source) { source.flags = withEase(source.flags, Ease(ease)); });
      },
      "The glide's easing: linear, easeIn, easeOut, easeInOut or hold.");
  c.def("__repr__", [](const SourceRef& s) {
    const Source& source = s.source();
    return formatC("<pelorix.Source %s %.4g s at (%.4g, %.4g)>", source.file.c_str(),
                   static_cast<double>(source.duration), static_cast<double>(source.x),
                   static_cast<double>(source.y));
  });
}

// The key colour: None, or (red, green, blue).
py::object keyColorOf(const Layer& layer) {
  if (!(layer.effects & effectColorKey)) return py::none();
  return py::make_tuple(layer.keyColor.red, layer.keyColor.green, layer.keyColor.blue);
}

void setKeyColor(Layer& layer, const std::optional<std::array<int, 3>>& color) {
  if (!color) {
    layer.effects &= ~effectColorKey;
    return;
  }
  for (int channel : *color) {
    if (channel < 0 || channel > 255)
      throw py::value_error(_("a key colour's red, green and blue are each 0 to 255"));
  }
  layer.keyColor.red = static_cast<uint8_t>((*color)[0]);
  layer.keyColor.green = static_cast<uint8_t>((*color)[1]);
  layer.keyColor.blue = static_cast<uint8_t>((*color)[2]);
  layer.effects |= effectColorKey;
}

void effectFlag(py::class_<LayerRef>& c, const char* name, int bit, const char* doc) {
  c.def_property(
      name, [bit](const LayerRef& l) { return (l.layer().effects & bit) != 0; },
      [bit](const LayerRef& l, bool on) {
        Layer& layer = l.layer();
        layer.effects = on ? layer.effects | bit : layer.effects & ~bit;
      },
      doc);
}

void setNumber(const LayerRef& l, int number) {
  Project& project = l.doc->project;
  Layer& layer = l.layer();
  if (number == layer.number) return;
  if (number == 0 || project.findLayerByNumber(number) >= 0)
    throw py::value_error(_(kLayerNumberRule));
  project.renumberLayerMotion(layer.number, number);
  layer.number = number;
}

void bindLayerFields(py::class_<LayerRef>& c) {
  c.def_property(
      "number", [](const LayerRef& l) { return l.layer().number; }, setNumber,
      "The layer's number: not 0, and no other layer's. Layers draw in number order.");
  c.def_property(
      "name", [](const LayerRef& l) { return l.layer().name; },
      [](const LayerRef& l, const std::string& name) { l.layer().name = name; });
  c.def_property(
      "visible", [](const LayerRef& l) { return l.layer().visible != 0; },
      [](const LayerRef& l, bool visible) { l.layer().visible = visible ? 1 : 0; });
  effectFlag(c, "interpolate", effectInterpolate, "Bilinear sampling (else nearest pixel).");
  effectFlag(c, "use_alpha", effectAlpha, "Whether the pictures' own transparency is used.");
  c.def_property(
      "key_color", [](const LayerRef& l) { return keyColorOf(l.layer()); },
      [](const LayerRef& l, const std::optional<std::array<int, 3>>& color) {
        setKeyColor(l.layer(), color);
      },
      "The colour shown as transparent, (red, green, blue), or None.");
  c.def_property(
      "blend",
      [](const LayerRef& l) {
        return std::string(
            blendModeNames()[static_cast<size_t>(blendModeOf(l.layer().effects))].name);
      },
      [](const LayerRef& l, const std::string& name) {
        const int mode = choiceIndex(blendModeNames(), name, "blend mode");
        l.layer().effects = withBlendMode(l.layer().effects, BlendMode(mode));
      },
      "How the layer is laid over the ones below: normal, add, multiply, screen, overlay, "
      "darken, lighten or difference.");
  c.def_property_readonly(
      "duration", [](const LayerRef& l) { return static_cast<double>(l.layer().totalDuration); },
      "The sum of the sources' durations, in seconds.");
}

void bindLayerSources(py::class_<LayerRef>& c) {
  c.def_property_readonly(
      "sources",
      [](const LayerRef& l) {
        std::vector<SourceRef> sources;
        for (size_t i = 0; i < l.layer().sources.size(); ++i)
          sources.push_back({l.doc, l.id, static_cast<int>(i)});
        return sources;
      },
      "The sources in playing order (a new list; change them through their fields).");
  c.def(
      "add_source",
      [](const LayerRef& l, const std::string& file, double duration, double x, double y,
         double scale, double rotation, double opacity, bool glide, const std::string& ease,
         std::optional<int> position) {
        const Source source =
            makeSource(file, duration, x, y, scale, rotation, opacity, glide, ease);
        const int count = static_cast<int>(l.layer().sources.size());
        const int at = position.value_or(count);
        if (at < 0 || at > count) throw py::index_error(_("no such place among the sources"));
        return SourceRef{l.doc, l.id, l.doc->project.addSource(l.index(), source, at)};
      },
      py::arg("file"), py::arg("duration") = 1.0, py::arg("x") = 0.0, py::arg("y") = 0.0,
      py::arg("scale") = 1.0, py::arg("rotation") = 0.0, py::arg("opacity") = 1.0,
      py::arg("glide") = true, py::arg("ease") = "linear", py::arg("position") = py::none(),
      "Adds a source (at the end, or before `position`) and returns it.");
  c.def(
      "remove_source",
      [](const LayerRef& l, int index) {
        if (index < 0) index += static_cast<int>(l.layer().sources.size());
        if (index < 0 || index >= static_cast<int>(l.layer().sources.size()))
          throw py::index_error(_("no such source"));
        l.doc->project.removeSourceAt(l.index(), index);
      },
      py::arg("index"), "Removes the source at `index`; later ones move up.");
}

}  // namespace

void bindLayers(py::module_& m) {
  bindSource(m);
  py::class_<LayerRef> c(m, "Layer", "One of the project's layers (at most 16).");
  bindLayerFields(c);
  bindLayerSources(c);
  c.def("__repr__", [](const LayerRef& l) {
    return formatC("<pelorix.Layer %d %s, %zu sources>", l.layer().number, l.layer().name.c_str(),
                   l.layer().sources.size());
  });
  c.def("__eq__",
        [](const LayerRef& a, const LayerRef& b) { return a.doc == b.doc && a.id == b.id; });
  c.def("__hash__", [](const LayerRef& l) {
    return std::hash<const void*>()(l.doc.get()) ^ static_cast<size_t>(l.id);
  });
}

}  // namespace pelorix::python
