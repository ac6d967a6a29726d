// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The boundary between Pelorix and its video module (pelorix-video.so), which holds everything
// that uses FFmpeg's libraries. The module is loaded only when a video is written or read, so
// that the programs start without loading FFmpeg and the hundred libraries it brings. Only this
// header's types cross the boundary; the module uses nothing else of Pelorix.

namespace pelorix::video {

// Bumped whenever anything in this header changes; the module must match.
inline constexpr int kInterfaceVersion = 6;

// Y4m and Nut are streams of raw pictures (4:4:4 YUV, and B, G, R, A), for pipes.
enum class Container { Mp4 = 1, WebM, Mov, Mkv, Y4m, Nut };
// Default: the container's own (MP4 H.264, WebM VP9, MOV ProRes, MKV FFV1).
enum class Codec { Default = 0, H264, H265, Av1, Vp9, ProRes, Ffv1 };
// The encoder's trade of speed for size, on one scale for every encoder.
enum class Preset { Default = 0, Fast, Medium, Slow };
enum class ProResProfile { Default = 0, Proxy, Lt, Standard, Hq, P4444 };

// A sound track put beside the frames: decoded, resampled and encoded for the container,
// trimmed or padded with silence to exactly the frames' length.
struct Audio {
  std::string path;     // empty: no sound
  double offset = 0.0;  // seconds from the animation's start to the sound's (negative: cut)
  double volume = 1.0;  // gain
};

struct Settings {
  std::string path;  // the file to write ("pipe:1": standard output)
  Container container = Container::Mp4;
  Codec codec = Codec::Default;
  int width = 0;
  int height = 0;
  int rateNum = 30;  // the frame rate as a fraction
  int rateDen = 1;
  int64_t frames = 0;        // how many will come (the sound's length)
  int64_t firstFrame = 0;    // the number of the first (a part of a render): its time stamp
  int64_t totalFrames = 0;   // of the whole render the file is a part of (0: this one alone)
  std::string comment;       // the container's comment ("": none)
  bool transparent = false;  // frames carry alpha
  int crf = -1;              // -1: the codec's default
  int64_t bitrate = 0;       // bits per second instead of a CRF; 0: none
  Preset preset = Preset::Default;
  ProResProfile proresProfile = ProResProfile::Default;
  Audio audio;
  // Set by the caller to stop: finish() then gives up between packets and says "stopped".
  const std::atomic<bool>* stop = nullptr;
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
  // Frames in order; then finish() completes the file (an encoder that looks ahead writes the
  // frames it held back; Settings::stop ends that early).
  virtual std::string write(std::unique_ptr<Frame> frame) = 0;
  virtual std::string finish() = 0;
  // Why the sound asked for is not in the file, or only partly (a missing or damaged file): the
  // video is written without it. "" when it is there, or none was asked for.
  virtual std::string audioProblem() const = 0;
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
  // The sound of any file FFmpeg reads, whole (up to `maxSeconds`), as mono samples at `rate`
  // (the timeline's waveform); "" or why not. Needs no open().
  virtual std::string readAudio(const std::string& path, int rate, double maxSeconds,
                                std::vector<float>& mono) = 0;
};

// What one file of a render holds, as far as putting parts together needs it.
struct PartInfo {
  std::string comment;  // the container's comment ("" when it has none)
  std::string codec;    // the video codec's name
  int width = 0;
  int height = 0;
  int rateNum = 0;  // the frame rate as a fraction
  int rateDen = 1;
  // The encoder's parameters and the sound's format: parts that differ here cannot share one
  // stream.
  std::string streams;
};

// Puts parts of one render together by copying their packets: no frame is encoded again.
class Joiner {
 public:
  virtual ~Joiner() = default;
  // "" when `path` is a video file the module can read; otherwise why not.
  virtual std::string probe(const std::string& path, PartInfo& info) = 0;
  // Copies `parts`, in this order, into `output` (a container of the parts' kind). Each part
  // must hold `frames[i]` frames: one that holds fewer, or whose last packet is cut short, is
  // damaged, and the join fails naming it ("part N: ..." with N counted from 1). The time stamps
  // are kept as they are (each part holds the sound packets of its own stretch of the whole).
  // `comment` becomes the output's comment. When `*stop` becomes true the join gives up and
  // says "stopped".
  virtual std::string join(const std::vector<std::string>& parts,
                           const std::vector<int64_t>& frames, const std::string& output,
                           Container container, const std::string& comment,
                           const std::atomic<bool>* stop) = 0;
};

// The module's entry points: a new encoder, decoder or joiner, or null when `version` is not
// its own.
using MakeEncoder = Encoder* (*)(int version);
using MakeDecoder = Decoder* (*)(int version);
using MakeJoiner = Joiner* (*)(int version);
inline constexpr const char* kMakeEncoderSymbol = "pelorix_video_make_encoder";
inline constexpr const char* kMakeDecoderSymbol = "pelorix_video_make_decoder";
inline constexpr const char* kMakeJoinerSymbol = "pelorix_video_make_joiner";
inline constexpr const char* kModuleFile = "pelorix-video.so";

}  // namespace pelorix::video
