// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>

#include "editor_test_support.h"

namespace pelorix {
namespace {

constexpr MotionTarget kBackgroundPosition{1, MotionProperty::Position};

// The demo with the background (layer 1, 320x240 at the frame's centre) selected.
struct Animating : Opened {
  Animating() { editor.lists().selectTreeItem(0); }
  MotionEditing& motion() { return editor.motion(); }
  std::string line(const std::string& key) const { return editor.session().project().setting(key); }
  void drag(MotionCanvas::Handle handle, std::array<double, 2> from, std::array<double, 2> to,
            bool constrain = false) {
    editor.canvas().beginHandle(handle, from[0], from[1]);
    // Through a point between, as a mouse goes: only the end counts.
    editor.canvas().dragHandle((from[0] + to[0]) / 2 + 3, (from[1] + to[1]) / 2 - 7, constrain);
    editor.canvas().dragHandle(to[0], to[1], constrain);
    editor.canvas().endHandle();
  }
};

void expectNear(std::array<double, 2> a, std::array<double, 2> b, double tolerance = 1e-6) {
  EXPECT_NEAR(a[0], b[0], tolerance);
  EXPECT_NEAR(a[1], b[1], tolerance);
}

// A drag of the move handle with auto-key: one key at the playhead, the picture under the
// pointer, and the whole drag one undo step.
TEST(MotionEditing, AutoKeyDragSetsOneKeyAndUndoesInOneStep) {
  Animating o;
  o.editor.view().scrubTo(1.0f);
  const auto before = o.editor.canvas().handles();
  ASSERT_TRUE(before.shown);
  expectNear(before.pivot, {160, 120});
  o.drag(MotionCanvas::Handle::Move, {150, 100}, {170, 105});
  const MotionTrack* keys = o.motion().track(kBackgroundPosition);
  ASSERT_NE(keys, nullptr);
  ASSERT_EQ(keys->keys.size(), 1u);
  EXPECT_DOUBLE_EQ(keys->keys[0].time, 1.0);
  expectNear(keys->keys[0].value, {-20, -5});
  expectNear(o.editor.canvas().handles().pivot, {180, 125});
  EXPECT_TRUE(o.editor.session().modified());
  // A second drag at another frame adds a key there; the first stays.
  o.editor.view().scrubTo(2.0f);
  o.drag(MotionCanvas::Handle::Move, {180, 125}, {180, 145}, true);
  keys = o.motion().track(kBackgroundPosition);
  ASSERT_EQ(keys->keys.size(), 2u);
  expectNear(keys->keys[1].value, {-20, -25});
  o.editor.undo();
  ASSERT_EQ(o.motion().track(kBackgroundPosition)->keys.size(), 1u);
  o.editor.undo();
  EXPECT_EQ(o.motion().track(kBackgroundPosition), nullptr);
  EXPECT_EQ(o.line("layer1.position"), "");
  o.editor.redo();
  EXPECT_NE(o.line("layer1.position"), "");
}

// Auto-key off: a change moves every key alike, so the motion keeps its shape.
TEST(MotionEditing, WithoutAutoKeyEveryKeyMovesAlike) {
  Animating o;
  o.motion().setKey(kBackgroundPosition, 0.0, {0, 0});
  o.motion().setKey(kBackgroundPosition, 2.0, {-40, 0});
  o.motion().setAutoKey(false);
  o.editor.view().scrubTo(1.0f);
  o.drag(MotionCanvas::Handle::Move, {100, 100}, {100, 130});
  const MotionTrack* keys = o.motion().track(kBackgroundPosition);
  ASSERT_EQ(keys->keys.size(), 2u);
  expectNear(keys->keys[0].value, {0, -30});
  expectNear(keys->keys[1].value, {-40, -30});
}

// Turning with Shift goes by 15 degrees; a scale is about the pivot; moving the pivot leaves the
// picture where it is.
TEST(MotionEditing, TurnScaleAndPivotHandles) {
  Animating o;
  o.drag(MotionCanvas::Handle::Rotate, {160, 20}, {260, 110}, true);
  const std::array<double, 2> turned = o.motion().valueAt({1, MotionProperty::Rotation}, 0.0);
  EXPECT_NEAR(std::fmod(turned[0], 15.0), 0.0, 1e-9);
  EXPECT_NEAR(turned[0], 90.0, 1e-9);  // up to the right: a quarter turn clockwise
  o.drag(MotionCanvas::Handle::Scale, {160, 170}, {160, 220});
  EXPECT_NEAR(o.motion().valueAt({1, MotionProperty::Scale}, 0.0)[0], 2.0, 1e-9);
  const auto corners = o.editor.canvas().handles().corners;
  o.drag(MotionCanvas::Handle::Pivot, {160, 120}, {100, 90});
  const auto after = o.editor.canvas().handles();
  expectNear(after.pivot, {100, 90}, 1e-3);
  for (size_t i = 0; i < 4; ++i)
    expectNear(after.corners[i], corners[i], 1e-3);  // written to four decimals
  o.motion().setAutoKey(false);
  o.drag(MotionCanvas::Handle::Rotate, {100, 0}, {220, 90});
  // The picture turned about the new pivot: the pivot stays put.
  expectNear(o.editor.canvas().handles().pivot, {100, 90}, 1e-3);
}

TEST(MotionEditing, KeysMoveDeleteCopyAndPaste) {
  Animating o;
  for (int frame : {0, 6, 12})
    o.motion().setKey({1, MotionProperty::Opacity}, frame / 12.0, {frame / 12.0, 0});
  const MotionTarget opacity{1, MotionProperty::Opacity};
  // Moving a key never passes the next one that stays.
  o.motion().shiftKeys({{opacity, 1}}, 40);
  EXPECT_NEAR(o.motion().track(opacity)->keys[1].time, 11.0 / 12.0, 1e-4);
  // Two keys of a track deleted at once: the right two go.
  o.motion().deleteKeys({{opacity, 0}, {opacity, 2}});
  ASSERT_EQ(o.motion().track(opacity)->keys.size(), 1u);
  EXPECT_NEAR(o.motion().track(opacity)->keys[0].time, 11.0 / 12.0, 1e-4);
  o.motion().setCurve({{opacity, 0}}, Curve{Curve::Kind::Hold});
  EXPECT_NE(o.line("layer1.opacity").find("hold"), std::string::npos);
  // Copied from layer 1, pasted onto layer 2 at 2 s.
  o.motion().selectKeys({{opacity, 0}});
  o.motion().copyKeys();
  o.editor.lists().selectTreeItem(1);
  o.motion().pasteKeys(2.0);
  const MotionTrack* pasted = o.motion().track({2, MotionProperty::Opacity});
  ASSERT_NE(pasted, nullptr);
  EXPECT_DOUBLE_EQ(pasted->keys[0].time, 2.0);
  EXPECT_EQ(pasted->keys[0].curve.kind, Curve::Kind::Hold);
}

TEST(MotionEditing, ParentsRefuseCirclesAndFollowTheLayerTheyHang) {
  Animating o;
  EXPECT_TRUE(o.motion().setParent(2, 1));
  EXPECT_TRUE(o.motion().setParent(3, 2));
  EXPECT_FALSE(o.motion().setParent(1, 3));
  ASSERT_EQ(o.port.notices.size(), 1u);
  EXPECT_NE(o.port.notices[0].find("3"), std::string::npos);
  EXPECT_EQ(o.line("layer1.parent"), "");
  EXPECT_FALSE(o.motion().setParent(2, 2));
  // Layer 2 follows layer 1's move.
  o.editor.lists().selectTreeItem(1);
  const auto before = o.editor.canvas().handles().pivot;
  o.motion().setKey(kBackgroundPosition, 0.0, {-10, 0});
  expectNear(o.editor.canvas().handles().pivot, {before[0] + 10, before[1]});
  EXPECT_TRUE(o.motion().setParent(2, 0));
  EXPECT_EQ(o.line("layer2.parent"), "");
  // The layer dialog offers the other layers as parents; a choice that makes a circle is said
  // and left out, the rest of the dialog's changes stay.
  std::vector<std::pair<int, std::string>> offered;
  o.port.layerDialog = [&offered](LayerValues& v) {
    offered = v.parents;
    v.parent = 3;  // layer 3 hangs on layer 2
    v.name = "renamed";
    return true;
  };
  o.editor.lists().selectTreeItem(1);
  o.editor.layers().layerSettings();
  ASSERT_EQ(offered.size(), 3u);
  const size_t noticesBefore = 2;  // the two refusals above
  ASSERT_EQ(o.port.notices.size(), noticesBefore + 1);
  EXPECT_NE(o.port.notices.back().find("3"), std::string::npos);
  EXPECT_EQ(o.line("layer2.parent"), "");
  EXPECT_EQ(o.editor.session().project().layers[1].name, "renamed");
  o.port.layerDialog = [](LayerValues& v) {
    EXPECT_EQ(v.parent, 0);
    v.parent = 1;
    return true;
  };
  o.editor.layers().layerSettings();
  EXPECT_EQ(o.line("layer2.parent"), "1");
}

// The path: a dot a frame, and the keys with their tangents where the layer is at their time.
TEST(MotionEditing, PathFollowsTheKeys) {
  Animating o;
  o.motion().setKey(kBackgroundPosition, 0.0, {0, 0});
  o.motion().setKey(kBackgroundPosition, 1.0, {-24, 0});
  o.motion().setTangents({kBackgroundPosition, 1}, std::array<double, 4>{0, 10, 0, -10});
  const auto path = o.editor.canvas().path();
  int dots = 0;
  std::vector<MotionCanvas::PathPoint> keys;
  for (const auto& point : path)
    (point.key < 0 ? (void)++dots : keys.push_back(point));
  EXPECT_EQ(dots, static_cast<int>(std::lround(o.editor.view().totalTime() * 12)));
  ASSERT_EQ(keys.size(), 2u);
  expectNear(keys[1].at, {184, 120});
  ASSERT_TRUE(keys[1].in && keys[1].out);
  expectNear(*keys[1].in, {184, 110});
  // A key's point and its out handle dragged on the path.
  o.editor.session().beginGesture();
  o.editor.canvas().dragPathKey(1, 0, 190, 120);
  o.editor.canvas().dragPathKey(1, 2, 190, 140);
  o.editor.session().endGesture();
  const MotionKey& key = o.motion().track(kBackgroundPosition)->keys[1];
  expectNear(key.value, {-30, 0});
  expectNear({(*key.tangents)[2], (*key.tangents)[3]}, {0, -20});
  o.editor.undo();
  expectNear(o.motion().track(kBackgroundPosition)->keys[1].value, {-24, 0});
}

TEST(MotionEditing, HandlesAreFoundUnderThePointer) {
  Animating o;
  using H = MotionCanvas::Handle;
  EXPECT_EQ(o.editor.canvas().handleAt(161, 119, 6), H::Pivot);
  EXPECT_EQ(o.editor.canvas().handleAt(40, 200, 6), H::Move);
  EXPECT_EQ(o.editor.canvas().handleAt(318, 2, 6), H::Scale);
  EXPECT_EQ(o.editor.canvas().handleAt(160, -24, 6), H::Rotate);
  EXPECT_EQ(o.editor.canvas().handleAt(-40, 300, 6), std::nullopt);
  o.editor.lists().selectTreeItem(-1);
  EXPECT_FALSE(o.editor.canvas().handles().shown);
}

// Outside the camera the preview shows the world as it is, and the camera's frame where it
// films: zoomed in twice on the centre, the middle half of the frame. Off again, the camera's
// view comes back byte for byte.
TEST(MotionEditing, OutsideTheCameraShowsItsFrame) {
  Animating o;
  o.editor.view().setPreviewShown(true);
  o.editor.view().setTotalMode(true);
  EXPECT_FALSE(o.editor.canvas().cameraFrame());
  o.motion().setKey({0, MotionProperty::Scale}, 0.0, {2.0, 0.0});
  const std::vector<uint32_t> filmed = test::argbPixels(o.editor.view().canvas());
  const auto frame = o.editor.canvas().cameraFrame();
  ASSERT_TRUE(frame);
  expectNear((*frame)[0], {80, 60});
  expectNear((*frame)[2], {240, 180});
  o.editor.run(Command::OutsideCamera);
  EXPECT_TRUE(o.editor.checked(Command::OutsideCamera));
  EXPECT_NE(test::argbPixels(o.editor.view().canvas()), filmed);
  o.editor.run(Command::OutsideCamera);
  EXPECT_EQ(test::argbPixels(o.editor.view().canvas()), filmed);
}

}  // namespace
}  // namespace pelorix
