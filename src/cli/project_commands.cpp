// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix-cli info and save-as.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "base/i18n.h"
#include "commands.h"
#include "json_writer.h"
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

std::string projectJson(const Project& project, int result) {
  JsonWriter json;
  json.beginObject();
  json.key("result");
  json.value(result);
  json.key("name");
  json.value(project.name);
  json.key("saveFolder");
  json.value(project.saveFolder);
  json.key("saveFileName");
  json.value(project.saveFileName);
  json.key("outputFormat");
  json.value(project.outputFormat);
  json.key("fps");
  json.value(project.fps);
  json.key("outputWidth");
  json.value(project.outputWidth);
  json.key("outputHeight");
  json.value(project.outputHeight);
  json.key("layerCount");
  json.value(project.layerCount);
  json.key("encoding");
  json.value(encodingName(project.fileEncoding));
  // What a render of the whole animation gives, so scripts need not work it out.
  const DrawList list = buildDrawList(project);
  json.key("totalTime");
  json.value(list.totalTime);
  json.key("frames");
  const FrameCount count = countConversionFrames(list.totalTime, project.fps);
  if (count.tooMany) {
    json.value(static_cast<float>(count.estimate));  // beyond what a render accepts
  } else {
    json.value(static_cast<long long>(count.frames));
  }
  json.key("layers");
  json.beginArray();
  for (int i = 0; i < project.layerCount; ++i) {
    const Layer& layer = project.layers[static_cast<size_t>(i)];
    json.beginObject();
    json.key("number");
    json.value(layer.number);
    json.key("name");
    json.value(layer.name);
    json.key("visible");
    json.value(layer.visible);
    json.key("effects");
    json.value(layer.effects);
    json.key("effectNames");
    json.beginArray();
    if (layer.effects & effectInterpolate) json.value(std::string("interpolate"));
    if (layer.effects & effectColorKey) json.value(std::string("colorKey"));
    json.endArray();
    json.key("keyColor");
    json.beginObject();
    json.key("blue");
    json.value(static_cast<int>(layer.keyColor.blue));
    json.key("green");
    json.value(static_cast<int>(layer.keyColor.green));
    json.key("red");
    json.value(static_cast<int>(layer.keyColor.red));
    json.key("reserved");
    json.value(static_cast<int>(layer.keyColor.reserved));
    json.endObject();
    json.key("totalDuration");
    json.value(layer.totalDuration);
    json.key("reserved1");
    json.value(layer.reserved1);
    json.key("reserved2");
    json.value(layer.reserved2);
    json.key("sources");
    json.beginArray();
    for (const Source& s : layer.sources) {
      json.beginObject();
      json.key("file");
      json.value(s.file);
      const std::pair<const char*, float> numbers[] = {{"duration", s.duration},
                                                       {"x", s.x},
                                                       {"y", s.y},
                                                       {"scale", s.scale},
                                                       {"rotation", s.rotation},
                                                       {"opacity", s.opacity},
                                                       {"reserved1", s.reserved1},
                                                       {"reserved2", s.reserved2}};
      for (const auto& [name, number] : numbers) {
        json.key(name);
        json.value(number);
      }
      json.key("flags");
      json.value(s.flags);
      json.key("pluginText");
      json.value(s.pluginText);
      json.endObject();
    }
    json.endArray();
    json.endObject();
  }
  json.endArray();
  json.endObject();
  return json.text();
}

}  // namespace

std::optional<int> loadForCommand(const std::string& path, Project& project) {
  const ProjectLoadResult loaded = loadProject(project, path);
  if (loaded.result >= 0) return std::nullopt;
  std::cerr << loaded.message << '\n';
  return exitCodeFor(loaded.result);
}

void addInfoCommand(CLI::App& app, Action& action) {
  struct Options {
    std::string project;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand("info", _("Print the summary of a project file"));
  command->add_option("PROJECT", options->project, _("project file (.pxp)"))->required();
  command->add_flag("--json", options->json, _("print the whole project as one JSON object"));
  command->callback([options, &action] {
    action = [options] {
      Project project;
      const ProjectLoadResult loaded = loadProject(project, options->project);
      if (!loaded.message.empty()) std::cerr << loaded.message << '\n';
      if (options->json) {
        std::cout << projectJson(project, loaded.result) << '\n';
      } else if (loaded.result > 0) {
        std::cout << loaded.summary;
      }
      return exitCodeFor(loaded.result);
    };
  });
}

void addSaveAsCommand(CLI::App& app, Action& action) {
  struct Options {
    std::string project;
    std::string output;
    std::string encoding;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("save-as", _("Load a project and write it to another file"));
  command->add_option("PROJECT", options->project, _("project file to read"))->required();
  command->add_option("OUT", options->output, _("project file to write"))->required();
  command
      ->add_option("--encoding", options->encoding,
                   _("text encoding of the written file (default: the one it was read in)"))
      ->check(CLI::IsMember({"utf-8", "cp932"}));
  command->callback([options, &action] {
    action = [options] {
      Project project;
      // A malformed file would be written back shortened: refuse instead of losing layers.
      if (const auto failed = loadForCommand(options->project, project)) return *failed;
      if (options->encoding == "utf-8") project.fileEncoding = TextEncoding::Utf8;
      if (options->encoding == "cp932") project.fileEncoding = TextEncoding::Cp932;
      const ProjectSaveResult saved = saveProject(project, options->output);
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
    };
  });
}

}  // namespace pelorix::cli
