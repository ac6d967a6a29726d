// SPDX-License-Identifier: GPL-3.0-or-later
// The motion lines of the extensions block: read, written back, evaluated along their curves.
#include "model/motion.h"

#include <gtest/gtest.h>

#include "model/project.h"

namespace pelorix {
namespace {

MotionTrack track(const std::string& line, bool vector = false) {
  ProjectMotion motion =
      parseMotion({{vector ? "layer1.position" : "layer1.scale", line}, {"layer1.pivot", "0,0"}});
  const LayerMotion* layer = motion.layer(1);
  EXPECT_TRUE(motion.problems.empty()) << line;
  return layer ? (vector ? layer->position : layer->scale) : MotionTrack{};
}

// Each curve at known fractions: hold keeps the value to the next key, linear goes straight,
// bezier is the CSS timing function (overshoot allowed); before the first key and after the last
// the values hold.
TEST(Motion, CurvesAtKnownFractions) {
  const Curve easeInOut{Curve::Kind::Bezier, 0.42, 0.0, 0.58, 1.0};
  EXPECT_NEAR(easeInOut.eased(0.25), 0.1291, 1e-4);
  EXPECT_NEAR(easeInOut.eased(0.5), 0.5, 1e-9);
  const Curve backOut{Curve::Kind::Bezier, 0.34, 1.56, 0.64, 1.0};
  EXPECT_GT(backOut.eased(0.6), 1.0);  // over the target before coming back
  const MotionTrack scale = track("0:1:hold;1:2:linear;2:4:bezier(0.42,0,0.58,1);3:5:linear");
  const std::pair<double, double> expected[] = {{-1.0, 1.0},    {0.0, 1.0}, {0.99, 1.0},
                                                {1.0, 2.0},     {1.5, 3.0}, {2.0, 4.0},
                                                {2.25, 4.1291}, {9.0, 5.0}};
  for (const auto& [t, value] : expected)
    EXPECT_NEAR(scale.at(t)[0], value, 1e-4) << t;
  // A key at frame 11 of 12 per second is written 0.9167, after the frame's time: it still holds
  // from that frame on, in float as the compositor asks.
  const MotionTrack held = track("0:1:hold;0.9167:2:hold");
  EXPECT_EQ(held.at(static_cast<double>(11.0f / 12.0f))[0], 2.0);
  EXPECT_EQ(held.at(10.0 / 12.0)[0], 1.0);
}

// A curved path through two keys at constant speed under linear: a symmetric path passes its
// midpoint at half time; a straight path without tangents is a straight line.
TEST(Motion, PathsGoAtTheSpeedOfTheirCurve) {
  const MotionTrack arc = track("0:0,0:0,0,0,-40:linear;2:100,0:0,-40,0,0:linear", true);
  const std::array<double, 2> middle = arc.at(1.0);
  EXPECT_NEAR(middle[0], 50.0, 1e-6);
  EXPECT_NEAR(middle[1], -30.0, 1e-6);  // the Bezier's middle: 3/4 of the tangents' height
  const std::array<double, 2> quarter = arc.at(0.5);
  const std::array<double, 2> threeQuarters = arc.at(1.5);
  EXPECT_NEAR(quarter[0] + threeQuarters[0], 100.0, 1e-3);  // mirror images
  EXPECT_NEAR(quarter[1], threeQuarters[1], 1e-3);
  const MotionTrack straight = track("0:0,0:linear;2:100,50:linear", true);
  EXPECT_NEAR(straight.at(0.5)[0], 25.0, 1e-9);
  EXPECT_NEAR(straight.at(0.5)[1], 12.5, 1e-9);
}

// What Pelorix writes reads back as the same keys; keys out of order are put in order; a line
// that does not read is said and left alone (it stays in the file as it is).
TEST(Motion, LinesReadWriteAndComplain) {
  const std::string line =
      "0.0000:10.0000,-5.0000:1.0000,2.0000,3.0000,4.0000:bezier(0.2500,0.1000,0.2500,1.0000);"
      "1.5000:0.0000,0.0000:hold";
  const MotionTrack position = track(line, true);
  EXPECT_EQ(formatTrack(position), line);
  EXPECT_EQ(track("2:1:linear;1:3:linear").keys.front().time, 1.0);
  const ProjectMotion motion = parseMotion({{"layer2.rotation", "0:abc:linear"},
                                            {"layer2.parent", "1.5"},
                                            {"camera.zoom", "0:2:linear"},
                                            {"layer2.colour", "red"},
                                            {"layers", "not motion"}});
  EXPECT_EQ(motion.problems.size(), 2u);
  EXPECT_TRUE(motion.camera.keyed());
  EXPECT_EQ(motion.layer(2), nullptr);  // nothing of it read
}

// Parents by number: a missing one and a circle are said once at load, naming the layers, and
// ignored; renumbering a layer takes its keys and its children along; removing it drops them.
TEST(Motion, ParentsCirclesAndRenumbering) {
  Project project;
  project.resetProject();
  for (int number : {1, 2, 3, 4}) {
    const int index = project.addLayer();
    project.layers[static_cast<size_t>(index)].number = number;
  }
  project.setSetting("layer2.parent", "3");
  project.setSetting("layer3.parent", "2");
  project.setSetting("layer4.parent", "9");
  project.setSetting("layer1.parent", "2");
  const std::vector<std::string> problems = project.motionProblems();
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("9"), std::string::npos);
  EXPECT_NE(problems[1].find("2, 3"), std::string::npos);
  EXPECT_EQ(project.parentIndex(1), -1);  // on the circle
  EXPECT_EQ(project.parentIndex(3), -1);  // its parent is missing
  EXPECT_EQ(project.parentIndex(0), 1);   // layer 1 follows layer 2, which is on the circle

  project.setSetting("layer2.scale", "0:2:linear");
  project.renumberLayerMotion(2, 7);
  EXPECT_EQ(project.setting("layer7.scale"), "0:2:linear");
  EXPECT_EQ(project.setting("layer1.parent"), "7");
  EXPECT_EQ(project.setting("layer2.scale"), "");
  project.removeLayerMotion(7);
  EXPECT_EQ(project.setting("layer7.scale"), "");
  EXPECT_EQ(project.setting("layer1.parent"), "");
  EXPECT_EQ(project.setting("layer4.parent"), "9");  // another layer's number, kept
}

}  // namespace
}  // namespace pelorix
