// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "imageio/dib_image.h"
#include "imageio/image_error.h"
#include "imageio/video_module.h"
#include "output/encode_options.h"

namespace pelorix {

struct Project;

// A frame rate as a fraction: 29.97, 59.94 and 23.976 as the NTSC rates (30000/1001, ...), rates
// of two decimals (as the project file stores them) exactly, others as the nearest fraction of
// numbers up to 2^30; 0/1 for a rate that is not a positive number.
struct Rational {
  int num = 0;
  int den = 1;
  bool valid() const { return num > 0 && den > 0; }
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
};
Rational frameRateOf(float fps);

// A sound track for a video: the file, where it starts (seconds from the animation's start;
// negative cuts its beginning) and its gain. The record the video module takes, passed down from
// the project's settings unchanged.
using AudioTrack = video::Audio;

struct AnimationSettings {
  std::string path;  // the file to make; written under a temporary name and renamed at the end;
                     // "-" for standard output
  int width = 0;
  int height = 0;
  float fps = 30.0f;
  int frames = 0;            // how many frames will come
  bool transparent = false;  // frames carry alpha (premultiplied canvas)
  EncodeOptions encode;
  int firstIndex = 0;       // the number of the first frame (a part of a render starts later)
  int totalFrames = 0;      // the frames of the whole render (0: these are all)
  std::string partComment;  // where the file sits in its render (output/parts.h)
  AudioTrack audio;
  // The project itself, for a format that describes it rather than its frames (Lottie), and the
  // folder its image names are looked up in.
  const Project* project = nullptr;
  std::string projectFolder;
  // Set to stop: a writer whose finish() takes long (a video encoder writing the frames it
  // held back) gives up and fails.
  const std::atomic<bool>* stop = nullptr;
};

// A frame made ready for writing (converted, quantised or compressed) by a worker.
class PreparedFrame {
 public:
  virtual ~PreparedFrame() = default;
};

// Writes the frames of an animation into one file: prepare() may run on several threads at
// once, write() takes the prepared frames in order, finish() completes the file and moves it
// into place. A writer dropped before finish() removes what it wrote. The format table
// (formats.h) makes them.
class AnimationWriter {
 public:
  virtual ~AnimationWriter() = default;
  virtual ImageError open(const AnimationSettings& settings) = 0;
  // Frame `index` (numbered from AnimationSettings::firstIndex).
  virtual ImageError prepare(const DibImage& frame, int index,
                             std::unique_ptr<PreparedFrame>& out) const = 0;
  // Frame `index` will not be prepared (its composition failed).
  virtual void frameLost(int /*index*/) const {}
  virtual ImageError write(std::unique_ptr<PreparedFrame> frame) = 0;
  virtual ImageError finish() = 0;
  // Why the sound track is not in the file, or only partly; empty when it is, or none was
  // asked for. Known after open(), and after finish() for damage found on the way.
  virtual std::string audioProblem() const { return {}; }
  // Lines for the run's log after finish(): what the file could not hold as it is.
  virtual std::vector<std::string> takeLog() { return {}; }
};

}  // namespace pelorix
