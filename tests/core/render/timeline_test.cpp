// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/timeline.h"

#include <gtest/gtest.h>

#include "render/draw_list.h"

namespace pelorix {
namespace {

Project projectWithDurations(const std::vector<float>& durations,
                             const std::string& file = "a.bmp") {
  Project p;
  p.resetProject();
  const int layer = p.addLayer();
  p.layers[0].visible = 1;
  p.layers[0].number = 1;
  for (float d : durations) {
    Source s;
    s.file = file;
    s.duration = d;
    p.addSource(layer, s);
  }
  return p;
}

TEST(Timeline, CurrentSourceUsesTheStrictlyLessBoundary) {
  const Project p = projectWithDurations({1.0f, 2.0f, 1.0f});
  struct Case {
    float t;
    int index;
    float fraction;
  };
  const Case cases[] = {{0.0f, 0, 0.0f}, {0.5f, 0, 0.5f},   {1.0f, 1, 0.0f},  {2.0f, 1, 0.5f},
                        {3.0f, 2, 0.0f}, {3.75f, 2, 0.75f}, {4.0f, -1, 1.0f}, {9.0f, -1, 1.0f}};
  for (const Case& c : cases) {
    const CurrentSource current = currentSourceAt(p, 0, c.t);
    EXPECT_EQ(current.index, c.index) << c.t;
    EXPECT_FLOAT_EQ(current.fraction, c.fraction) << c.t;
  }
}

TEST(Timeline, ZeroDurationsHiddenLayersAndEmptyLayersShowNothing) {
  const Project zero = projectWithDurations({0.0f, 1.0f});
  EXPECT_EQ(currentSourceAt(zero, 0, 0.0f).index, 1);
  Project hidden = projectWithDurations({1.0f});
  hidden.layers[0].visible = 0;
  EXPECT_FALSE(currentSourceAt(hidden, 0, 0.5f).found());
  const Project empty = projectWithDurations({});
  EXPECT_FALSE(currentSourceAt(empty, 0, 0.0f).found());
  EXPECT_FALSE(currentSourceAt(zero, 1, 0.0f).found());  // beyond layerCount
}

TEST(Timeline, GlideOnlyTowardsTheSameFile) {
  Project p = projectWithDurations({1.0f, 2.0f, 1.0f});
  Layer& layer = p.layers[0];
  layer.sources[1].x = 10.0f;
  layer.sources[2].x = 30.0f;
  layer.sources[1].rotation = 350.0f;
  layer.sources[2].rotation = 10.0f;
  const CurrentSource at = currentSourceAt(p, 0, 2.0f);
  Placement placed = placementAt(layer, at.index, at.fraction);
  EXPECT_FLOAT_EQ(placed.x, 20.0f);
  EXPECT_FLOAT_EQ(placed.rotation, 180.0f);  // no wrapping: 350 to 10 passes 180

  layer.sources[2].file = "A.bmp";  // differs only in letter case
  EXPECT_FLOAT_EQ(placementAt(layer, 1, 0.5f).x, 10.0f);
  layer.sources[2].file = "a.bmp";
  layer.sources[1].flags = 0;
  EXPECT_FLOAT_EQ(placementAt(layer, 1, 0.5f).x, 10.0f);
  layer.sources[2].flags = sourceAutoCalc;
  EXPECT_FLOAT_EQ(placementAt(layer, 2, 0.5f).x, 30.0f);  // the last source holds its values
}

TEST(Timeline, ConversionFrameCountsFollowSinglePrecisionSteps) {
  struct Case {
    float length, fps;
    size_t frames;
  };
  const Case cases[] = {{1.0f, 30.0f, 30}, {2.0f, 30.0f, 61}, {5.0f, 12.0f, 61}, {0.1f, 30.0f, 3},
                        {0.0f, 30.0f, 0},  {1.0f, 0.0f, 0},   {1.0f, -5.0f, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(conversionFrameTimes(c.length, c.fps).size(), c.frames)
        << c.length << " s at " << c.fps;
  }
  const std::vector<float> times = conversionFrameTimes(1.0f, 30.0f);
  EXPECT_EQ(times[0], 0.0f);
  float t = 0.0f;
  for (size_t i = 1; i < times.size(); ++i) {
    t = static_cast<float>(static_cast<double>(t) + 1.0 / 30.0);
    EXPECT_EQ(times[i], t);  // accumulated, not i / 30
  }
  // A video or an animation: frames i / fps for i below round(length x fps), so 3 s is 3 s.
  for (const Case& c : {Case{3.0f, 12.0f, 36}, Case{2.0f, 30.0f, 60}, Case{0.1f, 30.0f, 3},
                        Case{1.0f, 29.97f, 30}, Case{0.0f, 30.0f, 0}}) {
    FrameClock clock(c.length, c.fps, FrameSpacing::Exact);
    size_t count = 0;
    for (float at = 0.0f; clock.next(at); ++count)
      EXPECT_EQ(at, static_cast<float>(static_cast<double>(count) / c.fps));
    EXPECT_EQ(count, c.frames) << c.length << " s at " << c.fps;
    EXPECT_EQ(
        countConversionFrames(c.length, c.fps, kMaxConversionFrames, FrameSpacing::Exact).frames,
        static_cast<long>(c.frames));
  }
}

TEST(Timeline, SliderPositionsAndSelectedSources) {
  EXPECT_EQ(sliderRange(10.0f, 30.0f), 300);
  EXPECT_EQ(sliderRange(200.0f, 30.0f), 6000);
  EXPECT_EQ(sliderRange(10.0f, 0.0f), 0);
  EXPECT_FLOAT_EQ(timeOfSliderPosition(45, 30.0f), 1.5f);
  EXPECT_EQ(timeOfSliderPosition(45, 0.0f), 0.0f);
  const Project p = projectWithDurations({1.23f, 1.0f});
  const float start = selectedSourceTime(p.layers[0], 1, 30.0f);
  EXPECT_EQ(sliderPositionOfTime(start, 30.0f), 37);
  EXPECT_EQ(selectedSourceTime(p.layers[0], 1, 0.0f), 0.0f);
}

TEST(DrawList, NumericOrderVisibleLayersAndLength) {
  Project p;
  p.resetProject();
  const int numbers[] = {10, 3, 100, -3, 7};
  const float lengths[] = {2.0f, 5.0f, 1.0f, 3.0f, 9.0f};
  for (int i = 0; i < 5; ++i) {
    const int index = p.addLayer();
    p.layers[static_cast<size_t>(index)].number = numbers[i];
    p.layers[static_cast<size_t>(index)].visible = i == 4 ? 0 : 1;
    p.layers[static_cast<size_t>(index)].totalDuration = lengths[i];
  }
  EXPECT_EQ(treeOrder(p), (std::vector<int>{3, 1, 4, 0, 2}));
  const DrawList list = buildDrawList(p);
  EXPECT_EQ(list.layers, (std::vector<int>{3, 1, 0, 2}));  // the hidden layer 7 is left out
  EXPECT_EQ(list.totalTime, 5.0f);
}

}  // namespace
}  // namespace pelorix
