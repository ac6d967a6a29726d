#pragma once

#include <vector>

#include "model/project.h"

namespace pelorix {

// Which source of a layer shows at a time point, and how far into it.
struct CurrentSource {
  int index = -1;  // none when the layer shows nothing
  float fraction = 1.0f;
  bool found() const { return index >= 0; }
};

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
// the source has sourceAutoCalc and the next source shows byte for byte the same file.
// Rotation glides as a plain number of degrees.
Placement placementAt(const Layer& layer, int index, float fraction);

// Sum of the durations of sources 0 .. index-1 (single precision, in list order).
float sourceStartTime(const Layer& layer, int index);

// Where selecting a source row puts the time: half a frame into it. 0 when fps is not positive.
float selectedSourceTime(const Layer& layer, int index, float fps);

// Times of the frames a conversion writes: 0, then t + 1/fps computed in double precision and
// stored in single precision, while the unrounded sum stays below totalTime. Nothing when
// totalTime is not positive or fps is not positive.
std::vector<float> conversionFrameTimes(float totalTime, float fps);

// Slider positions are frames. With fps <= 0 every position means time 0 and the range is 0.
int sliderRange(float totalTime, float fps);
float timeOfSliderPosition(int position, float fps);
int sliderPositionOfTime(float t, float fps);

}  // namespace pelorix
