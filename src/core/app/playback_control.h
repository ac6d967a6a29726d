// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>

#include "app/playback.h"

namespace pelorix {

class FrameView;
class Session;

// The movie: the frames composed ahead by workers and shown at their time on the project's
// clock, with the sound track. While the sound plays the clock follows it: however late the
// sound starts and however its device's clock drifts, pictures and sound stay within half a
// frame of each other.
class PlaybackControl {
 public:
  PlaybackControl(Session& session, FrameView& view) : session_(session), view_(view) {}
  ~PlaybackControl();
  // The play button: the movie from the start, the slider left alone. Starting returns the timer
  // period in ms; 0 when nothing is to be started (a press while playing stops the movie at the
  // next tick).
  int moviePressed();
  // Play from here: from the playhead to the end of the work area (of the animation without
  // one), the playhead and the time moving with the movie; with `loop`, round the work area
  // until stopped. A press while playing stops, as the play button's does.
  int playFromHere(bool loop);
  // Whether Play from here goes round the work area.
  bool loop() const { return loop_; }
  void setLoop(bool loop);
  // Whether the playhead moves with the movie.
  bool following() const { return following_; }
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
  bool following_ = false;
  bool loop_ = false;
  int start(const Playback::Span& span, bool follow);
  void playAudioFrom(float t);
  // Pulls the clock onto the sound when they are more than half a frame apart.
  void followSound();
  float playbackTime_ = 0.0f;
  Playback::Clock clock_;
  // Playback's clock: the steady one (or the test's) plus the pull, read by its workers too.
  Playback::Clock steady_;
  std::atomic<double> soundPull_ = 0.0;
  double startTime_ = 0.0;  // the animation's time where the clock started
  double lastSound_ = -1.0;
  bool wrapped_ = false;                // round the loop: the sound starts over with the pictures
  std::unique_ptr<Playback> playback_;  // last: its workers read the clock until it is gone
};

}  // namespace pelorix
