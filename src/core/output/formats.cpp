// SPDX-License-Identifier: GPL-3.0-or-later
// The table of output formats.
#include "output/formats.h"

#include <algorithm>
#include <cmath>

#include "base/ascii.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/video_module.h"
#include "imageio/video_module_loader.h"
#include "output/animation_join.h"
#include "output/animation_writer.h"
#include "output/writers.h"

namespace pelorix {
namespace {

using enum FormatOption;
using video::Container;

constexpr std::string_view kGif[] = {"gif"};
constexpr std::string_view kLottie[] = {"json"};
constexpr std::string_view kWebp[] = {"webp"};
constexpr std::string_view kApng[] = {"apng"};
constexpr std::string_view kMp4[] = {"mp4"};
constexpr std::string_view kWebm[] = {"webm"};
constexpr std::string_view kMov[] = {"mov"};
constexpr std::string_view kMkv[] = {"mkv"};
constexpr std::string_view kY4m[] = {"y4m"};
constexpr std::string_view kNut[] = {"nut"};

using VideoId = video::Codec;
constexpr VideoId kMp4Codecs[] = {VideoId::H264, VideoId::H265, VideoId::Av1};
constexpr VideoId kWebmCodecs[] = {VideoId::Vp9, VideoId::Av1};
constexpr VideoId kMovCodecs[] = {VideoId::ProRes, VideoId::H264, VideoId::H265};
constexpr VideoId kMkvCodecs[] = {VideoId::Ffv1, VideoId::H264, VideoId::H265,
                                  VideoId::Av1,  VideoId::Vp9,  VideoId::ProRes};

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
                     FormatOptionSet options, FormatLimits limits) {
  return {.name = name,
          .label = label,
          .kind = OutputKind::OneFile,
          .keepsAlpha = alpha,
          .gif = name == "gif",
          .options = options,
          .fileExtensions = extensions,
          .makeWriter = writer,
          .limits = limits};
}

// A video file of a container and its codecs (the first is its own), with a sound track.
OutputFormat video(std::string_view name, const char* label,
                   std::span<const std::string_view> extensions, Container container,
                   std::span<const VideoId> codecs, FormatLimits limits) {
  OutputFormat format = oneFile(name, label, extensions, makeVideoWriter, false, {Codec}, limits);
  format.videoContainer = static_cast<int>(container);
  format.codecs = codecs;
  format.audio = true;
  format.keepsAlpha = format.videoCodec(VideoId::Default)->keepsAlpha;
  return format;
}

// Raw pictures for a pipe into another program.
OutputFormat stream(std::string_view name, const char* label,
                    std::span<const std::string_view> extensions, Container container, bool alpha) {
  OutputFormat format = oneFile(name, label, extensions, makeVideoWriter, alpha, {},
                                {.maxSide = 65535, .minFps = 0.001, .maxFps = 1e6});
  format.videoContainer = static_cast<int>(container);
  format.stream = true;
  return format;
}

// An animation whose parts join by copying their frames.
OutputFormat joined(std::string (*read)(AnimationPart&),
                    std::string (*join)(const std::vector<AnimationPart>&, const std::string&, int,
                                        std::vector<uint8_t>&),
                    OutputFormat format) {
  format.readPart = read;
  format.joinParts = join;
  return format;
}

// Lottie: pictures, placements and keys for a player to draw at any size.
OutputFormat lottie() {
  OutputFormat format = oneFile("lottie", N_("Lottie アニメーション (JSON)"), kLottie,
                                makeLottieWriter, true, {}, {});
  format.wholeProject = true;
  return format;
}

OutputFormat streamable(OutputFormat format) {
  format.stream = true;
  return format;
}

// APNG frames after the first are small rectangles, where libdeflate's level 7 pays: files a
// third smaller than the fast writer's, and still ten times ffmpeg's speed.
OutputFormat withPngLevel(int level, OutputFormat format) {
  format.pngLevel = level;
  return format;
}

// The limits are the formats' own: WebP pictures are at most 16383 pixels a side, GIF delays
// count hundredths of a second in 16 bits, APNG delays are fractions of 16-bit numbers, WebP and
// Matroska time frames in milliseconds.
const OutputFormat kFormats[] = {
    streamable(series("png", N_("PNG 連番画像"), pngCodec, true, {PngLevel})),
    series("jpg", N_("JPEG 連番画像"), jpegCodec, false, {Quality}, {.maxSide = 65500}),
    series("bmp", N_("BMP 連番画像"), bmpCodec, false, {}),
    series("webp", N_("WebP 連番画像"), webpCodec, true, {Quality}, {.maxSide = 16383}),
    series("tif", N_("TIFF 連番画像"), tiffCodec, true, {}),
    series("gif", N_("GIF 連番画像"), gifCodec, true, {}, {.maxSide = 65535}),
    joined(readGifPart, joinGifParts,
           oneFile("gif", N_("アニメーション GIF"), kGif, makeGifWriter, true,
                   {Loop, GifPalette, Dither},
                   {.maxSide = 65535, .minFps = 100.0 / 65535.0, .maxFps = 100.0})),
    joined(readWebpPart, joinWebpParts,
           oneFile("webp", N_("アニメーション WebP"), kWebp, makeWebpWriter, true,
                   {Quality, Lossless, Loop},
                   {.maxSide = 16383, .minFps = 1000.0 / 16777215.0, .maxFps = 1000.0})),
    joined(readApngPart, joinApngParts,
           withPngLevel(
               7, oneFile("apng", N_("アニメーション PNG (APNG)"), kApng, makeApngWriter, true,
                          {PngLevel, Loop}, {.minFps = 1.0 / 65535.0, .maxFps = 65535.0}))),
    video("mp4", N_("MP4 動画 (H.264)"), kMp4, Container::Mp4, kMp4Codecs,
          {.maxSide = 16384, .minFps = 0.001, .maxFps = 1e6}),
    video("webm", N_("WebM 動画 (VP9)"), kWebm, Container::WebM, kWebmCodecs,
          {.maxSide = 16384, .minFps = 0.001, .maxFps = 1000.0}),
    video("mov", N_("MOV 動画 (ProRes)"), kMov, Container::Mov, kMovCodecs,
          {.maxSide = 16384, .minFps = 0.001, .maxFps = 1e6}),
    video("mkv", N_("MKV 動画 (FFV1、劣化なし)"), kMkv, Container::Mkv, kMkvCodecs,
          {.maxSide = 65535, .minFps = 0.001, .maxFps = 1000.0}),
    lottie(),
    stream("y4m", N_("YUV4MPEG 映像ストリーム (4:4:4)"), kY4m, Container::Y4m, false),
    stream("nut", N_("NUT 映像ストリーム (BGRA)"), kNut, Container::Nut, true),
};

std::string_view withoutDot(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  return extension;
}

}  // namespace

