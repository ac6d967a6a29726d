// SPDX-License-Identifier: GPL-3.0-or-later
// Lottie files played by another player (rlottie) against Pelorix's own frames, every frame.
#include <gtest/gtest.h>
#include <rlottie_capi.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "base/log_sink.h"
#include "base/paths.h"
#include "engine_test_support.h"
#include "model/extensions.h"
#include "model/project_file.h"
#include "output/run_plan.h"
#include "render/compositor.h"
#include "render/draw_list.h"
#include "test_support.h"

namespace pelorix::test {
namespace {

std::string exportLottie(const Project& project, const std::string& folder, const std::string& path,
                         RecordingListener& listener) {
  ConversionSettings settings;
  settings.projectFolder = folder;
  settings.oneFile = path;
  PlanOutcome planned = planRun(project, settings);
  if (!planned.plan) return planned.refusal;
  ConversionEngine engine;
  if (!engine.launch(std::move(*planned.plan), std::move(planned.log), listener)) return "refused";
  engine.wait();
  return listener.outcome == ConversionOutcome::Completed ? "" : listener.message;
}

// rlottie samples pictures at their nearest pixel, so every sharp edge of a bilinear layer
// differs by a pixel's contrast; drawn at kSuper times the size with each block averaged, as a
// smoothing player shows them, the pictures are compared rather than the sampling.
constexpr int kSuper = 8;

// PSNR of the colours of a Pelorix frame (over black) against rlottie's premultiplied ARGB at
// kSuper times its size.
double psnr(const DibImage& frame, const std::vector<uint32_t>& played) {
  const int w = frame.width();
  double error = 0.0;
  std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
  for (int y = 0; y < frame.height(); ++y) {
    readRowBgra(frame, y, row.data());
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        double sum = 0.0;
        for (int dy = 0; dy < kSuper; ++dy) {
          for (int dx = 0; dx < kSuper; ++dx) {
            const size_t at = static_cast<size_t>((y * kSuper + dy) * w * kSuper + x * kSuper + dx);
            sum += (played[at] >> (8 * c)) & 0xFF;
          }
        }
        const double diff = row[static_cast<size_t>(4 * x + c)] - sum / (kSuper * kSuper);
        error += diff * diff;
      }
    }
  }
  const double mse = error / (3.0 * w * frame.height());
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The lowest PSNR over every frame of a project exported and played back.
double worstFrame(const std::string& projectPath, int* frames = nullptr) {
  Project project;
  EXPECT_GE(loadProject(project, projectPath).result, 0);
  TempDir dir;
  RecordingListener listener;
  const std::string json = dir.file("anim.json");
  EXPECT_EQ(exportLottie(project, folderOf(projectPath), json, listener), "");
  std::ifstream in(json);
  std::stringstream text;
  text << in.rdbuf();
  Lottie_Animation* animation = lottie_animation_from_data(text.str().c_str(), json.c_str(), "");
  EXPECT_NE(animation, nullptr);
  if (!animation) return 0.0;
  const int w = project.outputWidth, h = project.outputHeight;
  const auto count = static_cast<int>(lottie_animation_get_totalframe(animation));
  if (frames) *frames = count;
  NullLogSink log;
  Compositor compositor(log);
  compositor.setProjectFolder(folderOf(projectPath));
  const std::vector<int> layers = buildDrawList(project).layers;
  double worst = 99.0;
  std::vector<uint32_t> played(static_cast<size_t>(w * h * kSuper * kSuper));
  for (int i = 0; i < count; ++i) {
    DibImage frame;
    const float t = static_cast<float>(i / static_cast<double>(project.fps));
    if (!compositor.composeFrame(frame, project, layers, t))
      compositor.makeBlankFrame(frame, project);
    lottie_animation_render(animation, static_cast<size_t>(i), played.data(),
                            static_cast<size_t>(w * kSuper), static_cast<size_t>(h * kSuper),
                            static_cast<size_t>(w * kSuper) * 4);
    worst = std::min(worst, psnr(frame, played));
  }
  lottie_animation_destroy(animation);
  return worst;
}

// The demo's glides, colour key, easing and picture transparency. Its worst frames (34.6 dB)
// hold the logo turned 20 degrees at 1.2 times its size: the places are exact (moving its anchor
// by a fifth of a pixel either way loses 2 dB), and what differs is how each player draws the
// picture's sharp edges.
TEST(Lottie, DemoPlaysAsPelorixComposesIt) {
  int frames = 0;
  const double worst =
      worstFrame(std::string(PELORIX_SOURCE_DIR) + "/examples/demo/demo.pxp", &frames);
  EXPECT_EQ(frames, 36);
  EXPECT_GE(worst, 34.5);
}

TEST(Lottie, KeysParentsPivotAndCameraPlayAsComposed) {
  EXPECT_GE(worstFrame(std::string(PELORIX_SOURCE_DIR) + "/examples/motion/motion.pxp"), 35.0);
}

// What Lottie cannot hold is said: a moving picture refuses the file by its layer and nothing
// is left; an add blend mode is written as normal, and the log says so.
TEST(Lottie, MovingPicturesAreRefusedAndAddIsSaid) {
  Scene scene(32, 24);
  scene.writeImage("still.png", patternImage(8, 8));
  scene.writeImage("walk01.png", patternImage(8, 8));
  scene.writeImage("walk02.png", patternImage(8, 8));
  scene.addLayer(1, "still.png", Source{}, withBlendMode(0, BlendMode::Add));
  RecordingListener added;
  EXPECT_EQ(exportLottie(scene.project, scene.dir.folder(), scene.dir.file("a.json"), added), "");
  EXPECT_TRUE(added.logged("layer 1: Lottie has no add blend mode; it is written as normal"));
  scene.addLayer(2, "walk##.png");
  RecordingListener moving;
  const std::string refused =
      exportLottie(scene.project, scene.dir.folder(), scene.dir.file("b.json"), moving);
  EXPECT_NE(refused.find("layer 2: walk##.png moves"), std::string::npos) << refused;
  EXPECT_FALSE(std::filesystem::exists(scene.dir.file("b.json")));
}

// Curves and easings become Lottie's handles exactly: a CSS cubic-bezier's own numbers, a
// glide's ease-in-out (of its scale) as (1/3, 0) (2/3, 1), a hold as "h"; a child hangs from
// its parent's null.
TEST(Lottie, CurvesEasingsAndParentsMapExactly) {
  Scene scene(32, 24);
  scene.writeImage("a.png", patternImage(8, 8));
  Source from;
  from.duration = 1.0f;
  from.flags = withEase(sourceAutoCalc, Ease::InOut);
  const int parent = scene.addLayer(1, "a.png", from);
  Source to = from;
  to.file = "a.png";
  to.scale = 2.0f;
  scene.project.addSource(parent, to);
  scene.addLayer(2, "a.png");
  scene.project.setSetting(
      "layer1.rotation",
      "0.0000:0.0000:bezier(0.2500,0.1000,0.2500,1.0000);1.0000:90.0000:hold;2.0000:0.0000:linear");
  scene.project.setSetting("layer2.parent", "1");
  RecordingListener listener;
  ASSERT_EQ(exportLottie(scene.project, scene.dir.folder(), scene.dir.file("c.json"), listener),
            "");
  std::ifstream in(scene.dir.file("c.json"));
  std::stringstream text;
  text << in.rdbuf();
  const std::string json = text.str();
  EXPECT_NE(json.find(R"("o":{"x":[0.25],"y":[0.1]},"i":{"x":[0.25],"y":[1]})"), std::string::npos);
  EXPECT_NE(json.find(R"("h":1)"), std::string::npos);
  EXPECT_NE(
      json.find(R"("o":{"x":[0.3333333333333333],"y":[0]},"i":{"x":[0.6666666666666666],"y":[1]})"),
      std::string::npos);
  // The parent's null is layer 1; both layers' pictures hang from it.
  EXPECT_NE(json.find(R"j("ind":1,"ty":3,"nm":"- (motion)")j"), std::string::npos)
      << json.substr(0, 400);
  EXPECT_NE(json.find(R"j("ind":2,"ty":3,"nm":"- (motion)","parent":1)j"), std::string::npos);
}

}  // namespace
}  // namespace pelorix::test
