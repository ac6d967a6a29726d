// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imageio/video_module.h"
#include "output/encode_options.h"
#include "output/format_options.h"
#include "output/video_codecs.h"

namespace pelorix {

class AnimationWriter;
struct AnimationPart;
class ImageCodec;

// A numbered series of image files, or the whole animation in one file.
enum class OutputKind { Series, OneFile };

// What a format can hold.
struct FormatLimits {
  int maxSide = 0;      // the largest width or height; 0: the picture limits only
  double minFps = 0.0;  // the frame rates it times exactly; 0: any
  double maxFps = 0.0;
};

// One output format: everything Pelorix knows about it is here. Help texts, file filters,
// completions, checks and messages are made from these rows; a run looks its format up once.
struct OutputFormat {
  std::string_view name;  // what --format and the project's output format say: "png", "mp4"
  const char* label;      // for dialogs and help (translate with _())
  OutputKind kind;
  bool keepsAlpha;  // a transparent background stays transparent
  bool gif;         // refused while GIF output is switched off
  FormatOptionSet options;
  // Series: the codec that writes each frame; its extensions name the files.
  const ImageCodec& (*codec)() = nullptr;
  // One file: its extensions (the usual one first) and its writer.
  std::span<const std::string_view> fileExtensions = {};
  std::unique_ptr<AnimationWriter> (*makeWriter)(const OutputFormat& format) = nullptr;
  int videoContainer = 0;  // a video::Container for the video module; 0 when not a video
  FormatLimits limits;
  // Videos: the codecs the container takes, its own first.
  std::span<const video::Codec> codecs = {};
  int pngLevel = 1;           // the --png-level it is written at when none is given
  bool audio = false;         // carries a sound track
  bool stream = false;        // can be written to standard output as it is made
  bool wholeProject = false;  // the file describes the project, not its frames: none is composed
  // An animation's parts of one render (output/parts.h) put together by copying their frames:
  // reading one part ("" or why it cannot be read), and writing the parts, in order, as one
  // file of `frames` frames with `comment` ("" or why not). Null for a format whose parts do not
  // join this way (videos join by the video module's stream copy).
  std::string (*readPart)(AnimationPart& part) = nullptr;
  std::string (*joinParts)(const std::vector<AnimationPart>& parts, const std::string& comment,
                           int frames, std::vector<uint8_t>& out) = nullptr;

  // The extensions that select this format, the usual one first.
  std::span<const std::string_view> extensions() const;
  std::string_view extension() const { return extensions().front(); }
  bool isVideo() const { return videoContainer != 0; }
  // Whether `pelorix-cli join` puts parts of this format together.
  bool joinable() const { return (isVideo() && !stream) || readPart != nullptr; }
  // The codec a run writes with (the container's own for Default), or null when the format is
  // no video or the container does not take `wanted`.
  const VideoCodec* videoCodec(video::Codec wanted) const;
  // The settings that apply with a codec (a video's codec adds its own).
  FormatOptionSet optionsWith(video::Codec wanted) const;
  // The codecs' names joined by ", ".
  std::string codecNames() const;
};

// Whether frames written with these settings keep a transparent background (ProRes only with its
// 4444 profile); elsewhere they are written over black.
bool keepsTransparency(const OutputFormat& format, const EncodeOptions& encode);

// Every format, series first, in the order dialogs list them.
std::span<const OutputFormat> outputFormats();

// The format of an extension ("png", ".PNG"; letters A-Z folded) of one kind, or null.
const OutputFormat* findOutputFormat(std::string_view extension, OutputKind kind);
// The format a project names: a one-file type by its extension (mp4, apng, ...), gif and webp as
// one file when `animatedFile`, any other image type as a series; null when unknown.
const OutputFormat* formatOfProject(std::string_view outputFormat, bool animatedFile);
// The one-file format of a file name's extension ("anim.gif" is an animated GIF), or null.
const OutputFormat* oneFileFormatOfPath(std::string_view path);

// Whether a render into the project's output format `outputFormat` is refused while GIF output is
// switched off: "gif" and "GIF" exactly, as the settings switch has always been read; and the
// same for the extension of a saved frame (".gif" and ".GIF").
bool gifRefused(std::string_view outputFormat, bool refuseGif);
bool gifFrameRefused(std::string_view path, bool refuseGif);

// Why the format cannot be written by this installation (a video without the video module);
// empty when it can.
std::string formatUnavailable(const OutputFormat& format);
// Why the format cannot hold frames of this size at this rate, saying what it can; empty when
// it can.
std::string formatCannotHold(const OutputFormat& format, int width, int height, float fps);

// The names of one kind's formats joined by `separator` ("png, jpg, bmp"), and every extension
// of them with a dot (".gif .webp .apng").
std::string formatNames(OutputKind kind, std::string_view separator = ", ");
std::string formatExtensions(OutputKind kind, std::string_view separator = " ");
// The extensions of the formats whose parts join (".mp4 .webm ... .apng").
std::string joinableExtensions();

}  // namespace pelorix
