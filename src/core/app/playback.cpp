// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "base/log_sink.h"
#include "render/compositor.h"
#include "render/draw_list.h"

namespace pelorix {
namespace {

class NoLog final : public LogSink {
 public:
  void appendLog(const std::string&) override {}
};

}  // namespace

Playback::Playback(const Project& project, std::vector<int> layers, std::string projectFolder,
                   int workers, int ring, Clock clock, Span span)
    : project_(project),
      layers_(std::move(layers)),
      folder_(std::move(projectFolder)),
      clock_(std::move(clock)),
      ring_(std::max(2, ring)),
      span_(span) {
  // The frame times of a conversion: playback shows exactly the frames a render writes.
  times_ = conversionFrameTimes(buildDrawList(project_).totalTime, project_.fps);
  const int count = static_cast<int>(times_.size());
  span_.last = span_.last < 0 || span_.last >= count ? count - 1 : span_.last;
  span_.first = std::clamp(span_.first, 0, std::max(0, span_.last));
  span_.loopFirst = std::clamp(span_.loopFirst, 0, std::max(0, span_.last));
  steps_ = count == 0 ? 0 : span_.last - span_.first + 1;
  if (span_.loop && count > 0) steps_ = std::numeric_limits<int>::max() - 1;
  if (!clock_) clock_ = steadyClock();
  for (int i = 0; i < std::max(1, workers); ++i)
    workers_.emplace_back([this] { work(); });
}

Playback::Clock Playback::steadyClock() {
  const auto start = std::chrono::steady_clock::now();
  return [start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
}

Playback::~Playback() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_)
    worker.join();
}

int Playback::dueIndex() const {
  const double due = std::floor(clock_() * static_cast<double>(project_.fps));
  return due < static_cast<double>(steps_) ? static_cast<int>(due) : steps_;
}

int Playback::frameOf(int step) const {
  const int straight = span_.last - span_.first + 1;
  if (step < straight || !span_.loop) return span_.first + step;
  return span_.loopFirst + (step - straight) % (span_.last - span_.loopFirst + 1);
}

void Playback::work() {
  NoLog log;
  Compositor compositor(log);
  compositor.setProjectFolder(folder_);
  compositor.setPictureStore(&pictures_);
  std::unique_lock lock(mutex_);
  for (;;) {
    // At most `ring` frames ahead of the one shown; frames whose time has passed are skipped.
    changed_.wait(lock, [this] { return stopping_ || next_ - lastShown_ <= ring_; });
    if (stopping_ || next_ >= steps_) return;
    const int due = dueIndex();
    if (next_ < due) next_ = std::min(due, steps_);
    if (next_ >= steps_) return;
    const int index = next_++;
    DibImage canvas;
    if (!spare_.empty()) {
      canvas = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    if (!compositor.composeFrame(canvas, project_, layers_,
                                 times_[static_cast<size_t>(frameOf(index))]))
      compositor.makeBlankFrame(canvas, project_);
    lock.lock();
    ready_[index] = std::move(canvas);
  }
}

Playback::Tick Playback::take(DibImage& canvas, float& time) {
  std::unique_lock lock(mutex_);
  const int now = dueIndex();
  const int due = std::min(now, steps_ - 1);
  // Over once the last frame's time has passed and nothing due is left to show.
  if (now >= steps_ && (lastShown_ >= steps_ - 1 || ready_.empty())) {
    dropped_ += steps_ - 1 - lastShown_;
    lastShown_ = steps_ - 1;
    return Tick::Ended;
  }
  // The newest ready frame that is due; those before it are passed over.
  auto newest = ready_.end();
  for (auto it = ready_.begin(); it != ready_.end() && it->first <= due; ++it)
    newest = it;
  if (newest == ready_.end()) return Tick::Same;
  const int index = newest->first;
  dropped_ += index - lastShown_ - 1;
  lastShown_ = index;
  std::swap(canvas, newest->second);
  if (!newest->second.empty()) spare_.push_back(std::move(newest->second));
  // Frames older than the one shown are of no use any more.
  for (auto it = ready_.begin(); it != ready_.end() && it->first <= index;) {
    if (!it->second.empty()) spare_.push_back(std::move(it->second));
    it = ready_.erase(it);
  }
  time = times_[static_cast<size_t>(frameOf(index))];
  lock.unlock();
  changed_.notify_all();
  return Tick::New;
}

int Playback::passed() const {
  std::lock_guard lock(mutex_);
  return lastShown_ + 1;
}

int Playback::shown() const {
  std::lock_guard lock(mutex_);
  return lastShown_ + 1 - dropped_;
}

int Playback::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace pelorix
