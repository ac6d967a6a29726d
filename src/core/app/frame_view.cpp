// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frame_view.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <thread>

#include "app/texts.h"
#include "base/i18n.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix {

void OnionSkin::share(RowWorkers* workers, PictureStore* pictures) {
  compositor_.setRowWorkers(workers);
  compositor_.setPictureStore(pictures);
}

void OnionSkin::setCount(int count) {
  count_ = std::clamp(count, 1, 3);
}

// The layer alone on a transparent ground at the frames around `t`, where it differs from the
// layer now: its motion, whatever lies under it (a layer that stands still shows nothing).
void OnionSkin::compose(const Project& project, const std::string& folder, int layerIndex, float t,
                        float frameStep, float totalTime) {
  frames_.resize(on_ ? static_cast<size_t>(2 * count_) : 0);
  if (frames_.empty()) return;
  const int single[] = {layerIndex};
  Project alone = project;
  alone.options |= projectTransparentBackground;
  compositor_.setProjectFolder(folder);
  DibImage now;
  if (!compositor_.composeFrame(now, alone, single, t)) now = DibImage();
  size_t at = 0;
  for (int offset = -count_; offset <= count_; ++offset) {
    if (offset == 0) continue;
    Frame& frame = frames_[at++];
    frame.offset = offset;
    const float when = t + static_cast<float>(offset) * frameStep;
    if (when < 0.0f || when > totalTime ||
        !compositor_.composeFrame(frame.canvas, alone, single, when)) {
      frame.canvas = DibImage();
      continue;
    }
    if (now.empty() || now.width() != frame.canvas.width() ||
        now.height() != frame.canvas.height()) {
      continue;
    }
    for (int y = 0; y < now.height(); ++y) {
      auto* ghost = reinterpret_cast<uint32_t*>(frame.canvas.row(y));
      const auto* current = reinterpret_cast<const uint32_t*>(now.row(y));
      for (int x = 0; x < now.width(); ++x) {
        if (ghost[x] == current[x]) ghost[x] = 0;
      }
    }
  }
}

FrameView::FrameView(Session& session)
    : session_(session),
      timeText_(_("スタティック")),
      rowWorkers_(std::max(1, static_cast<int>(std::thread::hardware_concurrency()))),
      compositor_(session.log()),
      onion_(session.log()) {
  compositor_.setRowWorkers(&rowWorkers_);
  compositor_.setPictureStore(&pictures_);
  onion_.share(&rowWorkers_, &pictures_);
}

void FrameView::rebuildDrawList() {
  const Project& project = session_.project();
  const DrawList list = buildDrawList(project);
  drawList_ = list.layers;
  totalTime_ = list.totalTime;
  if (currentTime_ > totalTime_) currentTime_ = totalTime_;
  slider_.maximum = std::max(0, sliderRange(totalTime_, project.fps));
  slider_.pageSize = std::max(slider_.maximum / 100, 30);
  slider_.lineSize = 1;
  setSliderPosition(sliderPositionOfTime(currentTime_, project.fps));
}

void FrameView::setSliderPosition(int position) {
  slider_.position = std::clamp(position, 0, slider_.maximum);
  session_.port().refresh(RefreshSlider);
  sliderChanged(slider_.position);
}

void FrameView::sliderChanged(int position) {
  slider_.position = std::clamp(position, 0, slider_.maximum);
  currentTime_ = timeOfSliderPosition(slider_.position, session_.project().fps);
  redraw(currentTime_);
  timeText_ = pelorix::timeText(currentTime_, totalTime_);
  session_.port().refresh(RefreshTime);
}

void FrameView::page(int direction) {
  setSliderPosition(slider_.position + direction * slider_.pageSize);
}

void FrameView::step(int direction) {
  setSliderPosition(slider_.position + direction * slider_.lineSize);
}

void FrameView::scrubTo(float t) {
  const Project& project = session_.project();
  if (session_.noProjectLoaded() || !(project.fps > 0.0f)) return;
  setSliderPosition(sliderPositionOfTime(std::clamp(t, 0.0f, totalTime_), project.fps));
}

