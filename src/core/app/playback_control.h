// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "app/playback.h"

namespace pelorix {

class FrameView;
class Session;

// The movie: the frames composed ahead by workers and shown at their time on the project's
// clock, with the sound track.
class PlaybackControl {
 public:
  PlaybackControl(Session& session, FrameView& view) : session_(session), view_(view) {}
  ~PlaybackControl();
  // The play button. Starting returns the timer period in ms; 0 when nothing is to be started
  // (a press while playing stops the movie at the next tick).
  int moviePressed();
  // One timer tick; false when the movie has stopped.
  bool playbackTick();
  // Stops at once (the window closes).
  void stop();
  bool playing() const { return playing_; }
  // The time of the frame playback shows.
  float playbackTime() const { return playbackTime_; }
  // The clock playback runs on (tests give their own).
  void setPlaybackClock(Playback::Clock clock) { clock_ = std::move(clock); }

 private:
  Session& session_;
  FrameView& view_;
  bool playing_ = false;
  bool stopRequested_ = false;
  float playbackTime_ = 0.0f;
  std::unique_ptr<Playback> playback_;
  Playback::Clock clock_;
};

}  // namespace pelorix
