// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/timeline.h"

#include <climits>
#include <cmath>

#include "base/c_locale.h"
#include "model/extensions.h"

namespace pelorix {

CurrentSource currentSourceAt(const Project& project, int layerIndex, float t) {
  CurrentSource current;
  if (layerIndex < 0 || layerIndex >= project.layerCount) return current;
  const Layer& layer = project.layers[static_cast<size_t>(layerIndex)];
  if (layer.visible == 0) return current;
  float sum = 0.0f;
  for (size_t i = 0; i < layer.sources.size(); ++i) {
    const float duration = layer.sources[i].duration;
    sum += duration;
    if (t < sum) {
      current.index = static_cast<int>(i);
      current.fraction = (t - (sum - duration)) / duration;
      return current;
    }
  }
  return current;
}

Placement placementAt(const Layer& layer, int index, float fraction) {
  const Source& s = layer.sources[static_cast<size_t>(index)];
  Placement p{s.x, s.y, s.scale, s.rotation, s.opacity};
  const size_t next = static_cast<size_t>(index) + 1;
  if ((s.flags & sourceAutoCalc) == 0 || next >= layer.sources.size()) return p;
  const Source& n = layer.sources[next];
  if (n.file != s.file) return p;
  // Easing bends the fraction; a source that holds keeps its values to its end.
  const Ease ease = easeOf(s.flags);
  if (ease == Ease::Hold) return p;
  const float f = easedFraction(ease, fraction);
  p.x = s.x + (n.x - s.x) * f;
  p.y = s.y + (n.y - s.y) * f;
  p.scale = s.scale + (n.scale - s.scale) * f;
  p.rotation = s.rotation + (n.rotation - s.rotation) * f;
  p.opacity = s.opacity + (n.opacity - s.opacity) * f;
  return p;
}

float sourceStartTime(const Layer& layer, int index) {
  float start = 0.0f;
  for (int i = 0; i < index && i < static_cast<int>(layer.sources.size()); ++i) {
    start += layer.sources[static_cast<size_t>(i)].duration;
  }
  return start;
}

double sourceClock(const Layer& layer, int index, float t) {
  int first = index;
  while (first > 0) {
    const Source& before = layer.sources[static_cast<size_t>(first - 1)];
    const bool glides = (before.flags & sourceAutoCalc) != 0 && easeOf(before.flags) != Ease::Hold;
    if (!glides || before.file != layer.sources[static_cast<size_t>(first)].file) break;
    --first;
  }
  return static_cast<double>(t) - static_cast<double>(sourceStartTime(layer, first));
}

float selectedSourceTime(const Layer& layer, int index, float fps) {
  if (!(fps > 0.0f)) return 0.0f;
  float start = 0.5f / fps;
  for (int i = 0; i < index && i < static_cast<int>(layer.sources.size()); ++i) {
    start += layer.sources[static_cast<size_t>(i)].duration;
  }
  return start;
}

FrameClock::FrameClock(float totalTime, float fps, FrameSpacing spacing)
    : step_(1.0 / static_cast<double>(fps)),
      spacing_(spacing),
      fps_(fps),
      total_(totalTime),
      done_(!(totalTime > 0.0f) || !(fps > 0.0f)) {
  if (!done_ && spacing_ == FrameSpacing::Exact) {
    const double frames = std::round(static_cast<double>(totalTime) * fps_);
    count_ = frames < 9e18 ? static_cast<int64_t>(frames) : INT64_MAX;
  }
}

bool FrameClock::next(float& t) {
  if (done_) return false;
  if (spacing_ == FrameSpacing::Exact) {
    if (index_ >= count_) {
      done_ = true;
      return false;
    }
    t = narrowToFloat(static_cast<double>(index_++) / fps_);
    return true;
  }
  if (!started_) {
    started_ = true;
    t = t_;
    return true;
  }
  const double sum = static_cast<double>(t_) + step_;
  if (!(sum < static_cast<double>(total_))) {
    done_ = true;
    return false;
  }
  const float stored = narrowToFloat(sum);
  if (stored == t_) {  // the step is lost in rounding: every later frame would repeat this one
    done_ = stalled_ = true;
    return false;
  }
  t_ = t = stored;
  return true;
}

FrameCount countConversionFrames(float totalTime, float fps, long cap, FrameSpacing spacing) {
  FrameCount count;
  count.estimate = static_cast<double>(totalTime) * static_cast<double>(fps);
  if (!(count.estimate <= static_cast<double>(cap))) {  // NaN and infinities too
    count.tooMany = totalTime > 0.0f && fps > 0.0f;
    count.frames = count.tooMany ? cap + 1 : 0;
    return count;
  }
  if (spacing == FrameSpacing::Exact) {
    count.frames = totalTime > 0.0f && fps > 0.0f ? std::lround(count.estimate) : 0;
    return count;
  }
  FrameClock clock(totalTime, fps);
  float t = 0.0f;
  while (clock.next(t)) {
    if (++count.frames > cap) {
      count.tooMany = true;
      return count;
    }
  }
  count.stalled = clock.stalled();
  return count;
}

std::vector<float> conversionFrameTimes(float totalTime, float fps) {
  std::vector<float> times;
  FrameClock clock(totalTime, fps);
  float t = 0.0f;
  while (clock.next(t))
    times.push_back(t);
  return times;
}

int sliderRange(float totalTime, float fps) {
  if (!(fps > 0.0f)) return 0;
  return truncToInt(static_cast<double>(totalTime * fps));
}

float timeOfSliderPosition(int position, float fps) {
  if (!(fps > 0.0f)) return 0.0f;
  return static_cast<float>(position) / fps;
}

int sliderPositionOfTime(float t, float fps) {
  if (!(fps > 0.0f)) return 0;
  return truncToInt(static_cast<double>(t * fps));
}

}  // namespace pelorix
