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
  float playbackTime_ = 0.0f;
  std::unique_ptr<Playback> playback_;
  Playback::Clock clock_;
};

}  // namespace pelorix
