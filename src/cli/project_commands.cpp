// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix-cli info and save-as.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <set>

#include "app.h"
#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/json_writer.h"
#include "commands.h"
#include "model/extensions.h"
#include "model/project_file.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix::cli {
namespace {

int exitCodeFor(int loadResult) {
  if (loadResult == kLoadCannotOpen) return kExitCannotOpen;
  if (loadResult == kLoadMalformed) return kExitMalformed;
  return kExitOk;
}

void keyColorJson(JsonWriter& json, const KeyColor& key) {
  json.key("keyColor");
  json.beginObject();
  json.field("blue", static_cast<int>(key.blue));
  json.field("green", static_cast<int>(key.green));
  json.field("red", static_cast<int>(key.red));
  json.field("reserved", static_cast<int>(key.reserved));
  json.endObject();
}

void sourceJson(JsonWriter& json, const Source& s) {
  json.beginObject();
  json.field("file", s.file);
  json.field("duration", s.duration);
  json.field("x", s.x);
  json.field("y", s.y);
  json.field("scale", s.scale);
  json.field("rotation", s.rotation);
  json.field("opacity", s.opacity);
  json.field("reserved1", s.reserved1);
  json.field("reserved2", s.reserved2);
  json.field("flags", s.flags);
  json.field("ease", easeNames()[static_cast<size_t>(easeOf(s.flags))].name);
  json.field("pluginText", s.pluginText);
  json.endObject();
}

void trackJson(JsonWriter& json, std::string_view name, const MotionTrack& track) {
  if (track.empty()) return;
  json.key(name);
  json.beginArray();
  for (const MotionKey& key : track.keys) {
    json.beginObject();
    json.field("time", key.time);
    if (track.vector) {
      json.field("x", key.value[0]);
      json.field("y", key.value[1]);
    } else {
      json.field("value", key.value[0]);
    }
    if (key.tangents) {
      json.key("tangents");
      json.beginObject();
      json.field("inX", (*key.tangents)[0]);
      json.field("inY", (*key.tangents)[1]);
      json.field("outX", (*key.tangents)[2]);
      json.field("outY", (*key.tangents)[3]);
      json.endObject();
    }
    json.field("curve", formatCurve(key.curve));
    json.endObject();
  }
  json.endArray();
}

// The keys, pivot and parent of a layer, as the extensions block gives them.
void motionJson(JsonWriter& json, const LayerMotion& motion) {
  json.key("motion");
  json.beginObject();
  trackJson(json, "position", motion.position);
  trackJson(json, "scale", motion.scale);
  trackJson(json, "rotation", motion.rotation);
  trackJson(json, "opacity", motion.opacity);
  if (motion.pivot) {
    json.key("pivot");
    json.beginObject();
    json.field("x", (*motion.pivot)[0]);
    json.field("y", (*motion.pivot)[1]);
    json.endObject();
  }
  if (motion.parent != 0) json.field("parent", motion.parent);
  json.endObject();
}

void layerJson(JsonWriter& json, const Layer& layer, const ProjectMotion& motion) {
  json.beginObject();
  json.field("number", layer.number);
  json.field("name", layer.name);
  json.field("visible", layer.visible);
  json.field("effects", layer.effects);
  json.key("effectNames");
  json.beginArray();
  if (layer.effects & effectInterpolate) json.value("interpolate");
  if (layer.effects & effectColorKey) json.value("colorKey");
  if (layer.effects & effectAlpha) json.value("alpha");
  json.endArray();
  json.field("blendMode", blendModeNames()[static_cast<size_t>(blendModeOf(layer.effects))].name);
  keyColorJson(json, layer.keyColor);
  json.field("totalDuration", layer.totalDuration);
  json.field("reserved1", layer.reserved1);
  json.field("reserved2", layer.reserved2);
  json.key("sources");
  json.beginArray();
  for (const Source& source : layer.sources)
    sourceJson(json, source);
  json.endArray();
  if (const LayerMotion* own = motion.layer(layer.number)) motionJson(json, *own);
  json.endObject();
}

std::string projectJson(const Project& project, int result) {
  JsonWriter json;
  json.beginObject();
  json.field("result", result);
  json.field("name", project.name);
  json.field("saveFolder", project.saveFolder);
  json.field("saveFileName", project.saveFileName);
  json.field("outputFormat", project.outputFormat);
  json.field("fps", project.fps);
  json.field("outputWidth", project.outputWidth);
  json.field("outputHeight", project.outputHeight);
  json.field("options", project.options);
  json.key("optionNames");
  json.beginArray();
  if (project.options & projectTransparentBackground) json.value("transparentBackground");
  if (project.options & projectAnimatedFile) json.value("animatedFile");
  json.endArray();
  json.key("extensions");
  json.beginObject();
  // Each key once, with the value a render uses (the first).
  std::set<std::string> written;
  for (const auto& [key, value] : project.extensions) {
    if (written.insert(key).second) json.field(key, project.setting(key));
  }
  json.endObject();
  json.field("layerCount", project.layerCount);
  json.field("encoding", encodingName(project.fileEncoding));
  // What a render of the whole animation gives, so scripts need not work it out.
  const DrawList list = buildDrawList(project);
  json.field("totalTime", list.totalTime);
  const FrameCount count = countConversionFrames(list.totalTime, project.fps);
  if (count.tooMany) {
    json.field("frames", static_cast<float>(count.estimate));  // beyond what a render accepts
  } else {
    json.field("frames", static_cast<long long>(count.frames));
  }
  // A video or an animation holds round(length x fps) frames (a series keeps its count).
  const FrameCount video =
      countConversionFrames(list.totalTime, project.fps, kMaxConversionFrames, FrameSpacing::Exact);
  json.field("videoFrames", static_cast<long long>(video.tooMany ? 0 : video.frames));
  if (project.motion.camera.keyed()) {
    json.key("camera");
    json.beginObject();
    trackJson(json, "position", project.motion.camera.position);
    trackJson(json, "zoom", project.motion.camera.zoom);
    trackJson(json, "rotation", project.motion.camera.rotation);
    json.endObject();
  }
  json.key("layers");
  json.beginArray();
  for (int i = 0; i < project.layerCount; ++i)
    layerJson(json, project.layers[static_cast<size_t>(i)], project.motion);
  json.endArray();
  json.endObject();
  return json.text();
}

}  // namespace

