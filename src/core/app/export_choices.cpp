// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/export_choices.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "base/ascii.h"
#include "base/c_locale.h"
#include "base/paths.h"
#include "imageio/codec.h"
#include "output/formats.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

int indexOf(const OutputFormat* format) {
  const auto formats = outputFormats();
  return format ? static_cast<int>(format - formats.data()) : 0;
}

std::map<std::string, std::string> fields(const std::string& text) {
  std::map<std::string, std::string> found;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\t', at);
    if (end == std::string::npos) end = text.size();
    const std::string field = text.substr(at, end - at);
    const size_t colon = field.find(':');
    if (colon != std::string::npos) found[field.substr(0, colon)] = field.substr(colon + 1);
    at = end + 1;
  }
  return found;
}

}  // namespace

ExportValues defaultExport(const Project& project, const std::string& projectFolder) {
  ExportValues values;
  const OutputFormat* format =
      formatOfProject(project.outputFormat, (project.options & projectAnimatedFile) != 0);
  if (!format) format = &outputFormats().front();
  values.format = indexOf(format);
  values.projectFolder = projectFolder;
  const std::string folder = toFileSystemPath(project.saveFolder);
  values.path = format->kind == OutputKind::OneFile
                    ? joinPath(folder, toFileSystemPath(project.saveFileName) + "." +
                                           std::string(format->extension()))
                    : folder;
  values.encode.pngLevel = format->pngLevel;
  values.transparent = (project.options & projectTransparentBackground) != 0;
  const DrawList list = buildDrawList(project);
  const FrameCount count = countConversionFrames(list.totalTime, project.fps);
  values.frameCount = count.tooMany ? 0 : static_cast<int>(count.frames);
  values.first = 0;
  values.last = std::max(0, values.frameCount - 1);
  values.width = project.outputWidth;
  values.height = project.outputHeight;
  values.fps = project.fps;
  return values;
}

std::string exportChoicesText(const ExportValues& v, const Project& project) {
  const OutputFormat& format = outputFormats()[static_cast<size_t>(v.format)];
  std::string text = formatC("format:%.*s\tkind:%d\tpath:%s", static_cast<int>(format.name.size()),
                             format.name.data(), static_cast<int>(format.kind), v.path.c_str());
  // Every encoder setting by its row, whether the format uses it or not: another format chosen
  // next time finds its own as it was left.
  for (const FormatOptionInfo& info : formatOptions()) {
    text += formatC("\t%.*s:%s", static_cast<int>(info.savedKey.size()), info.savedKey.data(),
                    info.get(v.encode).c_str());
  }
  text += formatC("\ttransparent:%d\taudio:%d", v.transparent ? 1 : 0, v.audio ? 1 : 0);
  // Another size or rate only when it is not the project's.
  if (v.width != project.outputWidth || v.height != project.outputHeight)
    text += formatC("\tsize:%dx%d", v.width, v.height);
  if (v.fps != project.fps) text += formatC("\tfps:%.6g", static_cast<double>(v.fps));
  return text;
}

void applyExportChoices(const std::string& text, ExportValues& v) {
  const std::map<std::string, std::string> f = fields(text);
  if (const auto it = f.find("format"); it != f.end()) {
    const auto kind = f.find("kind");
    const bool oneFile = kind != f.end() && kind->second == "1";
    if (const OutputFormat* format =
            findOutputFormat(it->second, oneFile ? OutputKind::OneFile : OutputKind::Series)) {
      v.format = indexOf(format);
    }
  }
  if (const auto it = f.find("path"); it != f.end()) v.path = it->second;
  // A value that no longer reads (a codec this version lacks) leaves the setting as it was.
  for (const FormatOptionInfo& info : formatOptions()) {
    const auto it = f.find(std::string(info.savedKey));
    if (it == f.end()) continue;
    EncodeOptions read = v.encode;
    if (info.set(it->second, read, info.flag().c_str()).empty()) v.encode = read;
  }
  auto toggle = [&f](const char* key, bool& target) {
    if (const auto it = f.find(key); it != f.end()) target = it->second != "0";
  };
  toggle("transparent", v.transparent);
  toggle("sound", v.audio);  // the key of earlier versions
  toggle("audio", v.audio);
  if (const auto it = f.find("size"); it != f.end()) {
    int width = 0, height = 0;
    if (std::sscanf(it->second.c_str(), "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
      v.width = width;
      v.height = height;
    }
  }
  if (const auto it = f.find("fps"); it != f.end()) {
    double fps = 0.0;
    if (parseNumber(it->second, fps) && fps > 0.0) v.fps = static_cast<float>(fps);
  }
}

std::string exportPath(const ExportValues& values) {
  const OutputFormat& format = outputFormats()[static_cast<size_t>(values.format)];
  if (format.kind != OutputKind::OneFile) return values.path;
  const std::string_view extension = fileExtension(values.path);
  if (!extension.empty() && findOutputFormat(extension, OutputKind::OneFile) == &format)
    return values.path;
  return values.path + "." + std::string(format.extension());
}

ExportRun exportRun(const ExportValues& values, const Project& project) {
  ExportRun run;
  run.project = project;
  ConversionSettings& s = run.settings;
  const OutputFormat& format = outputFormats()[static_cast<size_t>(values.format)];
  s.projectFolder = values.projectFolder;
  s.encode = values.encode;
  // Every setting the dialog shows for the format was chosen there.
  for (int i = 0; i < kFormatOptionCount; ++i) {
    const auto option = static_cast<FormatOption>(i);
    if (format.optionsWith(values.encode.codec).has(option)) s.given.push_back(option);
  }
  const std::string path = exportPath(values);
  if (format.kind == OutputKind::OneFile) {
    s.oneFile = path;
  } else {
    s.outputFolder = path;
    s.format = std::string(format.name);
    run.project.options &= ~projectAnimatedFile;
  }
  s.transparentBackground = values.transparent;
  if (values.first > 0 || values.last < values.frameCount - 1)
    s.frames = std::make_pair(values.first, values.last);
  if (values.width != project.outputWidth || values.height != project.outputHeight)
    s.size = std::make_pair(values.width, values.height);
  if (values.fps != project.fps) s.fps = values.fps;
  if (!values.audio) s.audio = AudioTrack{};
  return run;
}

}  // namespace pelorix
