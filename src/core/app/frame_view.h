// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/session.h"
#include "base/row_workers.h"
#include "imageio/dib_image.h"
#include "render/compositor.h"
#include "render/picture_store.h"

namespace pelorix {

struct SliderState {
  int maximum = 0;
  int position = 0;
  int pageSize = 30;
  int lineSize = 1;
  int selectionStart = 0;
  int selectionEnd = 0;
};

// The frames before and after the current one of the layer being edited, composed like it, for
// the preview to show faintly where they differ from now; offsets in frames (-N ... -1, 1 ... N).
class OnionSkin {
 public:
  struct Frame {
    int offset = 0;
    DibImage canvas;
  };
  explicit OnionSkin(LogSink& log) : compositor_(log) {}
  void share(RowWorkers* workers, PictureStore* pictures);
  bool on() const { return on_; }
  void setOn(bool on) { on_ = on; }
  int count() const { return count_; }
  void setCount(int count);
  const std::vector<Frame>& frames() const { return frames_; }
  void clear() { frames_.clear(); }
  // The layer alone on a transparent ground at the frames around `t` (none when off).
  void compose(const Project& project, const std::string& folder, int layerIndex, float t,
               float frameStep, float totalTime);

 private:
  bool on_ = false;
  int count_ = 2;
  std::vector<Frame> frames_;
  Compositor compositor_;  // its own kept canvas: the preview's stays
};

// The size the window shows the frame at. Smaller than the frame, the preview, its onion skin
// and playback compose a canvas of that size, each of its pixels sampled where the frame's
// pixel it shows lies (with the same kernels), so a big frame shown small costs what the shown
// pixels cost and shows what the stretched frame would. At the frame's size and above (or with
// no size given) they compose the frame itself, byte for byte the render's.
class ViewScale {
 public:
  // The shown size in pixels; 0 x 0: the frame's own. True when it changed.
  bool setSize(int width, int height);
  // What frames of `project` are composed at: 1, or less when shown smaller (by the larger of
  // the two sides' ratios, so that neither side is composed with fewer pixels than it shows).
  double factor(const Project& project) const;
  // `project` made the composition the view shows.
  void apply(Project& project) const;
  // The same for playback, where a still picture stepped over by two or more of its pixels per
  // shown pixel is sampled from a smaller copy of it: less work a frame, and less shimmer on
  // what moves. A still frame samples the pictures themselves.
  void applyForPlayback(Project& project) const {
    apply(project);
    project.motion.pictureLevels = project.motion.shownSize[0] > 0;
  }

 private:
  int width_ = 0;
  int height_ = 0;
};

// The frame the window shows: the draw list and the animation's length, the time and the slider,
// and the preview's composed canvas with its onion skin.
class FrameView {
 public:
  explicit FrameView(Session& session);
  FrameView(const FrameView&) = delete;
  FrameView& operator=(const FrameView&) = delete;

  // The layer a redraw shows alone (or all layers, when one is chosen); -1: draw nothing.
  void setLayerChoice(std::function<int()> choose) { choose_ = std::move(choose); }

  // The draw list and length after a change of the project; the time stays inside it.
  void rebuildDrawList();
  // The slider moved to `position` (or is put there): the time follows and the frame is redrawn.
  void setSliderPosition(int position);
  void sliderChanged(int position);
  // A page or a frame back (-1) or on (1).
  void page(int direction);
  void step(int direction);
  // The time `t`, clamped to the animation (the ruler was clicked or dragged).
  void scrubTo(float t);
  // The slider and the time follow a movie that shows its own frames: nothing is composed.
  void follow(float t);
  // The time of a selected source: the slider marks the span [start, end) and shows `t`.
  void showSpan(float t, float start, float end);
  // The preview toggle; `moveWindow` false leaves the preview window as it is.
  void setPreviewShown(bool shown, bool moveWindow = true);
  void setTotalMode(bool total);
  void setOnionSkin(bool on);
  // While a movie plays, the preview shows its frames and no onion skin.
  void setPlaying(bool playing) { playing_ = playing; }
  void redraw(float t);
  void clearCanvas();
  // One frame's length in seconds; 0 when the frame rate is not positive.
  float frameStep() const;

  DibImage& canvas() { return canvas_; }
  const DibImage& canvas() const { return canvas_; }
  Compositor& compositor() { return compositor_; }
  const OnionSkin& onion() const { return onion_; }
  ViewScale& viewScale() { return scale_; }
  OnionSkin& onion() { return onion_; }
  const std::vector<int>& drawList() const { return drawList_; }
  float totalTime() const { return totalTime_; }
  float currentTime() const { return currentTime_; }
  const SliderState& slider() const { return slider_; }
  const std::string& timeText() const { return timeText_; }
  bool previewShown() const { return previewShown_; }
  bool totalMode() const { return totalMode_; }
  // The world as it is, not as the camera films it (the camera's frame drawn over it).
  bool outsideCamera() const { return outsideCamera_; }
  void setOutsideCamera(bool on);

 private:
  // Composes the frame at `t`: every layer of the draw list, or `layerIndex` alone.
  void composeInto(float t, bool allLayers, int layerIndex);

  Session& session_;
  std::function<int()> choose_;
  std::vector<int> drawList_;
  float totalTime_ = 0.0f;
  float currentTime_ = 0.0f;
  SliderState slider_;
  std::string timeText_;
  bool previewShown_ = false;
  bool outsideCamera_ = false;
  bool totalMode_ = false;
  bool playing_ = false;
  DibImage canvas_;
  RowWorkers rowWorkers_;
  PictureStore pictures_;  // shared by the preview's compositors
  Compositor compositor_;
  OnionSkin onion_;
  ViewScale scale_;
};

}  // namespace pelorix