void FrameView::follow(float t) {
  const float fps = session_.project().fps;
  currentTime_ = std::clamp(t, 0.0f, totalTime_);
  slider_.position = std::clamp(sliderPositionOfTime(currentTime_, fps), 0, slider_.maximum);
  timeText_ = pelorix::timeText(currentTime_, totalTime_);
  session_.port().refresh(RefreshSlider | RefreshTime);
}

void FrameView::showSpan(float t, float start, float end) {
  const float fps = session_.project().fps;
  currentTime_ = t;
  slider_.selectionStart = sliderPositionOfTime(start, fps);
  slider_.selectionEnd = sliderPositionOfTime(end, fps);
  setSliderPosition(sliderPositionOfTime(currentTime_, fps));
}

float FrameView::frameStep() const {
  const float fps = session_.project().fps;
  return fps > 0.0f ? 1.0f / fps : 0.0f;
}

// A frame where nothing draws (its picture failed to load, or no layer shows) is blank: the
// preview never keeps a frame of another moment or another project.
void FrameView::setOutsideCamera(bool on) {
  outsideCamera_ = on;
  redraw(currentTime_);
  session_.port().refresh(RefreshButtons | RefreshPreview);
}

bool ViewScale::setSize(int width, int height) {
  if (width == width_ && height == height_) return false;
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  return true;
}

double ViewScale::factor(const Project& project) const {
  if (width_ <= 0 || height_ <= 0 || project.outputWidth <= 0 || project.outputHeight <= 0)
    return 1.0;
  return std::min(1.0, std::max(static_cast<double>(width_) / project.outputWidth,
                                static_cast<double>(height_) / project.outputHeight));
}

void ViewScale::apply(Project& project) const {
  const double f = factor(project);
  if (f >= 1.0) return;
  project.motion.shownSize = {std::max(1, static_cast<int>(std::lround(project.outputWidth * f))),
                              std::max(1, static_cast<int>(std::lround(project.outputHeight * f)))};
}

void FrameView::composeInto(float t, bool allLayers, int layerIndex) {
  // Outside the camera: the project composed without it. Shown smaller: composed smaller.
  std::optional<Project> shown;
  if (outsideCamera_ && session_.project().motion.camera.keyed()) {
    shown = session_.project();
    shown->motion.camera = CameraMotion{};
  }
  if (scale_.factor(session_.project()) < 1.0) {
    if (!shown) shown = session_.project();
    scale_.apply(*shown);
  }
  const Project& project = shown ? *shown : session_.project();
  compositor_.setProjectFolder(session_.projectFolder());
  bool drawn = false;
  if (allLayers) {
    drawn = compositor_.composeFrame(canvas_, project, drawList_, t);
  } else {
    const int single[] = {layerIndex};
    drawn = compositor_.composeFrame(canvas_, project, single, t);
  }
  if (!drawn && !compositor_.makeBlankFrame(canvas_, project)) canvas_ = DibImage();
}

void FrameView::clearCanvas() {
  canvas_ = DibImage();
  onion_.clear();
  session_.port().refresh(RefreshPreview);
}

void FrameView::redraw(float t) {
  if (!previewShown_ || !choose_) return;
  const int index = choose_();
  if (index < 0) return;  // nothing to draw, nothing selected
  composeInto(t, totalMode_, index);
  if (playing_ || !onion_.on()) {
    onion_.clear();
  } else {
    Project project = session_.project();
    scale_.apply(project);
    onion_.compose(project, session_.projectFolder(), index, t, frameStep(), totalTime_);
  }
  session_.port().refresh(RefreshPreview);
}

void FrameView::setPreviewShown(bool shown, bool moveWindow) {
  previewShown_ = shown;
  session_.port().refresh(RefreshButtons);
  if (shown) redraw(currentTime_);
  if (moveWindow) session_.port().showPreview(shown);
}

void FrameView::setTotalMode(bool total) {
  totalMode_ = total;
  session_.port().refresh(RefreshButtons);
  redraw(currentTime_);
}

void FrameView::setOnionSkin(bool on) {
  onion_.setOn(on);
  session_.port().refresh(RefreshButtons);
  redraw(currentTime_);
}

}  // namespace pelorix
