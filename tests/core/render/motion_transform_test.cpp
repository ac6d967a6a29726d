// SPDX-License-Identifier: GPL-3.0-or-later
// Keys, pivots, parents and the camera move a layer's placement as the project format says.
#include "render/motion_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>

#include "render/compositor.h"
#include "render/draw_list.h"
#include "render_test_support.h"

namespace pelorix {
namespace {

using Point = std::complex<double>;

// Where the picture's point `u` (relative to its centre, x right, y down) lands in the frame,
// relative to the frame's centre, for a placement.
Point landing(const Placement& p, Point u) {
  return Point{-p.x, -p.y} +
         static_cast<double>(p.scale) *
             std::polar(1.0, static_cast<double>(p.rotation) * kDegreesToRadians) * u;
}

Project layers(int count) {
  Project project;
  project.resetProject();
  for (int number = 1; number <= count; ++number) {
    const int index = project.addLayer();
    project.layers[static_cast<size_t>(index)].number = number;
    project.layers[static_cast<size_t>(index)].visible = 1;
  }
  return project;
}

void expectNear(Point a, Point b, const char* what) {
  EXPECT_NEAR(a.real(), b.real(), 1e-3) << what;
  EXPECT_NEAR(a.imag(), b.imag(), 1e-3) << what;
}

// The layer's own keys: rotation about the pivot keeps the pivot still and turns the picture
// with the points around it; a layer without keys keeps its placement to the bit.
TEST(MotionTransform, RotationAboutThePivotKeepsThePivotStill) {
  Project project = layers(2);
  project.setSetting("layer1.pivot", "10,-20");  // the point (-10, 20) of the frame
  project.setSetting("layer1.rotation", "0:0:linear;1:90:linear");
  project.setSetting("layer1.scale", "0:1:linear;1:2:linear");
  const Placement source{5.0f, -3.0f, 1.5f, 30.0f, 0.8f};
  const Point pivot{-10.0, 20.0};
  // The picture's point that sits on the pivot before the turn sits there after it.
  const Point onPivot =
      (pivot - Point{-5.0, 3.0}) / (1.5 * std::polar(1.0, 30 * kDegreesToRadians));
  for (float t : {0.0f, 0.3f, 1.0f}) {
    const Placement placed = applyMotion(project, 0, source, t);
    expectNear(landing(placed, onPivot), pivot, "the pivot");
    EXPECT_NEAR(placed.rotation, 30.0f + 90.0f * t, 1e-4);
    EXPECT_NEAR(placed.scale, 1.5f * (1.0f + t), 1e-5);
  }
  const Placement untouched = applyMotion(project, 1, source, 0.5f);
  EXPECT_EQ(std::memcmp(&untouched, &source, sizeof source), 0);
}

// A child follows its parent's move and turn (not its opacity); the camera moves every layer
// the opposite way of its own move, and turns and zooms the world about the frame's centre.
TEST(MotionTransform, ParentsAndTheCamera) {
  Project project = layers(2);
  project.setSetting("layer1.position", "0:0,0:linear;1:-30,0:linear");  // 30 to the right
  project.setSetting("layer1.rotation", "0:0:linear;1:90:linear");
  project.setSetting("layer1.opacity", "0:0.5:linear");
  project.setSetting("layer2.parent", "1");
  const Placement child{0.0f, -40.0f, 1.0f, 0.0f, 1.0f};  // 40 below the centre
  const Placement moved = applyMotion(project, 1, child, 1.0f);
  // Turned a quarter about the centre, then moved 30 right: (0, 40) -> (-40, 0) -> (-10, 0).
  expectNear(landing(moved, 0.0), Point{-10.0, 0.0}, "the child");
  EXPECT_NEAR(moved.rotation, 90.0f, 1e-4);
  EXPECT_EQ(moved.opacity, 1.0f);

  Project camera = layers(2);
  camera.setSetting("camera.position", "0:0,0:linear;1:25,-10:linear");  // left 25, down 10
  for (int index : {0, 1}) {
    const Placement before{3.0f, 4.0f, 1.0f, 0.0f, 1.0f};
    const Placement after = applyMotion(camera, index, before, 1.0f);
    EXPECT_NEAR(after.x, before.x - 25.0f, 1e-4);  // the picture goes right
    EXPECT_NEAR(after.y, before.y + 10.0f, 1e-4);  // and up
  }
  camera.setSetting("camera.position", "");
  camera.setSetting("camera.zoom", "0:2:linear");
  camera.setSetting("camera.rotation", "0:90:linear");
  const Placement zoomed = applyMotion(camera, 0, Placement{-10.0f, 0.0f, 1.0f, 0.0f, 1.0f}, 0.0f);
  expectNear(landing(zoomed, 0.0), Point{0.0, -20.0}, "the camera's view");  // turned back
  EXPECT_NEAR(zoomed.scale, 2.0f, 1e-6);
  EXPECT_NEAR(zoomed.rotation, -90.0f, 1e-4);
}

}  // namespace
}  // namespace pelorix
