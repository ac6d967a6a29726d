// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imageio/dib_image.h"
#include "imageio/image_error.h"

namespace pelorix {

class ImageCodec;

// When each frame of a moving picture shows: frame k from starts[k] seconds of its own clock to
// the next start, the last one to `duration`; the animation then loops.
struct FrameTiming {
  std::vector<double> starts;  // empty: frames at a constant `rate`
  double rate = 0.0;
  int64_t frames = 0;
  double duration = 0.0;

  // The frame shown at `clock` seconds (looping; 0 for anything before the start).
  int64_t frameAt(double clock) const;
  static FrameTiming uniform(int64_t frames, double rate);
  // From each frame's own length in seconds; a frame without one (0) shows for 10 ms, as
  // browsers show a GIF frame without a delay.
  static FrameTiming fromLengths(const std::vector<double>& lengths);
};

// A picture that moves: an animated GIF, WebP or PNG, a numbered series of pictures, or a video.
// Frames are decoded one at a time, in order fastest; nothing holds more than the frame being
// made, so a two-hour video is never decoded whole. Not thread-safe: one caller at a time.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // What it is, for the log (translate with _()).
  virtual const char* kind() const = 0;
  const FrameTiming& timing() const { return timing_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Frame k (0 <= k < frames) as a 32-bit picture, blue, green, red and straight alpha (or
  // padded 24-bit colour). A picture `out` holds already is reused when its size fits.
  virtual ImageError decode(int64_t k, DibImage& out) = 0;
  // The frame to show in place of frame `failed`, which could not be decoded; -1 for none. A
  // frame that stands alone (a file of a series, a frame of a video) is replaced by the one
  // before it; an animation whose frames are drawn on each other cannot be read past the first
  // damaged frame, so every frame from there on shows the last one before it. Either way the
  // answer depends only on the file, never on which frames were asked for before.
  virtual int64_t standIn(int64_t failed) const { return failed - 1; }

 protected:
  FrameTiming timing_;
  int width_ = 0;
  int height_ = 0;
};

// One kind of moving picture and the decoder that reads it: a row of the table of moving
// sources, which openFrameSource and the source dialog's file filters both go by.
struct MovingSourceKind {
  const char* label;                             // for file dialogs (translate with _())
  std::span<const std::string_view> extensions;  // what file dialogs offer for it
  bool picked = true;  // chosen as a file in a dialog (a series is named by its pattern instead)
  // Whether the file is of this kind, from its name, the first bytes of its content and the
  // still-picture codec that recognised them (null: none did).
  bool (*matches)(const std::string& path, const ImageCodec* codec, std::string_view head);
  // Opens it (`seriesRate`: the frame rate of a numbered series); null with `error` saying why.
  std::unique_ptr<FrameSource> (*open)(const std::string& path, double seriesRate,
                                       ImageError& error);
};
// Every kind, in the order they are tried.
std::span<const MovingSourceKind> movingSourceKinds();

// `path` as a moving picture: the first kind of the table that matches it (a numbered series
// when its name holds '#', one digit each, the first frame the lowest number present, at
// `seriesRate` frames per second; an animated GIF, WebP or PNG of more than one frame; a file
// that is no picture Pelorix reads and that the video module opens). Null for a still picture,
// and for anything else with `error` saying why when it is not a picture at all.
std::unique_ptr<FrameSource> openFrameSource(const std::string& path, double seriesRate,
                                             ImageError& error);

// Makes `image` a top-down 32-bit picture of this size and kind, keeping the one it holds when
// it is one already (its pixels are then left as they were); false when memory is short.
bool reuseOrCreate(DibImage& image, int width, int height, int flags);
// `out` made (or reused as) a picture with alpha holding `canvas`: B, G, R, A pixels, rows
// `width` pixels long.
ImageError copyCanvas(const std::vector<uint32_t>& canvas, int width, int height, DibImage& out);

// Whether a file name names a numbered series ("shot####.png"), and the files it names in the
// order of their numbers.
bool isSeriesName(const std::string& path);
std::vector<std::string> seriesFiles(const std::string& pattern);
// Whether a file may move, from its name and first bytes only (for memory estimates): a file of
// a kind of the table (a GIF of one frame too, which is only known once it is read).
bool mayMove(const std::string& path);
// The size of the pictures a file shows, from headers only: a still picture's, an animation's
// canvas, a series' first file; false when the headers do not tell (a video).
bool probeFrameSize(const std::string& path, int& width, int& height);

// The makers of each kind, for openFrameSource (each in a file of its own).
std::unique_ptr<FrameSource> openGifFrames(std::string bytes, ImageError& error);
std::unique_ptr<FrameSource> openWebpFrames(std::string bytes, ImageError& error);
std::unique_ptr<FrameSource> openApngFrames(std::string bytes, ImageError& error);
std::unique_ptr<FrameSource> openVideoFrames(const std::string& path, ImageError& error);

}  // namespace pelorix
