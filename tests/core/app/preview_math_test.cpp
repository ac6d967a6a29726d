// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preview_math.h"

#include <gtest/gtest.h>

namespace pelorix {
namespace {

TEST(PreviewMath, ResizingSnapsToTheFrameProportions) {
  // A 320x240 frame: widening keeps the height and snaps the width back.
  EXPECT_EQ(snapToFrameAspect(500, 240, 320, 240), (Size{320, 240}));
  // Narrowing shrinks the height instead.
  EXPECT_EQ(snapToFrameAspect(160, 240, 320, 240), (Size{160, 120}));
  EXPECT_EQ(snapToFrameAspect(641, 480, 320, 240), (Size{640, 480}));
  EXPECT_EQ(snapToFrameAspect(333, 333, 7, 3), (Size{333, 142}));
  EXPECT_EQ(snapToFrameAspect(0, 100, 320, 240), (Size{0, 100}));
}

TEST(PreviewMath, DragsAndWheelNotches) {
  // Shown at half size, ten display pixels to the right are twenty frame pixels: x falls by 20.
  EXPECT_EQ(dragOffset(640, 320, 100, 110), -20);
  EXPECT_EQ(dragOffset(640, 320, 110, 100), 20);
  EXPECT_EQ(dragOffset(320, 300, 0, 1), -1);  // -1.07 truncates toward zero
  EXPECT_EQ(dragOffset(320, 0, 0, 1), 0);
  EXPECT_EQ(wheelNotches(600), 5);
  EXPECT_EQ(wheelNotches(-120), -1);
  EXPECT_EQ(wheelNotches(119), 0);
}

}  // namespace
}  // namespace pelorix
