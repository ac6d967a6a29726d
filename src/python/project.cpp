// SPDX-License-Identifier: GPL-3.0-or-later
// The Project class: loading, making, saving, the project's own fields and its layers.
#include <pybind11/stl.h>

#include <thread>

#include "app/dialog_rules.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "document.h"
#include "handles.h"
#include "model/project_file.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix::python {

Document::Document()
    : workers(static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))),
      compositor(log) {
  compositor.setRowWorkers(&workers);
}

void warnEach(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (PyErr_WarnEx(PyExc_RuntimeWarning, line.c_str(), 1) != 0) throw py::error_already_set();
  }
}

void refuse(const std::string& message) {
  if (!message.empty()) throw py::value_error(message);
}

namespace {

DocumentPtr load(const std::string& path) {
  auto doc = std::make_shared<Document>();
  const ProjectLoadResult loaded = loadProject(doc->project, path);
  if (loaded.result == kLoadCannotOpen) {
    raise(fileExists(path) ? PyExc_OSError : PyExc_FileNotFoundError,
          loaded.message + (loaded.cause.empty() ? "" : ": " + loaded.cause));
  }
  if (loaded.result < 0) throw py::value_error(loaded.message);
  doc->markLayers();
  doc->folder = folderOf(path);
  doc->compositor.setProjectFolder(doc->folder);
  warnEach(loaded.warnings);
  return doc;
}

DocumentPtr make(int width, int height, double fps) {
  checkedNumber(width, kFieldWidth);
  checkedNumber(height, kFieldHeight);
  checkedNumber(fps, kFieldFps);
  auto doc = std::make_shared<Document>();
  doc->project.resetProject();
  doc->project.outputWidth = width;
  doc->project.outputHeight = height;
  doc->project.fps = static_cast<float>(fps);
  return doc;
}

void save(const DocumentPtr& doc, const std::string& path) {
  ProjectSaveResult outcome = saveProject(doc->project, path);
  if (outcome.result == kSaveNothing)
    throw py::value_error(_("the project has no layer: there is nothing to save"));
  if (outcome.result != kSaveWritten) raise(PyExc_OSError, outcome.message);
  warnEach(outcome.warnings);
}

LayerRef addLayer(const DocumentPtr& doc, std::optional<int> number, const std::string& name,
                  bool visible) {
  Project& project = doc->project;
  if (project.layerCount >= kMaxLayers)
    throw py::value_error(formatC(_("レイヤーは %d 枚までです。"), kMaxLayers));
  int chosen = 1;
  for (int i = 0; i < project.layerCount; ++i)
    chosen = std::max(chosen, project.layers[static_cast<size_t>(i)].number + 1);
  if (number) {
    if (*number == 0 || project.findLayerByNumber(*number) >= 0)
      throw py::value_error(_(kLayerNumberRule));
    chosen = *number;
  }
  const int index = project.addLayer();
  Layer& layer = project.layers[static_cast<size_t>(index)];
  layer.number = chosen;
  layer.name = name;
  layer.visible = visible ? 1 : 0;
  doc->layerIds.push_back(doc->nextLayerId++);
  return LayerRef::at(doc, index);
}

int indexOfLayer(const DocumentPtr& doc, const py::object& which) {
  if (py::isinstance<LayerRef>(which)) {
    const LayerRef& ref = which.cast<const LayerRef&>();
    if (ref.doc != doc) throw py::value_error(_("the layer belongs to another project"));
    return ref.index();
  }
  const int number = which.cast<int>();
  const int index = doc->project.findLayerByNumber(number);
  if (index < 0) throw py::key_error(formatC(_("the project has no layer numbered %d"), number));
  return index;
}

void removeLayer(const DocumentPtr& doc, const py::object& which) {
  Project& project = doc->project;
  const int index = indexOfLayer(doc, which);
  const int number = project.layers[static_cast<size_t>(index)].number;
  // Its keys go with it, unless another layer has the same number.
  project.removeLayerAt(index);
  doc->layerIds.erase(doc->layerIds.begin() + index);
  if (project.findLayerByNumber(number) < 0) project.removeLayerMotion(number);
}

template <typename T>
void field(py::class_<Document, DocumentPtr>& c, const char* name, T Project::*member,
           const NumberField* check, const char* doc) {
  c.def_property(
      name, [member](const Document& d) { return d.project.*member; },
      [member, check](Document& d, T value) {
        if constexpr (std::is_arithmetic_v<T>) {
          if (check) checkedNumber(static_cast<double>(value), *check);
        }
        d.project.*member = value;
      },
      doc);
}

void optionFlag(py::class_<Document, DocumentPtr>& c, const char* name, int bit, const char* doc) {
  c.def_property(
      name, [bit](const Document& d) { return (d.project.options & bit) != 0; },
      [bit](Document& d, bool on) {
        d.project.options = on ? d.project.options | bit : d.project.options & ~bit;
      },
      doc);
}

void bindFields(py::class_<Document, DocumentPtr>& c) {
  field(c, "width", &Project::outputWidth, &kFieldWidth, "The frame's width in pixels.");
  field(c, "height", &Project::outputHeight, &kFieldHeight, "The frame's height in pixels.");
  c.def_property(
      "fps", [](const Document& d) { return static_cast<double>(d.project.fps); },
      [](Document& d, double fps) {
        d.project.fps = static_cast<float>(checkedNumber(fps, kFieldFps));
      },
      "Frames per second (1 to 1000).");
  field<std::string>(c, "name", &Project::name, nullptr, "The project's title.");
  field<std::string>(c, "save_name", &Project::saveFileName, nullptr,
                     "The base name of rendered files.");
  field<std::string>(c, "save_folder", &Project::saveFolder, nullptr,
                     "Where renders go without a path, relative to the project's folder.");
  c.def_property(
      "output_format", [](const Document& d) { return d.project.outputFormat; },
      [](Document& d, const std::string& format) {
        if (auto problem = outputFormatProblem(format, d.project.options)) refuse(*problem);
        d.project.outputFormat = format;
      },
      "The type of rendered files (png, jpg, mp4 ...).");
  optionFlag(c, "transparent", projectTransparentBackground,
             "Whether frames start transparent instead of black.");
  optionFlag(c, "animated_file", projectAnimatedFile,
             "Whether gif and webp renders are one animated file instead of numbered files.");
  c.def_property(
      "folder", [](const Document& d) { return d.folder; },
      [](Document& d, const std::string& folder) {
        d.folder = folder.empty() || folder.back() == '/' ? folder : folder + '/';
        d.compositor.setProjectFolder(d.folder);
      },
      "The folder image names are looked up in: the project file's, or the current folder for "
      "a new project.");
  c.def_property_readonly(
      "duration",
      [](const Document& d) { return static_cast<double>(buildDrawList(d.project).totalTime); },
      "The animation's length in seconds: the longest visible layer's.");
  c.def_property_readonly(
      "frame_count",
      [](const Document& d) {
        return countConversionFrames(buildDrawList(d.project).totalTime, d.project.fps,
                                     kMaxConversionFrames, FrameSpacing::Exact)
            .frames;
      },
      "How many frames a video of the project holds: round(duration x fps).");
}

void bindLayerList(py::class_<Document, DocumentPtr>& c) {
  c.def_property_readonly(
      "layers",
      [](const DocumentPtr& d) {
        std::vector<LayerRef> layers;
        for (int i = 0; i < d->project.layerCount; ++i)
          layers.push_back(LayerRef::at(d, i));
        return layers;
      },
      "The layers in their slots' order (a new list).");
  c.def("add_layer", addLayer, py::arg("number") = py::none(), py::arg("name") = "-",
        py::arg("visible") = true,
        "Adds a layer (numbered after the highest when no number is given) and returns it.");
  c.def("remove_layer", removeLayer, py::arg("layer"),
        "Removes a layer, given as a Layer or by its number, with its keys.");
  c.def(
      "layer",
      [](const DocumentPtr& d, int number) {
        return LayerRef::at(d, indexOfLayer(d, py::int_(number)));
      },
      py::arg("number"), "The layer with that number (a KeyError when none).");
  c.def_property_readonly(
      "camera", [](const DocumentPtr& d) { return CameraRef{d}; }, "The camera's keys.");
  c.def(
      "setting", [](const Document& d, const std::string& key) { return d.project.setting(key); },
      py::arg("key"), "A setting of the project's extensions block ('' when not set).");
  c.def(
      "set_setting",
      [](Document& d, const std::string& key, const std::string& value) {
        d.project.setSetting(key, value);
      },
      py::arg("key"), py::arg("value"), "Sets a setting ('' removes it): audio, audioOffset ...");
}

}  // namespace

void bindProject(py::module_& m) {
  py::class_<Document, DocumentPtr> c(m, "Project",
                                      "A Pelorix project: up to 16 layers of "
                                      "pictures with placements and keys.");
  c.def_static("load", load, py::arg("path"),
               "Reads a project file (.pxp); image names are looked up beside it.");
  c.def_static("new", make, py::arg("width") = 320, py::arg("height") = 240, py::arg("fps") = 30.0,
               "A new project without layers.");
  c.def("save", save, py::arg("path"),
        "Writes the project file atomically, as the desktop writes it.");
  bindFields(c);
  bindLayerList(c);
  c.def("__repr__", [](const Document& d) {
    return formatC("<pelorix.Project %dx%d at %.7g fps, %d layers>", d.project.outputWidth,
                   d.project.outputHeight, static_cast<double>(d.project.fps),
                   d.project.layerCount);
  });
}

}  // namespace pelorix::python
