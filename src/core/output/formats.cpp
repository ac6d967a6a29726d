// SPDX-License-Identifier: GPL-3.0-or-later
// The table of output formats.
#include "output/formats.h"

#include "base/ascii.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "output/video_module.h"
#include "output/writers.h"

namespace pelorix {
namespace {

using enum FormatOption;
using video::Container;

constexpr std::string_view kGif[] = {"gif"};
constexpr std::string_view kWebp[] = {"webp"};
constexpr std::string_view kApng[] = {"apng"};
constexpr std::string_view kMp4[] = {"mp4"};
constexpr std::string_view kWebm[] = {"webm"};
constexpr std::string_view kMov[] = {"mov"};
constexpr std::string_view kMkv[] = {"mkv"};

constexpr auto kSeries = OutputKind::Series;
constexpr auto kOneFile = OutputKind::OneFile;

const OutputFormat kFormats[] = {
    // name, label, kind, keeps alpha, gif, options, codec
    {"png", N_("PNG 連番画像"), kSeries, true, false, {PngLevel}, pngCodec},
    {"jpg", N_("JPEG 連番画像"), kSeries, false, false, {Quality}, jpegCodec},
    {"bmp", N_("BMP 連番画像"), kSeries, false, false, {}, bmpCodec},
    {"webp", N_("WebP 連番画像"), kSeries, true, false, {Quality}, webpCodec},
    {"tif", N_("TIFF 連番画像"), kSeries, true, false, {}, tiffCodec},
    {"gif", N_("GIF 連番画像"), kSeries, true, true, {}, gifCodec},
    // name, label, kind, keeps alpha, gif, options, -, extensions, writer, video container
    {"gif", N_("アニメーション GIF"), kOneFile, true, true, {}, nullptr, kGif, makeGifWriter},
    {"webp",
     N_("アニメーション WebP"),
     kOneFile,
     true,
     false,
     {Quality, Lossless},
     nullptr,
     kWebp,
     makeWebpWriter},
    {"apng",
     N_("アニメーション PNG (APNG)"),
     kOneFile,
     true,
     false,
     {PngLevel},
     nullptr,
     kApng,
     makeApngWriter},
    {"mp4",
     N_("MP4 動画 (H.264)"),
     kOneFile,
     false,
     false,
     {Crf},
     nullptr,
     kMp4,
     makeVideoWriter,
     static_cast<int>(Container::Mp4)},
    {"webm",
     N_("WebM 動画 (VP9)"),
     kOneFile,
     true,
     false,
     {Crf},
     nullptr,
     kWebm,
     makeVideoWriter,
     static_cast<int>(Container::WebM)},
    {"mov",
     N_("MOV 動画 (ProRes)"),
     kOneFile,
     true,
     false,
     {},
     nullptr,
     kMov,
     makeVideoWriter,
     static_cast<int>(Container::Mov)},
    {"mkv",
     N_("MKV 動画 (FFV1、劣化なし)"),
     kOneFile,
     true,
     false,
     {},
     nullptr,
     kMkv,
     makeVideoWriter,
     static_cast<int>(Container::Mkv)},
};

struct OptionFlag {
  FormatOption option;
  const char* flag;
};
constexpr OptionFlag kOptionFlags[] = {
    {Quality, "--quality"}, {PngLevel, "--png-level"}, {Crf, "--crf"}, {Lossless, "--lossless"}};
static_assert(std::size(kOptionFlags) == kFormatOptionCount);

std::string_view withoutDot(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  return extension;
}

}  // namespace

const char* formatOptionFlag(FormatOption option) {
  return kOptionFlags[static_cast<size_t>(option)].flag;
}

std::span<const std::string_view> OutputFormat::extensions() const {
  return codec ? codec().extensions() : fileExtensions;
}

std::span<const OutputFormat> outputFormats() {
  return kFormats;
}

const OutputFormat* findOutputFormat(std::string_view extension, OutputKind kind) {
  extension = withoutDot(extension);
  for (const OutputFormat& format : kFormats) {
    if (format.kind != kind) continue;
    for (std::string_view known : format.extensions()) {
      if (equalFolded(extension, known)) return &format;
    }
  }
  return nullptr;
}

const OutputFormat* formatOfProject(std::string_view outputFormat, bool animatedFile) {
  const OutputFormat* oneFile = findOutputFormat(outputFormat, OutputKind::OneFile);
  const OutputFormat* series = findOutputFormat(outputFormat, OutputKind::Series);
  if (oneFile && (animatedFile || !series)) return oneFile;
  return series;
}

const OutputFormat* oneFileFormatOfPath(std::string_view path) {
  const std::string_view extension = fileExtension(path);
  return extension.empty() ? nullptr : findOutputFormat(extension, OutputKind::OneFile);
}

std::string formatUnavailable(const OutputFormat& format) {
  return format.isVideo() ? videoModuleProblem() : std::string();
}

std::string formatNames(OutputKind kind, std::string_view separator) {
  std::string names;
  for (const OutputFormat& format : kFormats) {
    if (format.kind != kind) continue;
    if (!names.empty()) names += separator;
    names += format.name;
  }
  return names;
}

std::string formatExtensions(OutputKind kind, std::string_view separator) {
  std::string list;
  for (const OutputFormat& format : kFormats) {
    if (format.kind != kind) continue;
    for (std::string_view extension : format.extensions()) {
      if (!list.empty()) list += separator;
      list += ".";
      list += extension;
    }
  }
  return list;
}

}  // namespace pelorix
