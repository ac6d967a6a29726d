// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imageio/dib_image.h"
#include "model/project.h"
#include "render/picture_store.h"
#include "render/timeline.h"

namespace pelorix {

// The frames to play: from `first` to `last` (inclusive; -1 the last frame), then, looping,
// from `loopFirst` to `last` again and again.
struct PlaybackSpan {
  int first = 0;
  int last = -1;
  bool loop = false;
  int loopFirst = 0;
};

// Real-time playback: worker threads compose the frames ahead into a small ring while the
// frames are shown on the project's clock (frame k from k/fps seconds after the start). A frame
// that cannot be ready in time is dropped, never waited for: the animation keeps its speed.
class Playback {
 public:
  // Seconds since playback started; steady time unless a test gives its own.
  using Clock = std::function<double()>;
  // Steady time since the call: the clock playback runs on unless given another.
  static Clock steadyClock();
  using Span = PlaybackSpan;

  Playback(const Project& project, std::vector<int> layers, std::string projectFolder, int workers,
           int ring = 8, Clock clock = {}, Span span = {});
  ~Playback();  // stops the workers
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  enum class Tick {
    Same,  // no newer frame is due and ready: keep showing the last one
    New,   // `canvas` now holds the frame to show (the one it held went back to the ring)
    Ended  // past the last frame
  };
  Tick take(DibImage& canvas, float& time);

  // The frames of the span (without a loop), and those whose time came so far: shown or dropped.
  int frames() const { return steps_; }
  int passed() const;
  int shown() const;
  int dropped() const;  // frames passed over so far
  // The frame index (of the whole animation) the frame shown `step` frames after the start is.
  int frameOf(int step) const;

 private:
  void work();
  int dueIndex() const;  // the frame whose time it is now

  Project project_;
  std::vector<int> layers_;
  std::string folder_;
  Clock clock_;
  int ring_;
  Span span_;
  int steps_ = 0;  // frames to show in all; a loop never ends
  std::vector<float> times_;
  PictureStore pictures_{true};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int, DibImage> ready_;
  std::vector<DibImage> spare_;  // canvases to compose into again
  int next_ = 0;                 // the next frame a worker takes
  int lastShown_ = -1;
  int dropped_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace pelorix
