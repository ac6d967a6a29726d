// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/conversion_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <mutex>

#include "base/c_locale.h"
#include "engine_test_support.h"
#include "imageio/pixel_convert.h"
#include "model/project_file.h"
#include "output/output_files.h"
#include "render/compositor.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

using test::Animation;
using test::readFile;
using test::RecordingListener;
using test::TempDir;

std::vector<std::string> numbered(int first, int last, const std::string& base = "img",
                                  const std::string& ext = ".png") {
  std::vector<std::string> names;
  for (int i = first; i <= last; ++i)
    names.push_back(base + formatC("%04d", i) + ext);
  return names;
}

TEST(FrameFiles, NamesJoinFolderBaseIndexAndFormat) {
  EXPECT_EQ(frameFileName("C:/out", "img", 0, "png"), "C:/out/img0000.png");
  EXPECT_EQ(frameFileName("C:/out/", "img", 1, ".png"), "C:/out/img0001.png");
  EXPECT_EQ(frameFileName("out\\", "img", 12, "jpg"), "out\\img0012.jpg");
  EXPECT_EQ(frameFileName("", "img", 10000, "bmp"), "img10000.bmp");
  EXPECT_EQ(totalTimeLine(2.0f, 30.0f), "トータルタイム　2.00　画面数　60");
  EXPECT_TRUE(gifRefused("gif", true));
  EXPECT_TRUE(gifRefused("GIF", true));
  EXPECT_FALSE(gifRefused("Gif", true));
  EXPECT_FALSE(gifRefused(".gif", true));
  EXPECT_FALSE(gifRefused("gif", false));
}

TEST(ConversionEngine, WritesEveryFrameInOrderWithItsLogLines) {
  Animation animation(1.0f);
  animation.settings.keepFrames = true;
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Completed);
  EXPECT_EQ(animation.files(), numbered(0, 29));
  ASSERT_EQ(listener.written.size(), 30u);
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(listener.written[static_cast<size_t>(i)], i);
  EXPECT_EQ(listener.framesKept, 30);
  EXPECT_EQ(listener.log.front(), "トータルタイム　1.00　画面数　30");
  EXPECT_EQ(listener.log.back().rfind("変換時間は", 0), 0u);
  EXPECT_EQ(listener.values.front(), 0);
  EXPECT_EQ(listener.values.back(), 29);
  EXPECT_EQ(listener.lastTotal, 30);
  EXPECT_EQ(listener.finishedCalls, 1);
  // The decoded sources of the layers are logged in frame order, once per worker at most.
  for (const std::string& line : listener.log)
    EXPECT_EQ(line.find("failed"), std::string::npos) << line;
}

TEST(ConversionEngine, ParallelWorkersWriteTheBytesOfOneWorker) {
  Animation animation(0.5f);
  RecordingListener one;
  animation.settings.jobs = 1;
  animation.run(one);
  std::vector<std::string> sequential;
  for (const std::string& name : animation.files())
    sequential.push_back(readFile(animation.scene.dir.file("out/" + name)));
  std::filesystem::remove_all(animation.scene.dir.path() / "out");
  RecordingListener four;
  animation.settings.jobs = 4;
  animation.run(four);
  const auto names = animation.files();
  ASSERT_EQ(names.size(), sequential.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(readFile(animation.scene.dir.file("out/" + names[i])), sequential[i]) << names[i];
  }
}

TEST(ConversionEngine, RangesAddUpToAFullRun) {
  Animation animation(0.5f);
  RecordingListener full;
  animation.settings.outputFolder = "full";
  animation.run(full);
  for (const auto& [first, last] : {std::pair{0, 6}, std::pair{7, 12}, std::pair{13, 1000}}) {
    RecordingListener part;
    animation.settings.outputFolder = "parts";
    animation.settings.frames = {first, last};
    EXPECT_EQ(animation.run(part), ConversionOutcome::Completed);
  }
  EXPECT_EQ(animation.files("parts"), animation.files("full"));
  // A range wholly after the end writes nothing and says so.
  RecordingListener beyond;
  animation.settings.frames = {500, 600};
  EXPECT_EQ(animation.run(beyond), ConversionOutcome::Refused);
  EXPECT_NE(beyond.message.find("after the last frame"), std::string::npos) << beyond.message;
  for (const std::string& name : animation.files("full")) {
    EXPECT_EQ(readFile(animation.scene.dir.file("parts/" + name)),
              readFile(animation.scene.dir.file("full/" + name)));
  }
}

