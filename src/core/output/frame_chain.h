// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace pelorix {

// The pixels of consecutive frames handed between the workers that prepare them, so that a
// frame can store only what changed since the one before. Each frame's worker publishes its
// pixels before anything else, then takes its predecessor's: that frame was handed out earlier
// and is being composed, so the wait is short and cannot go round in a circle.
class FrameChain {
 public:
  using Pixels = std::shared_ptr<const std::vector<uint8_t>>;

  explicit FrameChain(int first) : first_(first) {}

  void publish(int index, Pixels pixels) {
    std::lock_guard lock(mutex_);
    frames_[index] = std::move(pixels);
    published_.notify_all();
  }

  // A frame that will never be published (its composition failed): its successor gets none.
  void lost(int index) { publish(index, nullptr); }

  // The pixels of frame index - 1: null for the first frame, or when it was lost.
  Pixels previous(int index) {
    if (index <= first_) return nullptr;
    std::unique_lock lock(mutex_);
    published_.wait(lock, [&] { return frames_.count(index - 1) != 0; });
    auto it = frames_.find(index - 1);
    Pixels pixels = std::move(it->second);
    frames_.erase(it);  // each frame has one successor
    return pixels;
  }

 private:
  int first_;
  std::mutex mutex_;
  std::condition_variable published_;
  std::map<int, Pixels> frames_;
};

// The smallest rectangle holding every pixel that differs between two frames of 4-byte pixels,
// rows `width` pixels long; empty (width 0) when none does.
struct PixelBox {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool empty() const { return width == 0; }
};
PixelBox changedBox(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                    int width, int height);

}  // namespace pelorix