std::span<const std::string_view> OutputFormat::extensions() const {
  return codec ? codec().extensions() : fileExtensions;
}

const VideoCodec* OutputFormat::videoCodec(video::Codec wanted) const {
  if (codecs.empty()) return nullptr;
  if (wanted == VideoId::Default) wanted = codecs.front();
  if (std::find(codecs.begin(), codecs.end(), wanted) == codecs.end()) return nullptr;
  for (const VideoCodec& known : videoCodecs()) {
    if (known.id == wanted) return &known;
  }
  return nullptr;
}

FormatOptionSet OutputFormat::optionsWith(video::Codec wanted) const {
  const VideoCodec* chosen = videoCodec(wanted);
  return chosen ? options | chosen->options : options;
}

bool keepsTransparency(const OutputFormat& format, const EncodeOptions& encode) {
  const VideoCodec* codec = format.videoCodec(encode.codec);
  if (!codec) return format.keepsAlpha;
  if (codec->id == VideoId::ProRes) {
    return encode.proresProfile == video::ProResProfile::Default ||
           encode.proresProfile == video::ProResProfile::P4444;
  }
  return codec->keepsAlpha;
}

std::string OutputFormat::codecNames() const {
  std::string names;
  for (VideoId id : codecs) {
    for (const VideoCodec& known : videoCodecs()) {
      if (known.id != id) continue;
      if (!names.empty()) names += ", ";
      names += known.name;
    }
  }
  return names;
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

bool gifRefused(std::string_view outputFormat, bool refuseGif) {
  return refuseGif && (outputFormat == "gif" || outputFormat == "GIF");
}

bool gifFrameRefused(std::string_view path, bool refuseGif) {
  const std::string_view extension = fileExtension(path);
  return refuseGif && (extension == ".gif" || extension == ".GIF");
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

std::string joinableExtensions() {
  std::string list;
  for (const OutputFormat& format : kFormats) {
    if (format.kind != OutputKind::OneFile || !format.joinable()) continue;
    for (std::string_view extension : format.extensions()) {
      if (!list.empty()) list += " ";
      list += ".";
      list += extension;
    }
  }
  return list;
}

}  // namespace pelorix