TEST(ConversionEngine, AbortLeavesAContiguousPrefix) {
  // Aborted from a progress report: how far the workers got is up to the scheduler, but what
  // is on disk is always a prefix (long enough that the workers cannot have finished it all).
  Animation animation(30.0f);
  animation.settings.jobs = 3;
  RecordingListener listener;
  listener.abortAfter = 5;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Aborted);
  const auto files = animation.files();
  ASSERT_GE(files.size(), 5u);
  EXPECT_EQ(files, numbered(0, static_cast<int>(files.size()) - 1));
  EXPECT_TRUE(listener.logged("中断しました。"));
  EXPECT_NE(listener.log.back().rfind("変換時間は", 0), 0u);

  // Aborted at once: only the frames already handed out are finished (how many that is depends
  // on how long this thread waited for the processor after start()).
  Animation early(2.0f);
  early.settings.jobs = 3;
  RecordingListener stopped;
  ConversionEngine engine;
  engine.start(early.scene.project, early.settings, stopped);
  engine.abort();
  engine.wait();
  const auto few = early.files();
  EXPECT_LT(few.size(), 60u);
  if (!few.empty()) {
    EXPECT_EQ(few, numbered(0, static_cast<int>(few.size()) - 1));
  }
  EXPECT_EQ(stopped.outcome, ConversionOutcome::Aborted);
}

TEST(ConversionEngine, SkipExistingResumes) {
  Animation animation(0.3f);
  std::filesystem::create_directories(animation.scene.dir.path() / "out");
  test::writeFile(animation.scene.dir.file("out/img0003.png"), "kept");
  animation.settings.skipExisting = true;
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Completed);
  EXPECT_EQ(animation.files(), numbered(0, 8));
  EXPECT_EQ(readFile(animation.scene.dir.file("out/img0003.png")), "kept");
  EXPECT_EQ(listener.written.size(), 8u);
}

TEST(ConversionEngine, SaveFolderOfSeveralLevelsBesideTheProject) {
  Animation animation(0.1f);
  animation.scene.project.saveFolder = "a/b/c";
  animation.scene.project.outputFormat = ".bmp";
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Completed);
  EXPECT_EQ(animation.files("a/b/c"), numbered(0, 2, "img", ".bmp"));
}

TEST(ConversionEngine, FolderThatCannotBeMadeStopsBeforeAnyFrame) {
  Animation animation(0.1f);
  test::writeFile(animation.scene.dir.file("blocker"), "a file");
  animation.scene.project.saveFolder = "blocker/out";
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Refused);
  EXPECT_EQ(listener.message.rfind("Save image failed:\n80004005 - cannot create the folder", 0),
            0u)
      << listener.message;
  EXPECT_TRUE(listener.logged(listener.message));
}

TEST(ConversionEngine, GifIsRefusedUnlessAllowed) {
  for (const char* format : {"gif", "GIF"}) {
    Animation animation(0.1f);
    animation.scene.project.outputFormat = format;
    RecordingListener listener;
    EXPECT_EQ(animation.run(listener), ConversionOutcome::Refused);
    EXPECT_EQ(listener.message, kGifRefused);
    EXPECT_TRUE(animation.files().empty());
  }
  Animation allowed(0.1f);
  allowed.scene.project.outputFormat = "gif";
  allowed.settings.refuseGif = false;
  RecordingListener listener;
  EXPECT_EQ(allowed.run(listener), ConversionOutcome::Completed);
  EXPECT_EQ(allowed.files(), numbered(0, 2, "img", ".gif"));
}

TEST(ConversionEngine, UnknownFormatIsRefusedBeforeAnythingIsMade) {
  Animation animation(0.5f);
  animation.scene.project.outputFormat = "xyz";
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Refused);
  EXPECT_EQ(listener.message.rfind("Save image failed:\n80004005 - ", 0), 0u) << listener.message;
  EXPECT_FALSE(std::filesystem::exists(animation.scene.dir.path() / "out"));
  EXPECT_TRUE(listener.written.empty());
}

// Very long or very fast animations: a count beyond the cap is refused before anything is
// made, and a clock whose time stops advancing ends the run with a line saying why.
TEST(ConversionEngine, HugeFrameCountsAreRefusedAndStalledClocksStop) {
  for (const float fps : {1e30f, std::numeric_limits<float>::infinity()}) {
    Animation animation(1.0f, fps);
    RecordingListener listener;
    EXPECT_EQ(animation.run(listener), ConversionOutcome::Refused) << fps;
    EXPECT_TRUE(animation.files().empty());
  }
  Animation long_(3.0e6f, 12.0f);
  RecordingListener refused;
  EXPECT_EQ(long_.run(refused), ConversionOutcome::Refused);
  EXPECT_NE(refused.message.find("10000000"), std::string::npos) << refused.message;

  // At 20 fps the time stops at 2^20 s, where the spacing of floats reaches 0.125 s.
  const FrameCount stalls = countConversionFrames(2.0e6f, 20.0f, 100'000'000);
  EXPECT_TRUE(stalls.stalled);
  EXPECT_LT(stalls.frames, 22'000'000);
  EXPECT_FALSE(countConversionFrames(10.0f, 30.0f).stalled);
}

