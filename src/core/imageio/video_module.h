// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The boundary between Pelorix and its video module (pelorix-video.so), which holds everything
// that uses FFmpeg's libraries. The module is loaded only when a video is written or read, so
// that the programs start without loading FFmpeg and the hundred libraries it brings. Only this
// header's types cross the boundary; the module uses nothing else of Pelorix.

namespace pelorix::video {

// Bumped whenever anything in this header changes; the module must match.
inline constexpr int kInterfaceVersion = 2;

enum class Container { Mp4 = 1, WebM, Mov, Mkv };

struct Settings {
  std::string path;  // the file to write (Pelorix passes a temporary name and renames it)
  Container container = Container::Mp4;
  int width = 0;
  int height = 0;
  int rateNum = 30;  // the frame rate as a fraction
  int rateDen = 1;
  bool transparent = false;  // frames carry alpha
  int crf = -1;              // -1: the container's default
};

// A frame converted into the encoder's pixel format.
class Frame {
 public:
  virtual ~Frame() = default;
};

// Errors come back as texts ("" for success).
class Encoder {
 public:
  virtual ~Encoder() = default;
  virtual std::string open(const Settings& settings) = 0;
  // Pixels as B, G, R and X (or straight A when transparent), rows `stride` bytes apart. May
  // run on several threads at once.
  virtual std::string prepare(const uint8_t* pixels, int stride,
                              std::unique_ptr<Frame>& out) const = 0;
  // Frames in order; then finish() completes the file.
  virtual std::string write(std::unique_ptr<Frame> frame) = 0;
  virtual std::string finish() = 0;
};

// What a video file holds, as far as Pelorix shows it: frames at a constant rate (a file of
// varying rate is shown at its average).
struct VideoInfo {
  int width = 0;
  int height = 0;
  double fps = 0.0;
  int64_t frames = 0;
  bool alpha = false;  // the frames carry transparency
};

// Reads the frames of one video file. Not thread-safe: one caller at a time.
class Decoder {
 public:
  virtual ~Decoder() = default;
  // "" when the file has a video stream the module can decode; otherwise why not.
  virtual std::string open(const std::string& path, VideoInfo& info) = 0;
  // Frame `index` (0 is the first, counted at info.fps) as B, G, R, A bytes (straight alpha, 255
  // without transparency), rows `stride` bytes apart. Reading forward is cheap; going back, or
  // far ahead, seeks to the key frame before the frame and decodes from there.
  virtual std::string read(int64_t index, uint8_t* bgra, int stride) = 0;
};

// The module's entry points: a new encoder or decoder, or null when `version` is not its own.
using MakeEncoder = Encoder* (*)(int version);
using MakeDecoder = Decoder* (*)(int version);
inline constexpr const char* kMakeEncoderSymbol = "pelorix_video_make_encoder";
inline constexpr const char* kMakeDecoderSymbol = "pelorix_video_make_decoder";
inline constexpr const char* kModuleFile = "pelorix-video.so";

}  // namespace pelorix::video
