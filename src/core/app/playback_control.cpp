// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/playback_control.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "app/frame_view.h"
#include "app/session.h"
#include "app/timeline_editing.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/system_memory.h"
#include "output/run_plan.h"

namespace pelorix {

PlaybackControl::~PlaybackControl() = default;

int PlaybackControl::moviePressed() {
  return start({}, false);
}

int PlaybackControl::playFromHere(bool loop) {
  const Project& project = session_.project();
  if (playing_ || !(project.fps > 0.0f)) return start({}, false);  // stops, or says why not
  const int frames = static_cast<int>(conversionFrameTimes(view_.totalTime(), project.fps).size());
  const auto [areaFirst, areaLast] = workAreaFrames(project, frames);
  const int here = std::clamp(static_cast<int>(std::lround(view_.currentTime() * project.fps)), 0,
                              std::max(0, frames - 1));
  Playback::Span span;
  span.loop = loop;
  span.loopFirst = areaFirst;
  span.last = areaLast;
  // From the playhead when it is in the area; a playhead past its end starts it over.
  span.first = here <= areaLast && (here >= areaFirst || !loop) ? here : areaFirst;
  if (here > areaLast && !loop) span.last = frames - 1;
  return start(span, true);
}

int PlaybackControl::start(const Playback::Span& span, bool follow) {
  if (playing_) {
    stopRequested_ = true;  // the next tick stops the movie
    return 0;
  }
  const Project& project = session_.project();
  if (!(project.fps > 0.0f)) {
    session_.port().notice(formatC(_("フレームレートが %.2f のため再生できません。"),
                                   static_cast<double>(project.fps)));
    return 0;
  }
  const int period = truncToInt(1000.0 / static_cast<double>(project.fps));
  if (period <= 0) {
    // Above 1000 frames per second there is no timer period: the start is refused.
    session_.port().appendLog(
        formatC(_("フレームレート %.2f では再生できません。"), static_cast<double>(project.fps)));
    return 0;
  }
  // The workers compose ahead; the user-interface thread keeps one core for showing frames.
  const int workers = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
  // Composed at the size the window shows it, pictures stepped over from their smaller copies.
  Project shown = project;
  view_.viewScale().applyForPlayback(shown);
  const uint64_t need =
      estimateMemory(shown, view_.drawList(), session_.projectFolder(), false).total(workers);
  if (const uint64_t available = availableMemory(); available != 0 && need > available) {
    session_.port().notice(
        formatC(_("再生には約 %.0f MB のメモリが必要ですが、使えるのは %.0f MB です。"),
                static_cast<double>(need) / 1048576.0, static_cast<double>(available) / 1048576.0));
    return 0;
  }
  playing_ = true;
  stopRequested_ = false;
  following_ = follow;
  view_.setPlaying(true);
  view_.onion().clear();
  steady_ = clock_ ? clock_ : Playback::steadyClock();
  soundPull_ = 0.0;
  lastSound_ = -1.0;
  wrapped_ = false;
  playbackTime_ = static_cast<float>(span.first) / project.fps;
  startTime_ = static_cast<double>(span.first) / static_cast<double>(project.fps);
  playback_ = std::make_unique<Playback>(
      shown, view_.drawList(), session_.projectFolder(), workers, 8,
      [this] { return steady_() + soundPull_.load(); }, span);
  session_.port().refresh(RefreshButtons);
  playAudioFrom(playbackTime_);
  // Ticks twice a frame or more often, so a frame is shown within a few milliseconds of its
  // time.
  return std::clamp(period / 2, 1, 10);
}

bool PlaybackControl::playbackTick() {
  if (!playing_ || !playback_) return false;
  followSound();
  float time = 0.0f;
  const Playback::Tick tick =
      stopRequested_ ? Playback::Tick::Ended : playback_->take(view_.canvas(), time);
  if (tick == Playback::Tick::New) {
    // Round the loop: the sound starts over with the pictures.
    if (time < playbackTime_) {
      playAudioFrom(time);
      wrapped_ = true;
    }
    playbackTime_ = time;
    if (following_) view_.follow(time);
    session_.port().refresh(RefreshPreview | RefreshTimeline);
    return true;
  }
  if (tick == Playback::Tick::Same) return true;
  playing_ = false;
  view_.setPlaying(false);
  session_.port().stopAudio();
  // The frames whose time came: all of them, or those before a stop.
  const int dropped = playback_->dropped();
  const int frames = playback_->passed();
  playback_.reset();
  session_.port().showStatus(
      formatC(_("再生: %d 画面のうち %d 画面を間に合わずに飛ばしました。"), frames, dropped));
  session_.port().refresh(RefreshButtons | RefreshTimeline);
  // Back to the frame of the time the window shows.
  view_.redraw(view_.currentTime());
  return false;
}

void PlaybackControl::playAudioFrom(float t) {
  const AudioTrack audio = projectAudio(session_.project(), session_.projectFolder());
  if (!audio.path.empty() && std::isfinite(audio.offset) && std::isfinite(audio.volume))
    session_.port().playAudio(audio, static_cast<double>(t));
}

void PlaybackControl::followSound() {
  // Round a loop the sound starts over with the pictures, and drifts no further than a round.
  if (wrapped_) return;
  const std::optional<double> sound = session_.port().soundPosition();
  // Only a position that moved says where the sound is now (a device reports in steps).
  if (!sound || *sound == lastSound_) return;
  lastSound_ = *sound;
  const double behind = (*sound - startTime_) - (steady_() + soundPull_.load());
  const double halfFrame = 0.5 / static_cast<double>(session_.project().fps);
  if (std::abs(behind) > halfFrame) soundPull_ = soundPull_.load() + behind;
}

void PlaybackControl::setLoop(bool loop) {
  loop_ = loop;
  session_.port().refresh(RefreshButtons);
}

void PlaybackControl::stop() {
  playing_ = false;
  view_.setPlaying(false);
  playback_.reset();
}

}  // namespace pelorix
