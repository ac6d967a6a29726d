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

// Real-time playback: worker threads compose the frames ahead into a small ring while the
// frames are shown on the project's clock (frame k from k/fps seconds after the start). A frame
// that cannot be ready in time is dropped, never waited for: the animation keeps its speed.
class Playback {
 public:
  // Seconds since playback started; steady time unless a test gives its own.
  using Clock = std::function<double()>;

  Playback(const Project& project, std::vector<int> layers, std::string projectFolder, int workers,
           int ring = 8, Clock clock = {});
  ~Playback();  // stops the workers
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  enum class Tick {
    Same,  // no newer frame is due and ready: keep showing the last one
    New,   // `canvas` now holds the frame to show (the one it held went back to the ring)
    Ended  // past the last frame
  };
  Tick take(DibImage& canvas, float& time);

  int frames() const { return frames_; }
  int shown() const;
  int dropped() const;  // frames passed over so far

 private:
  void work();
  int dueIndex() const;  // the frame whose time it is now

  Project project_;
  std::vector<int> layers_;
  std::string folder_;
  Clock clock_;
  int ring_;
  int frames_ = 0;
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