std::optional<int> loadForCommand(const std::string& path, Project& project, int* layersLeftOut) {
  const ProjectLoadResult loaded = loadProject(project, path);
  for (const std::string& warning : loaded.warnings)
    std::cerr << warning << '\n';
  if (layersLeftOut) *layersLeftOut = loaded.layersLeftOut;
  if (loaded.result >= 0) return std::nullopt;
  std::cerr << loaded.message << '\n';
  if (!loaded.cause.empty()) std::cerr << "pelorix-cli: " << loaded.cause << '\n';
  return exitCodeFor(loaded.result);
}

void addInfoCommand(CLI::App& app, Action& action) {
  struct Options {
    std::string project;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("info", _("Print the summary of a project file"));
  completes(command->add_option("PROJECT", options->project, _("project file (.pxp)"))->required(),
            Completion::filesWith({"pxp"}));
  command->add_flag("--json", options->json, _("print the whole project as one JSON object"));
  command->callback([options, &action] {
    action = [options] {
      Project project;
      const ProjectLoadResult loaded = loadProject(project, options->project);
      for (const std::string& warning : loaded.warnings)
        std::cerr << warning << '\n';
      if (!loaded.message.empty()) std::cerr << loaded.message << '\n';
      if (!loaded.cause.empty()) std::cerr << "pelorix-cli: " << loaded.cause << '\n';
      if (options->json) {
        std::cout << projectJson(project, loaded.result) << '\n';
      } else if (loaded.result > 0) {
        std::cout << loaded.summary;
        // What a render writes, counted as the render counts.
        const FrameCount count =
            countConversionFrames(buildDrawList(project).totalTime, project.fps);
        std::cout << formatC(_("Frames when rendered: %.0f\n"),
                             count.tooMany ? count.estimate : static_cast<double>(count.frames));
      }
      return exitCodeFor(loaded.result);
    };
  });
}

namespace {

struct SaveAsOptions {
  std::string project;
  std::string output;
  std::string encoding;
  bool dropExtra = false;
};

int runSaveAs(const SaveAsOptions& o) {
  Project project;
  int layersLeftOut = 0;
  // A malformed file would be written back shortened: refuse instead of losing layers.
  if (const auto failed = loadForCommand(o.project, project, &layersLeftOut)) return *failed;
  if (layersLeftOut > 0 && !o.dropExtra) {
    std::cerr << formatC(_("pelorix-cli: %s has %d layers more than a project holds; writing it "
                           "would lose them (--drop-extra writes the first 16)\n"),
                         o.project.c_str(), layersLeftOut);
    return kExitFailure;
  }
  if (o.encoding == "utf-8") project.fileEncoding = TextEncoding::Utf8;
  if (o.encoding == "cp932") project.fileEncoding = TextEncoding::Cp932;
  if (const std::string reason = notAFileReason(o.output); o.output != "-" && !reason.empty()) {
    std::cerr << formatC(_("pelorix-cli: cannot write %s: it is %s (- writes to standard "
                           "output)\n"),
                         o.output.c_str(), reason.c_str());
    return kExitFailure;
  }
  ProjectSaveResult saved;
  if (o.output == "-") {
    // Standard output, as it is: no file to replace.
    if (const std::optional<std::string> bytes = projectFileBytes(project, saved))
      std::cout << *bytes;
  } else {
    saved = saveProject(project, o.output);
  }
  for (const std::string& warning : saved.warnings)
    std::cerr << warning << '\n';
  if (saved.result == kSaveNothing) {
    std::cerr << _("pelorix-cli: the project has no layer; nothing was written\n");
    return kExitFailure;
  }
  if (saved.result != kSaveWritten) {
    std::cerr << saved.message << '\n';
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

void addSaveAsCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<SaveAsOptions>();
  CLI::App* command =
      app.add_subcommand("save-as", _("Load a project and write it to another file"));
  completes(command->add_option("PROJECT", options->project, _("project file to read"))->required(),
            Completion::filesWith({"pxp"}));
  completes(
      command
          ->add_option("OUT", options->output, _("project file to write (- for standard output)"))
          ->required(),
      Completion::filesWith({"pxp"}));
  withChoices(command->add_option("--encoding", options->encoding,
                                  _("text encoding of the written file (default: the one it was "
                                    "read in)")),
              {"utf-8", "cp932"});
  command->add_flag("--drop-extra", options->dropExtra,
                    _("write a project whose file has more than 16 layers with the first 16"));
  command->callback([options, &action] { action = [options] { return runSaveAs(*options); }; });
}

}  // namespace pelorix::cli