TEST(ConversionEngine, FailedFrameEndsTheRunAndLaterFramesAreRemoved) {
  Animation animation(1.0f);
  std::filesystem::create_directories(animation.scene.dir.path() /
                                      "out/img0005.png");  // unwritable
  animation.settings.jobs = 3;
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Failed);
  auto files = animation.files();
  EXPECT_EQ(files, (std::vector<std::string>{"img0000.png", "img0001.png", "img0002.png",
                                             "img0003.png", "img0004.png", "img0005.png"}));
  EXPECT_TRUE(std::filesystem::is_directory(animation.scene.dir.path() / "out/img0005.png"));
  EXPECT_EQ(listener.written.size(), 5u);
}

TEST(ConversionEngine, MissingImagesAreLoggedAndFramesStillWritten) {
  Animation animation(0.2f);
  animation.scene.project.layers[1].sources[0].file = "gone.png";
  animation.scene.project.layers[1].sources[1].file = "gone.png";
  animation.scene.project.layers[0].sources[0].file = "gone-too.bmp";
  animation.settings.jobs = 2;
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Completed);
  EXPECT_EQ(animation.files(), numbered(0, 5));
  const auto failures = std::count_if(
      listener.log.begin(), listener.log.end(),
      [](const std::string& line) { return line.rfind("Load image failed:", 0) == 0; });
  EXPECT_EQ(failures, 12);  // two layers, every frame
  // The summary names each missing picture once, by layer number, with its frame count.
  EXPECT_EQ(animation.summary.frames, 6);
  EXPECT_EQ(animation.summary.framesWithMissingPictures, 6);
  ASSERT_EQ(animation.summary.missing.size(), 2u);
  EXPECT_EQ(animation.summary.missing[0].layerNumber, 1);
  EXPECT_EQ(animation.summary.missing[0].file, "gone-too.bmp");
  EXPECT_EQ(animation.summary.missing[1].layerNumber, 2);
  EXPECT_EQ(animation.summary.missing[1].frames, 6);
  // Nothing drew: the frames are black.
  DibImage frame;
  ASSERT_FALSE(frame.load(animation.scene.dir.file("out/img0000.png")).failed());
  EXPECT_EQ(frame.width(), 64);
  EXPECT_EQ(test::pixel(frame, 10, 10), 0u);
}

// Workers share the decoded pictures: a picture's conversion lines come once per run, and the
// memory a run needs is checked before it starts.
TEST(ConversionEngine, PicturesAreDecodedOncePerRunAndMemoryIsChecked) {
  Animation animation(0.5f);
  animation.scene.writeImage("sprite.png", test::patternImage(16, 12, 32, true));
  animation.settings.jobs = 3;
  RecordingListener listener;
  EXPECT_EQ(animation.run(listener), ConversionOutcome::Completed);
  EXPECT_EQ(std::count(listener.log.begin(), listener.log.end(), "変換を試みます"), 1);

  // 64x48 frames need about 8 MB per worker: a little over one worker's worth gives one worker.
  RecordingListener lowered;
  animation.settings.outputFolder = "lowered";
  animation.settings.availableMemory = 9u << 20;
  EXPECT_EQ(animation.run(lowered), ConversionOutcome::Completed);
  EXPECT_EQ(animation.files("lowered"), animation.files());
  EXPECT_TRUE(std::any_of(lowered.log.begin(), lowered.log.end(), [](const std::string& line) {
    return line.find("1 本のスレッド") != std::string::npos;
  }));
  RecordingListener refused;
  animation.settings.outputFolder = "refused";
  animation.settings.availableMemory = 1u << 20;
  EXPECT_EQ(animation.run(refused), ConversionOutcome::Refused);
  EXPECT_NE(refused.message.find(" MB のメモリが必要"), std::string::npos) << refused.message;
  EXPECT_TRUE(animation.files("refused").empty());
}

TEST(ConversionEngine, NothingToDoAndNoFrameRate) {
  Animation empty(0.0f);
  empty.scene.project.layers[0].visible = 0;
  empty.scene.project.layers[1].visible = 0;
  RecordingListener listener;
  EXPECT_EQ(empty.run(listener), ConversionOutcome::Completed);
  EXPECT_TRUE(empty.files().empty());
  EXPECT_TRUE(listener.logged("変換時間は0 秒"));

  Animation still(1.0f, 0.0f);
  RecordingListener refused;
  EXPECT_EQ(still.run(refused), ConversionOutcome::Refused);
  EXPECT_FALSE(refused.message.empty());
}

