// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/run_plan.h"
#include "base/c_locale.h"
#include "render/picture_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine_test_support.h"
#include "output/formats.h"

namespace pelorix {
namespace {

using test::Animation;

// Every refusal of the planning step, each with what says why; none writes anything.
TEST(PlanRun, EveryRefusalComesBeforeAnythingIsMade) {
  struct Case {
    const char* what;
    std::function<void(Animation&)> change;
    const char* says;  // a piece of the refusal
  };
  const Case cases[] = {
      {"gif series", [](Animation& a) { a.scene.project.outputFormat = "gif"; }, "GIF"},
      {"animated gif", [](Animation& a) { a.settings.oneFile = "anim.gif"; }, "GIF"},
      {"no frame rate", [](Animation& a) { a.scene.project.fps = 0.0f; }, "0.00"},
      {"not one file", [](Animation& a) { a.settings.oneFile = "anim.avi"; }, "anim.avi"},
      {"unknown type", [](Animation& a) { a.scene.project.outputFormat = "xyz"; }, ".xyz"},
      {"empty type", [](Animation& a) { a.scene.project.outputFormat = ""; }, "empty"},
      {"one file without frames",
       [](Animation& a) {
         a.settings.oneFile = "anim.apng";
         a.scene.project.layers[0].visible = a.scene.project.layers[1].visible = 0;
       },
       "画面"},
      {"resume one file",
       [](Animation& a) {
         a.settings.oneFile = "anim.apng";
         a.settings.skipExisting = true;
       },
       "--skip-existing"},
      {"too many frames", [](Animation& a) { a.scene.project.fps = 1e30f; }, "10000000"},
      {"range after the end",
       [](Animation& a) {
         a.settings.frames = {{40, 50}};
       },
       "40-50"},
      {"memory", [](Animation& a) { a.settings.availableMemory = 1u << 20; }, "MB"},
  };
  for (const Case& c : cases) {
    Animation animation(1.0f);
    c.change(animation);
    const PlanOutcome planned = planRun(animation.scene.project, animation.settings);
    EXPECT_FALSE(planned.plan) << c.what;
    EXPECT_NE(planned.refusal.find(c.says), std::string::npos) << c.what << ": " << planned.refusal;
    EXPECT_FALSE(std::filesystem::exists(animation.scene.dir.path() / "out")) << c.what;
  }
}

TEST(PlanRun, ThePlanNamesTheFormatFramesPathsAndWorkers) {
  Animation animation(1.0f);
  animation.settings.frames = {{10, 99}};
  animation.settings.jobs = 8;
  animation.settings.availableMemory = 20u << 20;  // room for two workers of 64x48
  const PlanOutcome planned = planRun(animation.scene.project, animation.settings);
  ASSERT_TRUE(planned.plan) << planned.refusal;
  const RunPlan& plan = *planned.plan;
  EXPECT_EQ(plan.format->name, "png");
  EXPECT_EQ(plan.format->kind, OutputKind::Series);
  EXPECT_EQ(plan.first, 10);
  EXPECT_EQ(plan.last, 29);  // 30 frames in a second at 30 fps
  EXPECT_EQ(plan.folder, animation.scene.dir.folder() + "out");
  EXPECT_EQ(plan.jobs, 2);
  EXPECT_EQ(planned.log.front(), "トータルタイム　1.00　画面数　30");
  EXPECT_NE(planned.log.back().find("2 本のスレッド"), std::string::npos);

  // One file (an animation: it needs no video module).
  animation.settings.oneFile = "moving/anim.APNG";
  const PlanOutcome moving = planRun(animation.scene.project, animation.settings);
  ASSERT_TRUE(moving.plan) << moving.refusal;
  EXPECT_EQ(moving.plan->format->name, "apng");
  EXPECT_EQ(moving.plan->oneFilePath, animation.scene.dir.folder() + "moving/anim.APNG");
  EXPECT_EQ(moving.plan->folder, animation.scene.dir.folder() + "moving/");
  EXPECT_TRUE(animation.files().empty());
}

// A moving picture costs what its decoder and its kept frames take, by their bytes, and a frame
// for each worker: a run whose moving pictures would not fit is refused before anything is made.
TEST(PlanRun, MovingPicturesAndLevelsCountInTheMemoryEstimate) {
  Animation animation(1.0f);
  for (int k = 0; k < 2; ++k)
    animation.scene.writeImage(formatC("big%d.bmp", k), test::solidImage(1024, 1024, 1, 2, 3));
  Project& project = animation.scene.project;
  project.layers[1].sources[0].file = "big#.bmp";
  const std::vector<int> layers = {0, 1};
  const MemoryNeed still = estimateMemory(project, {0}, animation.scene.dir.folder(), false);
  const MemoryNeed need = estimateMemory(project, layers, animation.scene.dir.folder(), false);
  const uint64_t frame = 1024 * 1024 * 4;
  EXPECT_GE(need.pictures - still.pictures, movingPictureBytes(frame));
  EXPECT_GE(movingPictureBytes(frame), 3 * frame);  // the decoder's two and one kept
  EXPECT_GE(need.perWorker - still.perWorker, frame);
  // Played small, a still picture counts its smaller copies too.
  project.motion.pictureLevels = true;
  EXPECT_GT(estimateMemory(project, {0}, animation.scene.dir.folder(), false).pictures,
            still.pictures);
  project.motion.pictureLevels = false;
  animation.settings.availableMemory = need.total(1) - 1;
  const PlanOutcome planned = planRun(project, animation.settings);
  EXPECT_FALSE(planned.plan);
  EXPECT_NE(planned.refusal.find("MB"), std::string::npos);
}

}  // namespace
}  // namespace pelorix
