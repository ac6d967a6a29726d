// SPDX-License-Identifier: GPL-3.0-or-later
// Sources that move: animated GIF, WebP and PNG and numbered series show the frame of their own
// clock; the frames are made with Pelorix's own writers, each painted with its number.
#include <gtest/gtest.h>

#include <filesystem>

#include "../render/render_test_support.h"
#include "base/c_locale.h"
#include "output/animation_writer.h"
#include "output/conversion_engine.h"
#include "output/formats.h"
#include "output/parts.h"
#include "render/compositor.h"
#include "render/picture_store.h"

namespace pelorix {
namespace {

using test::Scene;

// Frame k is grey at level 40 * (k + 1).
uint8_t levelOf(int k) {
  return static_cast<uint8_t>(40 * (k + 1));
}

// Writes `frames` frames of 8 x 8 pixels at `fps` into `path` through the format's writer.
void writeAnimation(const std::string& path, const char* extension, int frames, float fps) {
  const OutputFormat* format = findOutputFormat(extension, OutputKind::OneFile);
  auto writer = format->makeWriter(*format);
  AnimationSettings settings;
  settings.path = path;
  settings.width = settings.height = 8;
  settings.fps = fps;
  settings.frames = frames;
  settings.encode.lossless = true;
  if (writer->open(settings).failed()) std::abort();
  for (int k = 0; k < frames; ++k) {
    DibImage frame = test::solidImage(8, 8, levelOf(k), levelOf(k), levelOf(k));
    std::unique_ptr<PreparedFrame> prepared;
    if (writer->prepare(frame, k, prepared).failed() || writer->write(std::move(prepared)).failed())
      std::abort();
  }
  if (writer->finish().failed()) std::abort();
}

// Which frame the centre shows (the nearest level: a GIF palette may shift a grey a little); -1
// for none.
int shownFrame(Scene& scene, float t, Compositor* compositor = nullptr) {
  DibImage canvas;
  if (compositor) {
    const int layers[] = {0};
    compositor->composeFrame(canvas, scene.project, layers, t);
  } else {
    canvas = scene.compose(t);
  }
  if (canvas.empty()) return -1;
  const int level = static_cast<int>(test::pixel(canvas, 4, 4) & 0xFF);
  for (int k = 0; k < 6; ++k) {
    if (std::abs(level - levelOf(k)) <= 8) return k;
  }
  return -1;
}

Source shownFor(float seconds) {
  Source source;
  source.duration = seconds;
  return source;
}

// Four frames at 10 fps: 0.1 s each, then the animation starts again.
TEST(MovingSources, EachKindShowsTheFrameOfItsClock) {
  for (const char* kind : {"gif", "apng", "webp", "series"}) {
    Scene scene(8, 8);
    std::string file = std::string("anim.") + kind;
    if (std::string(kind) == "series") {
      for (int k = 0; k < 4; ++k)
        scene.writeImage(formatC("shot%04d.bmp", k + 7),
                         test::solidImage(8, 8, levelOf(k), levelOf(k), levelOf(k)));
      file = "shot####.bmp";
      scene.project.fps = 10.0f;  // a series plays at the project's rate
    } else {
      writeAnimation(scene.dir.file(file), kind, 4, 10.0f);
    }
    scene.addLayer(1, file, shownFor(2.0f));
    const std::pair<float, int> expected[] = {{0.0f, 0},  {0.15f, 1}, {0.25f, 2}, {0.35f, 3},
                                              {0.45f, 0}, {0.55f, 1}, {1.95f, 3}};
    for (const auto& [t, frame] : expected)
      EXPECT_EQ(shownFrame(scene, t), frame) << kind << " at " << t;
    EXPECT_TRUE(scene.compositor.missingPictures().empty()) << kind;
  }
}

// A glide between two sources of one animation keeps its clock; without one, the second source
// starts the animation again.
TEST(MovingSources, AGlideKeepsTheClockRunning) {
  for (const bool glide : {true, false}) {
    Scene scene(8, 8);
    writeAnimation(scene.dir.file("anim.gif"), "gif", 4, 10.0f);
    Source first = shownFor(0.2f);
    first.flags = glide ? sourceAutoCalc : 0;
    const int layer = scene.addLayer(1, "anim.gif", first);
    Source second = shownFor(1.0f);
    second.file = "anim.gif";
    scene.project.addSource(layer, second);
    EXPECT_EQ(shownFrame(scene, 0.25f), glide ? 2 : 0) << glide;
  }
}

// A series with a gap shows the last frame before it; the store keeps no more frames than its
// budget, however long the series is.
TEST(MovingSources, SeriesGapsAndTheMemoryBudget) {
  Scene scene(8, 8);
  scene.project.fps = 10.0f;
  for (int k : {0, 1, 3}) {
    scene.writeImage(formatC("g%02d.bmp", k),
                     test::solidImage(8, 8, levelOf(k), levelOf(k), levelOf(k)));
  }
  scene.addLayer(1, "g##.bmp", shownFor(1.0f));
  EXPECT_EQ(shownFrame(scene, 0.25f), 1);  // number 2 is missing
  EXPECT_EQ(shownFrame(scene, 0.35f), 3);

  PictureStore store;
  store.setFrameBudget(3 * 8 * 8 * 4);
  const std::string path = scene.dir.file("g##.bmp");
  ASSERT_TRUE(store.moving(path, 10.0));
  for (int round = 0; round < 3; ++round) {
    for (int k = 0; k < 4; ++k)
      ASSERT_TRUE(store.frame(path, false, k).picture);
  }
  EXPECT_LE(store.keptFrameBytes(), uint64_t{3 * 8 * 8 * 4});
}

// A damaged animation is said once, with the frame that failed; the frames after it show the
// last good one and count as missing.
TEST(MovingSources, DamageShowsTheLastGoodFrame) {
  Scene scene(8, 8);
  writeAnimation(scene.dir.file("anim.webp"), "webp", 4, 10.0f);
  writeAnimation(scene.dir.file("full.apng"), "apng", 4, 10.0f);
  // The APNG cut in its last frame's data.
  const std::string apng = test::readFile(scene.dir.file("full.apng"));
  const size_t last = apng.rfind("fdAT");
  test::writeFile(scene.dir.file("cut.apng"),
                  apng.substr(0, last + 6) + std::string(20, 'x') + apng.substr(apng.size() - 12));
  scene.addLayer(1, "cut.apng", shownFor(1.0f));
  EXPECT_EQ(shownFrame(scene, 0.25f), 2);
  EXPECT_TRUE(scene.compositor.missingPictures().empty());
  EXPECT_EQ(shownFrame(scene, 0.35f), 2);
  EXPECT_EQ(scene.compositor.missingPictures().size(), 1u);
  EXPECT_EQ(shownFrame(scene, 0.36f), 2);
  int said = 0;
  for (const std::string& line : scene.log.lines)
    said += line.find("3") != std::string::npos && line.find("読めません") != std::string::npos;
  EXPECT_EQ(said, 1);
}

// The frame a moving source shows depends on the file alone: composed frame by frame in order,
// in reverse, or each by a fresh compositor as a farm node composes a one-frame part, every
// frame is the same, for each kind, whole or damaged (a GIF cut in its last frame, a series with
// an unreadable file). A damaged GIF and a 20-digit series number are said, not taken silently.
struct MovingCase {
  const char* name;
  const char* file;
};
constexpr MovingCase kMovingCases[] = {{"gif", "anim.gif"},    {"apng", "anim.apng"},
                                       {"webp", "anim.webp"},  {"series", "s##.bmp"},
                                       {"cut gif", "cut.gif"}, {"bad series", "b##.bmp"}};

// Five frames of each kind at 10 fps, and the damaged ones.
void writeMovingSources(Scene& scene) {
  scene.project.fps = 10.0f;
  for (const char* kind : {"gif", "apng", "webp"})
    writeAnimation(scene.dir.file(std::string("anim.") + kind), kind, 5, 10.0f);
  for (int k = 0; k < 5; ++k) {
    const DibImage frame = test::solidImage(8, 8, levelOf(k), levelOf(k), levelOf(k));
    scene.writeImage(formatC("s%02d.bmp", k), frame);
    scene.writeImage(formatC("b%02d.bmp", k), frame);
  }
  test::writeFile(scene.dir.file("b02.bmp"), "BM not a picture");
  const std::string gif = test::readFile(scene.dir.file("anim.gif"));
  test::writeFile(scene.dir.file("cut.gif"), gif.substr(0, gif.size() - 20));
}

TEST(MovingSources, EveryFrameIsTheSameWhateverCameBefore) {
  for (const MovingCase c : kMovingCases) {
    Scene scene(8, 8);
    writeMovingSources(scene);
    scene.addLayer(1, c.file, shownFor(0.5f));
    std::vector<int> inOrder, reversed, alone;
    for (int k = 0; k < 5; ++k)
      inOrder.push_back(shownFrame(scene, static_cast<float>(k) / 10.0f + 0.01f));
    for (int k = 4; k >= 0; --k)
      reversed.insert(reversed.begin(), shownFrame(scene, static_cast<float>(k) / 10.0f + 0.01f));
    for (int k = 0; k < 5; ++k) {
      Compositor fresh(scene.log);  // its own store, as on another machine
      fresh.setProjectFolder(scene.dir.folder());
      alone.push_back(shownFrame(scene, static_cast<float>(k) / 10.0f + 0.01f, &fresh));
    }
    EXPECT_EQ(inOrder, reversed) << c.name;
    EXPECT_EQ(inOrder, alone) << c.name;
    const std::string name = c.name;
    if (name == "cut gif") {
      EXPECT_EQ(inOrder, (std::vector<int>{0, 1, 2, 3, 3})) << "the cut frame shows the one before";
    } else if (name == "bad series") {
      EXPECT_EQ(inOrder, (std::vector<int>{0, 1, 1, 3, 4})) << "only the bad file's place";
    } else {
      EXPECT_EQ(inOrder, (std::vector<int>{0, 1, 2, 3, 4})) << name;
    }
  }

  Scene scene(8, 8);
  scene.writeImage("n00000000000000000001.bmp", test::solidImage(8, 8, 1, 2, 3));
  scene.writeImage("n99999999999999999999.bmp", test::solidImage(8, 8, 1, 2, 3));
  scene.addLayer(1, "n####################.bmp", shownFor(1.0f));
  EXPECT_EQ(shownFrame(scene, 0.0f), -1);
  bool said = false;
  for (const std::string& line : scene.log.lines)
    said = said || line.find("n99999999999999999999.bmp") != std::string::npos;
  EXPECT_TRUE(said);
}

class QuietListener final : public ConversionListener {
 public:
  void appendLog(const std::string&) override {}
  void progress(int, int, int) override {}
  void frameWritten(int, const std::string&, const DibImage*) override {}
  void finished(ConversionOutcome, const std::string&) override {}
};

// Frames `first`-`last` of the project into one file, as one machine of a farm renders them.
void renderPart(Scene& scene, const std::string& name, int first, int last) {
  ConversionSettings settings;
  settings.projectFolder = scene.dir.folder();
  settings.oneFile = name;
  settings.frames = std::make_pair(first, last);
  settings.jobs = 1;
  ConversionEngine engine;
  QuietListener listener;
  engine.start(scene.project, settings, listener);
  engine.wait();
}

// A render made of one-frame parts put together holds the frames of one render, for every kind
// of moving source, whole or damaged.
TEST(MovingSources, OneFramePartsJoinToTheWholeRender) {
  for (const MovingCase c : kMovingCases) {
    Scene scene(8, 8);
    writeMovingSources(scene);
    scene.addLayer(1, c.file, shownFor(0.5f));
    renderPart(scene, "whole.apng", 0, 4);
    std::vector<std::string> parts;
    for (int k = 0; k < 5; ++k) {
      parts.push_back(scene.dir.file(formatC("part%d.apng", k)));
      renderPart(scene, parts.back(), k, k);
    }
    std::vector<std::string> log;
    ASSERT_EQ(joinParts(parts, scene.dir.file("joined.apng"), log), "") << c.name;
    ImageError error;
    auto whole = openFrameSource(scene.dir.file("whole.apng"), 0.0, error);
    auto joined = openFrameSource(scene.dir.file("joined.apng"), 0.0, error);
    ASSERT_TRUE(whole && joined) << c.name;
    ASSERT_EQ(joined->timing().frames, whole->timing().frames) << c.name;
    for (int64_t k = 0; k < whole->timing().frames; ++k) {
      DibImage a, b;
      ASSERT_FALSE(whole->decode(k, a).failed() || joined->decode(k, b).failed());
      EXPECT_EQ(test::argbPixels(a), test::argbPixels(b)) << c.name << " frame " << k;
    }
  }
}

TEST(MovingSources, TimingOfFramesWithoutADelay) {
  const FrameTiming timing = FrameTiming::fromLengths({0.0, 0.1, 0.0});
  EXPECT_DOUBLE_EQ(timing.duration, 0.12);  // each frame without a delay shows for 10 ms
  EXPECT_EQ(timing.frameAt(0.005), 0);
  EXPECT_EQ(timing.frameAt(0.05), 1);
  EXPECT_EQ(timing.frameAt(0.115), 2);
  EXPECT_EQ(timing.frameAt(0.125), 0);  // looped
}

}  // namespace
}  // namespace pelorix
