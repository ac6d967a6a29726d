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
  const EncodeOptions& e = v.encode;
  std::string text = formatC(
      "format:%.*s\tkind:%d\tpath:%s\tquality:%d\tpngLevel:%d\tcrf:%d\tlossless:%d\tcodec:%d\t"
      "preset:%d\tbitrate:%lld\tprores:%d\tloop:%d\tglobalPalette:%d\tdither:%g\ttransparent:%d\t"
      "even:%d\tsound:%d",
      static_cast<int>(outputFormats()[static_cast<size_t>(v.format)].name.size()),
      outputFormats()[static_cast<size_t>(v.format)].name.data(),
      static_cast<int>(outputFormats()[static_cast<size_t>(v.format)].kind), v.path.c_str(),
      e.quality, e.pngLevel, e.crf, e.lossless ? 1 : 0, static_cast<int>(e.codec),
      static_cast<int>(e.preset), static_cast<long long>(e.bitrate),
      static_cast<int>(e.proresProfile), e.loop, e.globalPalette ? 1 : 0,
      static_cast<double>(e.dither), v.transparent ? 1 : 0, static_cast<int>(v.even),
      v.sound ? 1 : 0);
  // Another size or rate only when it is not the project's.
  if (v.width != project.outputWidth || v.height != project.outputHeight)
    text += formatC("\tsize:%dx%d", v.width, v.height);
  if (v.fps != project.fps) text += formatC("\tfps:%.6g", static_cast<double>(v.fps));
  return text;
}

void applyExportChoices(const std::string& text, ExportValues& v) {
  const std::map<std::string, std::string> f = fields(text);
  auto number = [&f](const char* key, auto& target) {
    const auto it = f.find(key);
    if (it != f.end())
      target = static_cast<std::remove_reference_t<decltype(target)>>(cAtof(it->second));
  };
  if (const auto it = f.find("format"); it != f.end()) {
    int kind = 0;
    number("kind", kind);
    if (const OutputFormat* format =
            findOutputFormat(it->second, kind == 1 ? OutputKind::OneFile : OutputKind::Series)) {
      v.format = indexOf(format);
    }
  }
  if (const auto it = f.find("path"); it != f.end()) v.path = it->second;
  EncodeOptions& e = v.encode;
  number("quality", e.quality);
  number("pngLevel", e.pngLevel);
  number("crf", e.crf);
  number("loop", e.loop);
  number("dither", e.dither);
  number("bitrate", e.bitrate);
  int flag = 0;
  auto toggle = [&](const char* key, bool& target) {
    if (f.count(key) == 0) return;
    number(key, flag);
    target = flag != 0;
  };
  toggle("lossless", e.lossless);
  toggle("globalPalette", e.globalPalette);
  toggle("transparent", v.transparent);
  toggle("sound", v.sound);
  // Choices of a list: their number, kept within the list.
  auto choose = [&](const char* key, int last, auto& target) {
    if (f.count(key) == 0) return;
    int choice = 0;
    number(key, choice);
    target = static_cast<std::remove_reference_t<decltype(target)>>(std::clamp(choice, 0, last));
  };
  choose("codec", 6, e.codec);
  choose("preset", 3, e.preset);
  choose("prores", 5, e.proresProfile);
  choose("even", 1, v.even);
  if (const auto it = f.find("size"); it != f.end()) {
    int width = 0, height = 0;
    if (std::sscanf(it->second.c_str(), "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
      v.width = width;
      v.height = height;
    }
  }
  if (f.count("fps")) number("fps", v.fps);
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
  s.even = values.even;
  if (!values.sound) s.sound = SoundTrack{};
  return run;
}

}  // namespace pelorix
