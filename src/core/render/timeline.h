// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "model/project.h"

namespace pelorix {

// Which source of a layer shows at a time point, and how far into it.
struct CurrentSource {
  int index = -1;  // none when the layer shows nothing
  float fraction = 1.0f;
  bool found() const { return index >= 0; }
};

// The angle constant Pelorix has always turned pictures by: 3.141592 / 180, not the exact pi / 180.
inline constexpr double kDegreesToRadians = 3.141592 / 180.0;

// The five values a layer is drawn with.
struct Placement {
  float x = 0.0f;
  float y = 0.0f;
  float scale = 1.0f;
  float rotation = 0.0f;
  float opacity = 1.0f;
};

// The source current at `t`: the first whose accumulated end lies strictly after `t`. Hidden
// layers, layers without sources, indices beyond layerCount and times at or after the layer's
// end give none.
CurrentSource currentSourceAt(const Project& project, int layerIndex, float t);

// The placement of source `index` at `fraction`: glides towards the next source's values when
// the source has sourceAutoCalc and the next source shows byte for byte the same file, along
// the source's easing (a source that holds keeps its own values). Rotation glides as a plain
// number of degrees.
Placement placementAt(const Layer& layer, int index, float fraction);

// Sum of the durations of sources 0 .. index-1 (single precision, in list order).
float sourceStartTime(const Layer& layer, int index);

// The clock of a moving picture at `t`: seconds since source `index` began to show its file. A
// glide between sources of the same file keeps the clock running, so it counts from the first
// source of such a run.
double sourceClock(const Layer& layer, int index, float t);

// Where selecting a source row puts the time: half a frame into it. 0 when fps is not positive.
float selectedSourceTime(const Layer& layer, int index, float fps);

// How a conversion spaces its frames. A numbered series keeps the times it always had: each
// time the one before plus 1/fps, while below the animation's length (3.00 s at 12 fps: 37
// frames). A video or an animation holds frames i/fps for i below round(length x fps) (36 frames,
// 3.000 s), so that a clip of 3 s lasts 3 s and a loop repeats no frame.
enum class FrameSpacing { Accumulated, Exact };

// Hands out the times of the frames a conversion writes, one by one. Accumulated: 0, then
// t + 1/fps computed in double precision and stored in single precision, while the unrounded
// sum stays below totalTime; it stops early, and says so, when the stored time no longer
// advances (1/fps has become smaller than half the spacing of single-precision numbers at t).
// Exact: i / fps stored in single precision. Nothing when totalTime or fps is not positive. The
// times never form a list in memory.
class FrameClock {
 public:
  FrameClock(float totalTime, float fps, FrameSpacing spacing = FrameSpacing::Accumulated);
  // The next frame's time; false when there is none.
  bool next(float& t);
  // True when the clock stopped because the time no longer advanced.
  bool stalled() const { return stalled_; }
  // The time at which it stalled.
  float stalledAt() const { return t_; }

 private:
  double step_ = 0.0;
  FrameSpacing spacing_ = FrameSpacing::Accumulated;
  double fps_ = 0.0;
  int64_t index_ = 0;  // Exact: the next frame's number
  int64_t count_ = 0;  // Exact: how many there are
  float total_ = 0.0f;
  float t_ = 0.0f;
  bool started_ = false;
  bool done_ = false;
  bool stalled_ = false;
};

// More frames than a conversion may write; it is refused before anything is made.
inline constexpr long kMaxConversionFrames = 10'000'000;

struct FrameCount {
  long frames = 0;       // what the clock hands out (up to the cap)
  bool stalled = false;  // the clock stopped early
  bool tooMany = false;  // more than the cap (frames then holds the estimate)
  double estimate = 0;   // totalTime * fps
};
FrameCount countConversionFrames(float totalTime, float fps, long cap = kMaxConversionFrames,
                                 FrameSpacing spacing = FrameSpacing::Accumulated);

// All frame times of a conversion (for tests and small tools; a conversion uses the clock).
std::vector<float> conversionFrameTimes(float totalTime, float fps);

// Slider positions are frames. With fps <= 0 every position means time 0 and the range is 0.
int sliderRange(float totalTime, float fps);
float timeOfSliderPosition(int position, float fps);
int sliderPositionOfTime(float t, float fps);

}  // namespace pelorix
