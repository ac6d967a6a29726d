// SPDX-License-Identifier: GPL-3.0-or-later
// Every frame of projects that use no extension must keep its bytes: the pixels of a set of
// frames are compared with checksums recorded when they were first made. Covered: the demo,
// and two synthetic projects (an even and an odd frame size) with rotation, scale, glides,
// opacity, bilinear sampling, the colour key, placements on whole pixels, pictures partly off
// the frame and a second layer numbered 1.
//   PELORIX_WRITE_GOLDEN=1 build/tests/test_render --gtest_filter='GoldenFrames*'
// rewrites tests/data/golden_frames.txt (only when a change of the pixels is intended).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "base/c_locale.h"
#include "imageio/pixel_convert.h"
#include "model/project_file.h"
#include "render/blit_kernel.h"
#include "render/timeline.h"
#include "render_test_support.h"

namespace pelorix {
namespace {

const std::string kGoldenFile = std::string(PELORIX_SOURCE_DIR) + "/tests/data/golden_frames.txt";

// FNV-1a of the blue, green, red bytes of every pixel, row by row, whatever the canvas layout.
uint64_t pixelChecksum(const DibImage& frame) {
  std::vector<uint8_t> row(static_cast<size_t>(frame.width()) * 3);
  uint64_t hash = 1469598103934665603ull;
  for (int y = 0; y < frame.height(); ++y) {
    readRowBgr(frame, y, row.data());
    for (uint8_t byte : row) {
      hash ^= byte;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

Source placed(float duration, float x, float y, float scale, float rotation, float opacity,
              int flags = sourceAutoCalc) {
  Source s;
  s.duration = duration;
  s.x = x, s.y = y, s.scale = scale, s.rotation = rotation, s.opacity = opacity;
  s.flags = flags;
  return s;
}

void addSource(Project& project, int layer, const std::string& file, const Source& values) {
  Source s = values;
  s.file = file;
  project.addSource(layer, s);
}

// The synthetic project in `scene`'s folder.
void buildScene(test::Scene& scene) {
  DibImage keyed = test::photoLikeImage(90, 70, 5);
  for (int y = 10; y < 40; ++y) {
    for (int x = 20; x < 50; ++x) {
      uint8_t* p = keyed.row(y) + 3 * x;
      p[0] = 255, p[1] = 0, p[2] = 255;  // a key-coloured square
    }
  }
  scene.writeImage("bg.bmp", test::photoLikeImage(200, 150, 3));
  scene.writeImage("mid.png", keyed);
  scene.writeImage("sprite.bmp", test::patternImage(31, 17));
  scene.writeImage("tile.png", test::photoLikeImage(41, 29, 9));
  Project& p = scene.project;
  p.fps = 10.0f;
  const KeyColor magenta{255, 0, 255, 0};
  int layer =
      scene.addLayer(1, "bg.bmp", placed(3.0f, 3.5f, -2.25f, 1.13f, 7.0f, 1.0f), effectInterpolate);
  (void)layer;
  layer = scene.addLayer(4, "mid.png", placed(3.0f, 10.0f, 5.0f, 0.7f, 0.0f, 0.85f),
                         effectInterpolate | effectColorKey, magenta);
  addSource(p, layer, "mid.png", placed(0.0f, -12.0f, -7.5f, 2.1f, 370.0f, 0.6f));
  layer = scene.addLayer(6, "sprite.bmp", placed(3.0f, -60.0f, 20.0f, 1.0f, 0.0f, 1.0f),
                         effectColorKey, KeyColor{0, 0, 0, 0});
  addSource(p, layer, "sprite.bmp", placed(0.0f, 60.0f, -20.0f, 1.0f, 0.0f, 1.0f));
  scene.addLayer(8, "tile.png", placed(3.0f, 70.0f, 50.0f, 1.0f, 0.0f, 0.5f));
  layer = scene.addLayer(9, "tile.png", placed(1.5f, -75.0f, -52.0f, 1.0f, 0.0f, 1.0f, 0),
                         effectInterpolate);
  addSource(p, layer, "sprite.bmp", placed(1.5f, 0.0f, 0.0f, 3.0f, 90.0f, 0.3f));
}

std::vector<std::string> checksumLines() {
  std::vector<std::string> lines;
  {
    test::CapturingLog log;
    Compositor compositor(log);
    Project demo;
    const std::string path = std::string(PELORIX_SOURCE_DIR) + "/examples/demo/demo.pxp";
    EXPECT_GT(loadProject(demo, path).result, 0);
    demo.layerCount = 3;  // the fourth layer uses the picture's transparency, an extension
    compositor.setProjectFolder(std::string(PELORIX_SOURCE_DIR) + "/examples/demo/");
    const DrawList list = buildDrawList(demo);
    DibImage canvas;
    int index = 0;
    for (float t : conversionFrameTimes(list.totalTime, demo.fps)) {
      compositor.composeFrame(canvas, demo, list.layers, t);
      lines.push_back(formatC("demo %d %016llx", index++,
                              static_cast<unsigned long long>(pixelChecksum(canvas))));
    }
  }
  for (const auto& [width, height] : {std::pair{160, 120}, std::pair{161, 119}}) {
    test::Scene scene(width, height);
    buildScene(scene);
    const DrawList list = buildDrawList(scene.project);
    int index = 0;
    for (float t : conversionFrameTimes(list.totalTime, scene.project.fps)) {
      const DibImage canvas = scene.compose(t);
      if (const char* dump = std::getenv("PELORIX_GOLDEN_DUMP")) {
        (void)canvas.save(formatC("%s/scene%dx%d-%02d.png", dump, width, height, index));
      }
      lines.push_back(formatC("scene%dx%d %d %016llx", width, height, index++,
                              static_cast<unsigned long long>(pixelChecksum(canvas))));
    }
    EXPECT_TRUE(scene.log.lines.empty());
  }
  return lines;
}

TEST(GoldenFrames, ProjectsWithoutExtensionsKeepTheirPixels) {
  std::vector<std::string> lines;
  for (const std::string& kernel : test::allKernels()) {
    test::KernelScope scope(kernel);
    if (kernel == "scalar") setAlignedRows(false);
    const std::vector<std::string> kernelLines = checksumLines();
    if (lines.empty()) lines = kernelLines;
    EXPECT_EQ(kernelLines, lines) << kernel << " differs from the scalar reference";
  }
  if (std::getenv("PELORIX_WRITE_GOLDEN")) {
    std::ofstream out(kGoldenFile);
    for (const std::string& line : lines)
      out << line << '\n';
    GTEST_SKIP() << "wrote " << kGoldenFile;
  }
  std::ifstream in(kGoldenFile);
  ASSERT_TRUE(in) << kGoldenFile;
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);)
    expected.push_back(line);
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i], expected[i]);
}

}  // namespace
}  // namespace pelorix
