// SPDX-License-Identifier: GPL-3.0-or-later
// The table of output formats.
#include "output/formats.h"

#include <cmath>

#include "base/ascii.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/video_module.h"
#include "imageio/video_module_loader.h"
#include "output/animation_writer.h"
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

using Writer = std::unique_ptr<AnimationWriter> (*)(const OutputFormat&);

OutputFormat series(std::string_view name, const char* label, const ImageCodec& (*codec)(),
                    bool alpha, FormatOptionSet options, FormatLimits limits = {}) {
  return {.name = name,
          .label = label,
          .kind = OutputKind::Series,
          .keepsAlpha = alpha,
          .gif = name == "gif",
          .options = options,
          .codec = codec,
          .limits = limits};
}

OutputFormat oneFile(std::string_view name, const char* label,
                     std::span<const std::string_view> extensions, Writer writer, bool alpha,
                     FormatOptionSet options, FormatLimits limits, Container container = {}) {
  return {.name = name,
          .label = label,
          .kind = OutputKind::OneFile,
          .keepsAlpha = alpha,
          .gif = name == "gif",
          .options = options,
          .fileExtensions = extensions,
          .makeWriter = writer,
          .videoContainer = static_cast<int>(container),
          .limits = limits};
}

// The limits are the formats' own: WebP pictures are at most 16383 pixels a side, GIF delays
// count hundredths of a second in 16 bits, APNG delays are fractions of 16-bit numbers, WebP and
// Matroska time frames in milliseconds, H.264 takes a CRF up to 51 and VP9 up to 63.
const OutputFormat kFormats[] = {
    series("png", N_("PNG 連番画像"), pngCodec, true, {PngLevel}),
    series("jpg", N_("JPEG 連番画像"), jpegCodec, false, {Quality}, {.maxSide = 65500}),
    series("bmp", N_("BMP 連番画像"), bmpCodec, false, {}),
    series("webp", N_("WebP 連番画像"), webpCodec, true, {Quality}, {.maxSide = 16383}),
    series("tif", N_("TIFF 連番画像"), tiffCodec, true, {}),
    series("gif", N_("GIF 連番画像"), gifCodec, true, {}, {.maxSide = 65535}),
    oneFile("gif", N_("アニメーション GIF"), kGif, makeGifWriter, true, {},
            {.maxSide = 65535, .minFps = 100.0 / 65535.0, .maxFps = 100.0}),
    oneFile("webp", N_("アニメーション WebP"), kWebp, makeWebpWriter, true, {Quality, Lossless},
            {.maxSide = 16383, .minFps = 1000.0 / 16777215.0, .maxFps = 1000.0}),
    oneFile("apng", N_("アニメーション PNG (APNG)"), kApng, makeApngWriter, true, {PngLevel},
            {.minFps = 1.0 / 65535.0, .maxFps = 65535.0}),
    oneFile("mp4", N_("MP4 動画 (H.264)"), kMp4, makeVideoWriter, false, {Crf},
            {.maxSide = 16384, .minFps = 0.001, .maxFps = 1e6, .maxCrf = 51}, Container::Mp4),
    oneFile("webm", N_("WebM 動画 (VP9)"), kWebm, makeVideoWriter, true, {Crf},
            {.maxSide = 16384, .minFps = 0.001, .maxFps = 1000.0, .maxCrf = 63}, Container::WebM),
    oneFile("mov", N_("MOV 動画 (ProRes)"), kMov, makeVideoWriter, true, {},
            {.maxSide = 16384, .minFps = 0.001, .maxFps = 1e6}, Container::Mov),
    oneFile("mkv", N_("MKV 動画 (FFV1、劣化なし)"), kMkv, makeVideoWriter, true, {},
            {.maxSide = 65535, .minFps = 0.001, .maxFps = 1000.0}, Container::Mkv),
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

std::string formatCannotHold(const OutputFormat& format, int width, int height, float fps) {
  const FormatLimits& limits = format.limits;
  const char* label = _(format.label);
  if (limits.maxSide > 0 && (width > limits.maxSide || height > limits.maxSide)) {
    return formatC(_("%s の画面は縦横 %d ピクセルまでです (%d x %d は書けません)。"), label,
                   limits.maxSide, width, height);
  }
  const double rate = frameRateOf(fps).value();
  if ((limits.minFps > 0.0 && rate < limits.minFps * 0.999999) ||
      (limits.maxFps > 0.0 && rate > limits.maxFps * 1.000001)) {
    if (limits.maxFps <= 0.0) {
      return formatC(_("%s が正しく記録できるフレームレートは %.6g 以上です (%.6g は書けません)。"),
                     label, limits.minFps, static_cast<double>(fps));
    }
    return formatC(
        _("%s が正しく記録できるフレームレートは %.6g から %.6g までです (%.6g は書けません)。"),
        label, limits.minFps, limits.maxFps, static_cast<double>(fps));
  }
  return {};
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
