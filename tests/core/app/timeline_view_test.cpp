// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline's blocks and what a point of it is on; the export choices kept per project.
#include <gtest/gtest.h>

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