TEST(ConversionEngine, EditsAfterTheStartChangeNothing) {
  Animation animation(0.3f);
  RecordingListener listener;
  ConversionEngine engine;
  engine.start(animation.scene.project, animation.settings, listener);
  animation.scene.project.outputWidth = 8;
  animation.scene.project.layers[0].sources[0].file = "elsewhere.bmp";
  engine.wait();
  DibImage frame;
  ASSERT_FALSE(frame.load(animation.scene.dir.file("out/img0008.png")).failed());
  EXPECT_EQ(frame.width(), 64);
  for (const std::string& line : listener.log)
    EXPECT_EQ(line.find("Load image failed"), std::string::npos);
}

// The motion example (keys on a walking body, a child arm swinging about its pivot, a panning and
// zooming camera): a frame composed alone, as the preview or a farm node composes it, has the
// bytes of the same frame in a full render, with one worker or two.
TEST(ConversionEngine, MotionFramesAloneEqualTheRender) {
  TempDir dir;
  std::filesystem::copy(std::string(PELORIX_SOURCE_DIR) + "/examples/motion", dir.path(),
                        std::filesystem::copy_options::recursive);
  Project project;
  ASSERT_GT(loadProject(project, dir.file("motion.pxp")).result, 0);
  ASSERT_TRUE(project.motion.camera.keyed());
  const std::vector<float> times =
      conversionFrameTimes(buildDrawList(project).totalTime, project.fps);
  for (int jobs : {1, 2}) {
    ConversionSettings settings;
    settings.projectFolder = dir.folder();
    settings.outputFolder = formatC("jobs%d", jobs);
    settings.format = std::string("bmp");
    settings.jobs = jobs;
    RecordingListener listener;
    ConversionEngine engine;
    engine.start(project, settings, listener);
    engine.wait();
    ASSERT_EQ(listener.outcome, ConversionOutcome::Completed);
    for (size_t k : {size_t{0}, size_t{31}, times.size() - 1}) {
      test::CapturingLog log;
      Compositor alone(log);
      alone.setProjectFolder(dir.folder());
      DibImage composed;
      ASSERT_TRUE(alone.composeFrame(composed, project, buildDrawList(project).layers, times[k]));
      DibImage written;
      ASSERT_FALSE(
          written.load(dir.file(formatC("jobs%d/frame%04d.bmp", jobs, static_cast<int>(k))))
              .failed());
      DibImage expected;
      ASSERT_TRUE(convertTo24(composed, expected));
      EXPECT_EQ(test::argbPixels(written), test::argbPixels(expected)) << jobs << " frame " << k;
    }
  }
}

TEST(ScreenSave, RefusesGifMakesFoldersAndLogs) {
  TempDir dir;
  const DibImage frame = test::patternImage(8, 8);
  test::CapturingLog log;
  const ScreenSaveResult gif = saveFrameToFile(dir.file("a.gif"), frame, true, 0, log);
  EXPECT_FALSE(gif.written);
  EXPECT_EQ(gif.message, kGifRefused);
  EXPECT_FALSE(test::fileExists(dir.file("a.gif")));
  EXPECT_TRUE(saveFrameToFile(dir.file("b.Gif"), frame, true, 0, log).written);
  EXPECT_TRUE(saveFrameToFile(dir.file("c.gif"), frame, false, 0, log).written);

  log.lines.clear();
  const std::string twoDown = dir.folder() + "x/y/shot.png";
  EXPECT_TRUE(saveFrameToFile(twoDown, frame, true, 3, log).written);
  EXPECT_EQ(log.lines, (std::vector<std::string>{dir.folder() + "x/y/", dir.folder() + "x/",
                                                 dir.folder() + "x/y/", twoDown}));

  log.lines.clear();
  const std::string threeDown = dir.folder() + "p/q/r/shot.png";
  const ScreenSaveResult deep = saveFrameToFile(threeDown, frame, true, 0, log);
  EXPECT_FALSE(deep.written);
  EXPECT_EQ(log.lines.size(), 4u);  // the parent twice, the path, the failure
  EXPECT_EQ(log.lines[0], dir.folder() + "p/q/");
  EXPECT_EQ(log.lines[1], dir.folder() + "p/q/");
  EXPECT_EQ(deep.message.rfind("Save image failed:\n80004005 - ", 0), 0u);
}

}  // namespace
}  // namespace pelorix
