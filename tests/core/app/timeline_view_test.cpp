// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline's blocks and what a point of it is on; the export choices kept per project.
#include <gtest/gtest.h>

#include <cmath>

#include "app/curve_view.h"
#include "app/export_choices.h"
#include "app/timeline_view.h"
#include "output/formats.h"

namespace pelorix {
namespace {

Project twoLayers() {
  Project p;
  p.resetProject();
  p.fps = 10.0f;
  for (int number : {2, 1}) {
    const int index = p.addLayer();
    p.layers[static_cast<size_t>(index)].number = number;
    p.layers[static_cast<size_t>(index)].visible = number == 1;
    for (float duration : {1.0f, 0.0f, 2.5f}) {
      Source s;
      s.file = "pics/a.png";
      s.duration = duration;
      s.flags = withEase(sourceAutoCalc, number == 2 ? Ease::InOut : Ease::Linear);
      p.addSource(index, s);
    }
  }
  return p;
}

// A keyed layer unfolds into a lane per keyed property, and the camera's keys come last; a
// folded layer hides its lanes; lanes are lower rows, a key is hit at its diamond, and the rows
// scroll to show a row below the view.
TEST(Timeline, KeyLanesFoldAndScroll) {
  Project p = twoLayers();
  p.setSetting("layer1.position", "0:0,0;1:10,0");
  p.setSetting("layer1.opacity", "0.5:1;2:0");
  p.setSetting("camera.zoom", "0:1;3:2");
  const TimelineModel model = timelineModel(p);
  ASSERT_EQ(model.rows.size(), 6u);  // 01, its two lanes, 02, the camera, its lane
  EXPECT_TRUE(model.rows[0].keyed);
  EXPECT_TRUE(model.rows[1].lane);
  EXPECT_EQ(model.rows[1].target, (MotionTarget{1, MotionProperty::Position}));
  EXPECT_EQ(model.rows[2].keys, (std::vector<double>{0.5, 2.0}));
  EXPECT_EQ(model.rows[4].layerIndex, -1);
  EXPECT_EQ(model.rows[5].target, (MotionTarget{0, MotionProperty::Scale}));
  EXPECT_EQ(timelineModel(p, {1}).rows.size(), 4u);

  TimelineGeometry g;
  g.layOut(model.rows);
  EXPECT_EQ(g.rowTop(1), g.ruler + g.rowHeight);
  EXPECT_EQ(g.rowTop(3), g.ruler + g.rowHeight + 2 * g.laneHeight);
  const TimelineHit key = hitTimeline(model, g, static_cast<int>(g.xOf(2.0)) + 2, g.rowTop(2) + 4);
  EXPECT_EQ(key.kind, TimelineHit::Key);
  EXPECT_EQ(key.block, 1);
  EXPECT_EQ(hitTimeline(model, g, static_cast<int>(g.xOf(1.2)), g.rowTop(2) + 4).kind,
            TimelineHit::Nothing);
  const int view = g.ruler + 2 * g.rowHeight;  // two layer rows high
  g.rowScroll = g.scrollShowing(5, view);
  EXPECT_EQ(g.rowTop(5) + g.laneHeight, view);
  EXPECT_EQ(g.rowAt(g.rowTop(5) + 1, 6), 5);
  EXPECT_EQ(g.scrollShowing(0, view), 0);
}

// The curve editor's view: framing takes in a curve's overshoot; a Bézier handle dragged above
// the next key's value gives a y beyond 1 (an overshoot), its time stays within the segment,
// and on a flat segment its height is kept; handles are caught before the key under them; a
// held segment is drawn as a step.
TEST(CurveView, FrameHandlesAndSteps) {
  MotionTrack track;
  MotionKey a, b, c;
  a.value = {0.0, 0.0};
  a.curve = {Curve::Kind::Bezier, 0.34, 1.56, 0.64, 1.0};  // overshoots
  b.time = 1.0;
  b.value = {10.0, 0.0};
  b.curve = {Curve::Kind::Hold};
  c.time = 2.0;
  c.value = {10.0, 0.0};
  track.keys = {a, b, c};
  CurveView view;
  view.frameAll({{&track, 0}});
  EXPECT_LT(view.t0, 0.0);
  EXPECT_GT(view.t1, 2.0);
  EXPECT_GT(view.v1, track.at(0.6)[0]);  // the overshoot is in view
  EXPECT_GT(track.at(0.6)[0], 10.0);

  const Curve dragged = curveWithHandle(track, 0, 0, 2, 0.5, 15.0);
  EXPECT_DOUBLE_EQ(dragged.x2, 0.5);
  EXPECT_DOUBLE_EQ(dragged.y2, 1.5);
  EXPECT_DOUBLE_EQ(dragged.x1, 0.34);
  EXPECT_DOUBLE_EQ(curveWithHandle(track, 0, 0, 1, -3.0, 0.0).x1, 0.0);
  const Curve flat = curveWithHandle(track, 0, 1, 1, 1.5, 99.0);  // b to c: flat, now a Bézier
  EXPECT_EQ(flat.kind, Curve::Kind::Bezier);
  EXPECT_DOUBLE_EQ(flat.x1, 0.5);
  EXPECT_DOUBLE_EQ(flat.y1, 0.0);

  // The handle by key a sits at its time plus 0.34 s: caught there rather than the key.
  const auto hit = curveHandleAt(track, 0, view, view.xOf(0.34), view.yOf(15.6), 50.0);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->which, 1);
  const std::vector<std::array<double, 2>> points = curvePoints(track, 0, view);
  const auto stepDown = std::find_if(points.begin(), points.end(), [&](const auto& p) {
    return std::fabs(p[0] - view.xOf(2.0)) < 1e-9;
  });
  ASSERT_NE(stepDown, points.end());
  EXPECT_DOUBLE_EQ((*stepDown)[1], view.yOf(10.0));  // held at b's value up to c
}

// Rows in draw order (by number), blocks from the durations, a zero-length block kept, the
// glide on every block but the last; hits on the ruler, a block, its end (a block of length 0
// is caught at its edge) and nothing; only the blocks in view are visited.
TEST(Timeline, BlocksAndHits) {
  const TimelineModel model = timelineModel(twoLayers());
  ASSERT_EQ(model.rows.size(), 2u);
  EXPECT_EQ(model.rows[0].name, "01 -");
  EXPECT_FALSE(model.rows[1].shown);
  const TimelineRow& row = model.rows[0];
  ASSERT_EQ(row.blocks.size(), 3u);
  EXPECT_EQ(row.blocks[2].start, 1.0);
  EXPECT_EQ(row.blocks[2].end, 3.5);
  EXPECT_EQ(row.blocks[0].label, "a.png");
  EXPECT_TRUE(row.blocks[1].glides);
  EXPECT_FALSE(row.blocks[2].glides);
  EXPECT_EQ(model.rows[1].blocks[0].ease, Ease::InOut);
  EXPECT_EQ(model.total, 3.5);

  TimelineGeometry g;  // 80 pixels a second after a header of 110
  EXPECT_EQ(hitTimeline(model, g, 150, 5).kind, TimelineHit::Ruler);
  const TimelineHit block = hitTimeline(model, g, 110 + 150, g.rowTop(1) + 5);
  EXPECT_EQ(block.kind, TimelineHit::Block);
  EXPECT_EQ(block.rowIndex, 1);
  EXPECT_EQ(block.block, 2);
  const TimelineHit edge = hitTimeline(model, g, 110 + 82, g.rowTop(0) + 5);
  EXPECT_EQ(edge.kind, TimelineHit::BlockEnd);
  EXPECT_EQ(edge.block, 1);  // the later of two blocks ending at 1 s
  EXPECT_EQ(hitTimeline(model, g, 50, g.rowTop(0) + 5).kind, TimelineHit::Nothing);
  EXPECT_EQ(hitTimeline(model, g, 200, g.rowTop(5)).kind, TimelineHit::Nothing);
  EXPECT_EQ(visibleBlocks(row, 2.0, 3.0), (std::pair<size_t, size_t>{2, 3}));
  EXPECT_EQ(visibleBlocks(row, 4.0, 5.0).first, visibleBlocks(row, 4.0, 5.0).second);

  g.zoom(1e9, 300);  // zooming keeps the time under the pointer, within its limits
  EXPECT_EQ(g.pixelsPerSecond, 4000.0);
  EXPECT_NEAR(g.timeOf(300), (300 - 110) / 80.0, 1e-9);
}

// The choices of an export come back as they were; the frame range follows the project; a
// numbered GIF stays a series whatever the project's one-file option; a file gets its format's
// extension.
TEST(ExportChoices, ComeBackAndMakeTheRun) {
  Project project = twoLayers();
  project.outputFormat = "gif";
  project.options = projectAnimatedFile;
  project.saveFolder = "out";
  project.saveFileName = "anim";
  ExportValues values = defaultExport(project, "/p/");
  EXPECT_EQ(&outputFormats()[static_cast<size_t>(values.format)],
            findOutputFormat("gif", OutputKind::OneFile));
  EXPECT_EQ(values.path, "out/anim.gif");
  EXPECT_EQ(values.last, values.frameCount - 1);
  values.format =
      static_cast<int>(findOutputFormat("mp4", OutputKind::OneFile) - outputFormats().data());
  values.path = "clip";
  values.encode.codec = video::Codec::H265;
  values.encode.crf = 20;
  values.width = 640;
  values.first = 5;
  const std::string text = exportChoicesText(values, project);
  ExportValues read = defaultExport(project, "/p/");
  applyExportChoices(text, read);
  EXPECT_EQ(read.format, values.format);
  EXPECT_EQ(read.encode.codec, video::Codec::H265);
  EXPECT_EQ(read.encode.crf, 20);
  EXPECT_EQ(read.width, 640);
  EXPECT_EQ(read.first, 0);
  const ExportRun run = exportRun(read, project);
  EXPECT_EQ(run.settings.oneFile, "clip.mp4");
  EXPECT_EQ(run.settings.size, (std::pair<int, int>{640, project.outputHeight}));

  read.format =
      static_cast<int>(findOutputFormat("gif", OutputKind::Series) - outputFormats().data());
  read.path = "frames";
  const ExportRun series = exportRun(read, project);
  EXPECT_EQ(series.settings.outputFolder, "frames");
  EXPECT_EQ(series.project.options & projectAnimatedFile, 0);
}

}  // namespace
}  // namespace pelorix
