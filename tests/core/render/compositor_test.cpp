// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/compositor.h"
#include "render/picture_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>

#include "base/row_workers.h"
#include "imageio/pixel_convert.h"
#include "model/extensions.h"
#include "render/blit_kernel.h"
#include "render/draw_list.h"
#include "render_test_support.h"

namespace pelorix {
namespace {

using test::coordinateImage;
using test::pixel;
using test::Scene;
using test::solidImage;

Source at(float x, float y, float scale = 1.0f, float rotation = 0.0f, float opacity = 1.0f) {
  Source s;
  s.x = x;
  s.y = y;
  s.scale = scale;
  s.rotation = rotation;
  s.opacity = opacity;
  return s;
}

// The canvas bytes as they are (premultiplied colour and alpha included).
std::vector<uint8_t> rawBytes(const DibImage& canvas) {
  std::vector<uint8_t> bytes;
  for (int y = 0; y < canvas.height(); ++y)
    bytes.insert(bytes.end(), canvas.row(y), canvas.row(y) + canvas.width() * 4);
  return bytes;
}

int countNonBlack(const DibImage& canvas) {
  int n = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x)
      n += pixel(canvas, x, y) != 0;
  }
  return n;
}

TEST(Compositor, IdentityPlacementReproducesTheImage) {
  Scene scene(12, 9);
  const DibImage image = test::patternImage(12, 9);
  scene.writeImage("full.bmp", image);
  scene.addLayer(1, "full.bmp");
  const DibImage canvas = scene.compose();
  ASSERT_FALSE(canvas.empty());
  EXPECT_EQ(canvas.width(), 12);
  EXPECT_TRUE(canvas.padded24());                                // 24-bit colour in 32-bit pixels
  EXPECT_EQ(test::argbPixels(canvas), test::argbPixels(image));  // column 0 and row 0 included
  EXPECT_TRUE(scene.log.lines.empty());
}

// For every frame pixel that shows an image pixel, the image pixel it shows.
std::map<std::pair<int, int>, std::pair<int, int>> sampledPixels(const DibImage& canvas) {
  std::map<std::pair<int, int>, std::pair<int, int>> found;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      const uint32_t p = pixel(canvas, x, y);
      if ((p >> 16) == 77)
        found[{x, y}] = {static_cast<int>(p & 0xFF), static_cast<int>((p >> 8) & 0xFF)};
    }
  }
  return found;
}

TEST(Compositor, RightAngleRotationsPermutePixels) {
  const int sw = 10, sh = 6;
  struct Case {
    float angle;
    int frameW, frameH;
  };
  // The frame is the rotated bounding box; positive angles turn clockwise on screen.
  const Case cases[] = {{90.0f, sh, sw}, {180.0f, sw, sh}, {270.0f, sh, sw}};
  for (const Case& c : cases) {
    Scene scene(c.frameW, c.frameH);
    scene.writeImage("xy.bmp", coordinateImage(sw, sh));
    scene.addLayer(1, "xy.bmp", at(0, 0, 1.0f, c.angle));
    const DibImage canvas = scene.compose();
    const auto found = sampledPixels(canvas);
    EXPECT_GE(found.size(), static_cast<size_t>((sw - 1) * (sh - 1))) << c.angle;
    for (const auto& [frame, image] : found) {
      const int dx = frame.first - c.frameW / 2;
      const int dy = frame.second - c.frameH / 2;
      int u = 0, v = 0;
      if (c.angle == 90.0f) {
        u = dy + sw / 2;
        v = -dx + sh / 2;
      } else if (c.angle == 180.0f) {
        u = -dx + sw / 2;
        v = -dy + sh / 2;
      } else {
        u = -dy + sw / 2;
        v = dx + sh / 2;
      }
      // The angle constant and sampling at pixel corners shift by at most one pixel.
      EXPECT_LE(std::abs(image.first - u), 1)
          << c.angle << " at " << frame.first << "," << frame.second;
      EXPECT_LE(std::abs(image.second - v), 1)
          << c.angle << " at " << frame.first << "," << frame.second;
    }
  }
}

TEST(Compositor, ScaleTwoWithNearestSamplingDuplicatesPixels) {
  Scene scene(8, 8);
  const DibImage image = coordinateImage(4, 4);
  scene.writeImage("xy.bmp", image);
  scene.addLayer(1, "xy.bmp", at(0, 0, 2.0f));
  const DibImage canvas = scene.compose();
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(pixel(canvas, x, y), pixel(image, x / 2, y / 2)) << x << "," << y;
  }
}

TEST(Compositor, PositionMovesLeftAndUpFromTheIntegerHalfCentre) {
  struct Case {
    int frameW, frameH;
    float x, y;
    int expectX, expectY;
  };
  const Case cases[] = {
      {7, 5, 0, 0, 3, 2}, {10, 10, 3, 0, 2, 5}, {10, 10, 0, 2, 5, 3}, {10, 10, -2, -1, 7, 6}};
  for (const Case& c : cases) {
    Scene scene(c.frameW, c.frameH);
    scene.writeImage("dot.bmp", solidImage(1, 1, 9, 9, 9));
    scene.addLayer(1, "dot.bmp", at(c.x, c.y));
    const DibImage canvas = scene.compose();
    EXPECT_EQ(countNonBlack(canvas), 1);
    EXPECT_EQ(pixel(canvas, c.expectX, c.expectY), 0x090909u) << c.x << "," << c.y;
  }
}

TEST(Compositor, ImagesOutsideTheFrameAndScaleZeroDrawNothing) {
  struct Case {
    Source placement;
    int drawn;
  };
  const Case cases[] = {{at(1000, 0), 0},
                        {at(0, -1000), 0},
                        {at(0, 0, 0.0f), 0},
                        {at(8, 0), 8 * 16},
                        {at(0, 0, 1.0f, 0.0f, 1.0f), 16 * 16}};
  for (const Case& c : cases) {
    Scene scene(16, 16);
    scene.writeImage("w.bmp", solidImage(16, 16, 255, 255, 255));
    scene.addLayer(1, "w.bmp", c.placement);
    const DibImage canvas = scene.compose();
    ASSERT_FALSE(canvas.empty());  // the layer reached the canvas: a black frame
    EXPECT_EQ(countNonBlack(canvas), c.drawn) << c.placement.x << "," << c.placement.scale;
    EXPECT_TRUE(scene.log.lines.empty());
  }
}

TEST(Compositor, OpacityBlendsWithTheLayerBelow) {
  struct Case {
    float opacity;
    int low, high;  // the result's range for each channel
  };
  // Below: (40, 80, 120); above: (240, 200, 160).
  const Case cases[] = {{1.0f, 0, 0}, {0.0f, 1, 1}, {0.5f, 2, 2}, {1.5f, 0, 0}, {-0.5f, 1, 1}};
  for (const Case& c : cases) {
    Scene scene(4, 4);
    scene.writeImage("below.bmp", solidImage(4, 4, 40, 80, 120));
    scene.writeImage("above.bmp", solidImage(4, 4, 240, 200, 160));
    scene.addLayer(1, "below.bmp");
    scene.addLayer(2, "above.bmp", at(0, 0, 1.0f, 0.0f, c.opacity));
    const uint32_t p = pixel(scene.compose(), 1, 1);
    const int b = static_cast<int>(p & 0xFF), g = static_cast<int>((p >> 8) & 0xFF),
              r = static_cast<int>(p >> 16);
    if (c.low == 0) {
      EXPECT_EQ(p, 0xA0C8F0u) << c.opacity;  // the image exactly
    } else if (c.low == 1) {
      EXPECT_EQ(p, 0x785028u) << c.opacity;  // the canvas untouched
    } else {
      EXPECT_NEAR(b, 140, 1);
      EXPECT_NEAR(g, 140, 1);
      EXPECT_NEAR(r, 140, 1);
    }
  }
}

TEST(Compositor, ColourKeyIsExact) {
  Scene scene(3, 1);
  DibImage image = solidImage(3, 1, 255, 0, 255);  // magenta: blue 255, green 0, red 255
  image.row(0)[3 + 1] = 1;                         // one level off in green: drawn
  image.row(0)[6] = 10;                            // another colour
  scene.writeImage("keyed.bmp", image);
  scene.writeImage("red.bmp", solidImage(3, 1, 0, 0, 200));
  scene.addLayer(1, "red.bmp");
  scene.addLayer(2, "keyed.bmp", Source{}, effectColorKey, KeyColor{255, 0, 255, 0});
  const DibImage canvas = scene.compose();
  EXPECT_EQ(pixel(canvas, 0, 0), 0xC80000u);  // keyed: the red below shows
  EXPECT_EQ(pixel(canvas, 1, 0), 0xFF01FFu);
  EXPECT_EQ(pixel(canvas, 2, 0), 0xFF000Au);
}

TEST(Compositor, KeyedNeighboursBlendIntoTheCanvas) {
  // Left half magenta (keyed), right half white, stretched twice with interpolation over red.
  Scene scene(8, 8);
  DibImage image = solidImage(4, 4, 255, 255, 255);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 2; ++x) {
      image.row(y)[3 * x] = 255;
      image.row(y)[3 * x + 1] = 0;
      image.row(y)[3 * x + 2] = 255;
    }
  }
  scene.writeImage("half.bmp", image);
  scene.writeImage("red.bmp", solidImage(8, 8, 0, 0, 255));
  scene.addLayer(1, "red.bmp");
  scene.addLayer(2, "half.bmp", at(0, 0, 2.0f), effectColorKey | effectInterpolate,
                 KeyColor{255, 0, 255, 0});
  const DibImage canvas = scene.compose();
  // Frame column 3 samples u = 1.5: halfway between a keyed pixel and a white one.
  const uint32_t edge = pixel(canvas, 3, 2);
  EXPECT_EQ(edge >> 16, 255u);  // red
  EXPECT_NEAR(static_cast<int>((edge >> 8) & 0xFF), 128, 1);
  EXPECT_NEAR(static_cast<int>(edge & 0xFF), 128, 1);  // blue: red and white, not magenta
  EXPECT_EQ(pixel(canvas, 1, 2), 0xFF0000u);           // keyed area: the canvas
  EXPECT_EQ(pixel(canvas, 6, 2), 0xFFFFFFu);
}

TEST(Compositor, FlatColourStaysFlatUnderBilinearSampling) {
  Scene scene(64, 64);
  scene.writeImage("flat.bmp", solidImage(30, 20, 50, 100, 200));
  scene.addLayer(1, "flat.bmp", at(3, -2, 1.3f, 30.0f), effectInterpolate);
  const DibImage canvas = scene.compose();
  int drawn = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const uint32_t p = pixel(canvas, x, y);
      if (p == 0) continue;
      ++drawn;
      EXPECT_EQ(p, 0xC86432u) << x << "," << y;
    }
  }
  EXPECT_GT(drawn, 600);
}

TEST(Compositor, GlideHalfwayAndTimeBoundaries) {
  Scene scene(20, 3);
  scene.writeImage("dot.bmp", solidImage(1, 1, 9, 9, 9));
  const int layer = scene.addLayer(1, "dot.bmp", at(0, 0));
  Project& p = scene.project;
  p.layers[static_cast<size_t>(layer)].sources[0].duration = 1.0f;
  Source second = at(-8, 0);
  second.file = "dot.bmp";
  second.duration = 1.0f;
  p.addSource(layer, second);
  EXPECT_EQ(pixel(scene.compose(0.5f), 14, 1), 0x090909u);  // x = -4: four to the right of 10
  EXPECT_EQ(pixel(scene.compose(1.0f), 18, 1), 0x090909u);  // the second source, at its start
  EXPECT_TRUE(scene.compose(2.0f).empty());                 // at the end: nothing
}

TEST(Compositor, LayerNumberOneWipesWhatWasDrawnBefore) {
  Scene scene(4, 4);
  scene.writeImage("red.bmp", solidImage(4, 4, 0, 0, 255));
  scene.writeImage("dot.bmp", solidImage(1, 1, 9, 9, 9));
  const int red = scene.addLayer(2, "red.bmp");
  const int dot = scene.addLayer(1, "dot.bmp");
  DibImage canvas;
  const int order[] = {red, dot};
  scene.compositor.composeFrame(canvas, scene.project, order, 0.0f);
  EXPECT_EQ(countNonBlack(canvas), 1);
}

TEST(Compositor, NonTwentyFourBitSourcesAreConvertedWithTheirLogLines) {
  Scene scene(4, 4);
  scene.writeImage("alpha.png", test::patternImage(4, 4, 32, true));
  scene.addLayer(1, "alpha.png");
  const DibImage canvas = scene.compose();
  ASSERT_EQ(scene.log.lines.size(), 3u);
  EXPECT_EQ(scene.log.lines[0],
            "alpha.png はDIBフォーマットまたは24BITカラーではありません。 (32)カラー");
  EXPECT_EQ(scene.log.lines[1], "変換を試みます");
  EXPECT_NE(scene.log.lines[2].find("画像の透明度を使う"), std::string::npos);  // the option
  DibImage expected;
  ASSERT_TRUE(convertTo24(test::patternImage(4, 4, 32, true), expected));
  EXPECT_EQ(test::argbPixels(canvas), test::argbPixels(expected));  // alpha plays no part
}

TEST(Compositor, MissingImagesAreLoggedEveryFrameAndLeftOut) {
  Scene scene(4, 4);
  scene.writeImage("red.bmp", solidImage(4, 4, 0, 0, 255));
  scene.addLayer(1, "red.bmp");
  scene.addLayer(2, "missing.bmp");
  for (int frame = 0; frame < 3; ++frame)
    EXPECT_EQ(pixel(scene.compose(), 0, 0), 0xFF0000u);
  ASSERT_EQ(scene.log.lines.size(), 3u);
  EXPECT_EQ(scene.log.lines[0].rfind("Load image failed:1:0:missing.bmp : 80004005-", 0), 0u)
      << scene.log.lines[0];
  EXPECT_NE(scene.log.lines[0].find("No such file"), std::string::npos);
}

TEST(Compositor, HugeOutputSizeIsReportedOnce) {
  Scene scene(200000, 200000);
  scene.writeImage("red.bmp", solidImage(4, 4, 0, 0, 255));
  scene.addLayer(1, "red.bmp");
  scene.addLayer(2, "red.bmp");
  EXPECT_TRUE(scene.compose().empty());
  EXPECT_EQ(scene.log.lines.size(), 1u);
}

TEST(LayerImageCache, DecodesOncePerChangeOfFile) {
  Scene scene(4, 4);
  scene.writeImage("a.bmp", solidImage(2, 2, 1, 1, 1));
  scene.writeImage("b.bmp", solidImage(2, 2, 2, 2, 2));
  scene.writeImage("A.bmp", solidImage(2, 2, 3, 3, 3));
  // The kept canvas holds on to the pictures of its layers: the count is the cache's own.
  scene.compositor.setReuse(false);
  const int layer = scene.addLayer(1, "a.bmp");
  for (int frame = 0; frame < 10; ++frame)
    scene.compose(static_cast<float>(frame) * 0.1f);
  EXPECT_EQ(scene.compositor.cache().decodeCount(), 1);

  Source& source = scene.project.layers[static_cast<size_t>(layer)].sources[0];
  source.file = "b.bmp";
  scene.compose();
  source.file = "a.bmp";
  scene.compose();
  EXPECT_EQ(scene.compositor.cache().decodeCount(), 3);
  source.file = "A.bmp";  // another name, even if only in letter case
  EXPECT_EQ(pixel(scene.compose(), 1, 1), 0x030303u);
  EXPECT_EQ(scene.compositor.cache().decodeCount(), 4);

  // A file replaced on disk keeps showing the old picture while the name stays.
  scene.writeImage("A.bmp", solidImage(2, 2, 5, 5, 5));
  EXPECT_EQ(pixel(scene.compose(), 1, 1), 0x030303u);

  // The same name in another project's folder is another file.
  test::TempDir other;
  solidImage(2, 2, 7, 7, 7).save(other.file("A.bmp"));
  scene.compositor.setProjectFolder(other.folder());
  EXPECT_EQ(pixel(scene.compose(), 1, 1), 0x070707u);
  EXPECT_EQ(scene.compositor.cache().decodeCount(), 5);
}

TEST(LayerImageCache, FailureEmptiesTheSlotAndTheNextFrameRetries) {
  Scene scene(4, 4);
  scene.compositor.setReuse(false);
  scene.writeImage("a.bmp", solidImage(2, 2, 1, 1, 1));
  const int layer = scene.addLayer(1, "a.bmp");
  scene.compose();
  Source& source = scene.project.layers[static_cast<size_t>(layer)].sources[0];
  source.file = "gone.bmp";
  EXPECT_TRUE(scene.compose().empty());
  source.file = "a.bmp";
  EXPECT_EQ(pixel(scene.compose(), 1, 1), 0x010101u);
  EXPECT_EQ(scene.compositor.cache().decodeCount(), 3);
}

// A run's store tells how a picture was made once, even when a worker that starts after the
// others let the picture go decodes it again; the preview's store tells every load.
TEST(PictureStore, AConversionRunReportsEachPictureOnce) {
  test::TempDir dir;
  ASSERT_FALSE(test::patternImage(3, 2, 32, true).save(dir.file("p.png")).failed());
  for (const bool reportOnce : {true, false}) {
    PictureStore store(reportOnce);
    PictureStore::Result first = store.get(dir.file("p.png"), false);
    ASSERT_TRUE(first.picture);
    EXPECT_TRUE(first.decodedHere);
    first.picture.reset();  // every holder let it go
    const PictureStore::Result again = store.get(dir.file("p.png"), false);
    ASSERT_TRUE(again.picture);
    EXPECT_EQ(store.decodeCount(), 2);
    EXPECT_EQ(again.decodedHere, !reportOnce);
  }
}

TEST(ImagePaths, ResolutionOrder) {
  test::TempDir project;
  test::TempDir elsewhere;
  solidImage(1, 1, 1, 1, 1).save(project.file("pic.bmp"));
  solidImage(1, 1, 1, 1, 1).save(elsewhere.file("only-here.bmp"));
  const std::string folder = project.folder();
  EXPECT_EQ(resolveImagePath("pic.bmp", folder), folder + "pic.bmp");
  EXPECT_EQ(resolveImagePath(elsewhere.file("only-here.bmp"), folder),
            elsewhere.file("only-here.bmp"));
  EXPECT_EQ(resolveImagePath("C:/Users/me/pics/pic.bmp", folder), folder + "pic.bmp");
  EXPECT_EQ(resolveImagePath("D:\\pics\\pic.bmp", folder), folder + "pic.bmp");
  EXPECT_EQ(resolveImagePath("nowhere.bmp", folder), folder + "nowhere.bmp");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.path());
  EXPECT_EQ(resolveImagePath("only-here.bmp", folder), "only-here.bmp");  // the current folder
  std::filesystem::current_path(previous);
}

// The sampling point starts at the left edge of the box and moves on by one single-precision
// addition per column, so rounding decides the far edge. An 8-pixel picture at scale 1.5 in a
// 20-pixel frame: the box starts at column 4 with u = 0 exactly; the step is 0.6666667 and after
// 12 additions u is 7.999999, still inside, so column 16 shows picture column 7 (u computed at
// once would be 8.0000002, outside). At scale 1.25 the twelfth point is 8.000001: column 15 stays
// as it was. The widened box must not move these points, in any kernel.
TEST(Compositor, SamplingPointsComeFromRepeatedAdditions) {
  struct Case {
    float scale;
    int first, last;  // the columns that show picture columns 0 and 7 on row 10
  };
  for (const std::string& kernel : test::allKernels()) {
    test::KernelScope scope(kernel);
    for (const Case c : {Case{1.5f, 4, 16}, Case{1.25f, 5, 14}}) {
      Scene scene(20, 20);
      scene.writeImage("xy.bmp", coordinateImage(8, 8));
      scene.addLayer(1, "xy.bmp", at(0, 0, c.scale));
      const DibImage canvas = scene.compose();
      const uint32_t row = 77u << 16 | 4u << 8;  // picture row 4 on frame row 10
      EXPECT_EQ(pixel(canvas, c.first - 1, 10), 0u) << kernel << " scale " << c.scale;
      EXPECT_EQ(pixel(canvas, c.first, 10), row | 0u) << kernel << " scale " << c.scale;
      EXPECT_EQ(pixel(canvas, c.last, 10), row | 7u) << kernel << " scale " << c.scale;
      EXPECT_EQ(pixel(canvas, c.last + 1, 10), 0u) << kernel << " scale " << c.scale;
    }
  }
}

// A square gliding 64 pixels in one second is, at a quarter, half and three quarters of the
// glide, where a still square at the eased position is: 16/32/48 linear, 4/16/36 easing in,
// 28/48/60 easing out, 10/32/54 in and out, and 0 while holding.
TEST(Easing, TheSquareIsWhereItsEasingPutsIt) {
  const struct {
    Ease ease;
    float at[3];
  } cases[] = {{Ease::Linear, {16, 32, 48}},
               {Ease::In, {4, 16, 36}},
               {Ease::Out, {28, 48, 60}},
               {Ease::InOut, {10, 32, 54}},
               {Ease::Hold, {0, 0, 0}}};
  for (const auto& c : cases) {
    for (int quarter = 0; quarter <= 3; ++quarter) {
      Scene glide(128, 16);
      glide.writeImage("sq.bmp", solidImage(4, 4, 255, 255, 255));
      Source from = at(0, 0);
      from.duration = 1.0f;
      from.flags = withEase(sourceAutoCalc, c.ease);
      const int layer = glide.addLayer(1, "sq.bmp", from);
      Source to = at(64, 0);
      to.file = "sq.bmp";
      to.duration = 1.0f;
      glide.project.addSource(layer, to);
      Scene still(128, 16);
      still.writeImage("sq.bmp", solidImage(4, 4, 255, 255, 255));
      still.addLayer(1, "sq.bmp", at(quarter == 0 ? 0.0f : c.at[quarter - 1], 0));
      EXPECT_EQ(rawBytes(glide.compose(0.25f * static_cast<float>(quarter))),
                rawBytes(still.compose()))
          << "ease " << static_cast<int>(c.ease) << " at quarter " << quarter;
    }
  }
}

// Each blend mode on known pairs of colours: a layer of one colour over a background of
// another, read at the centre (black is 0, the two greys 128 and 64).
TEST(BlendModes, KnownPairsOfColours) {
  struct Case {
    BlendMode mode;
    uint8_t below, above;  // grey levels of the background and the layer
    int opacityPercent;
    uint32_t expected;  // the grey level that results
  };
  const Case cases[] = {
      {BlendMode::Multiply, 128, 128, 100, 64}, {BlendMode::Multiply, 255, 77, 100, 77},
      {BlendMode::Screen, 0, 90, 100, 90},      {BlendMode::Screen, 128, 128, 100, 192},
      {BlendMode::Difference, 99, 99, 100, 0},  {BlendMode::Difference, 200, 50, 100, 150},
      {BlendMode::Add, 200, 100, 100, 255},     {BlendMode::Add, 64, 64, 100, 128},
      {BlendMode::Darken, 64, 128, 100, 64},    {BlendMode::Lighten, 64, 128, 100, 128},
      {BlendMode::Overlay, 128, 200, 100, 200}, {BlendMode::Overlay, 0, 200, 100, 0},
      {BlendMode::Overlay, 255, 64, 100, 255},  {BlendMode::Multiply, 128, 128, 50, 96},
      {BlendMode::Normal, 0, 255, 50, 127},
  };
  for (const std::string& kernel : test::allKernels()) {
    test::KernelScope scope(kernel);
    for (const Case& c : cases) {
      Scene scene(8, 8);
      scene.writeImage("below.bmp", solidImage(8, 8, c.below, c.below, c.below));
      scene.writeImage("above.bmp", solidImage(6, 6, c.above, c.above, c.above));
      scene.addLayer(1, "below.bmp");
      scene.addLayer(2, "above.bmp", at(0, 0, 1.0f, 0.0f, c.opacityPercent / 100.0f),
                     withBlendMode(0, c.mode));
      const uint32_t grey = c.expected | c.expected << 8 | c.expected << 16;
      EXPECT_EQ(pixel(scene.compose(), 4, 4), grey)
          << kernel << " mode " << static_cast<int>(c.mode) << " " << int{c.above} << " over "
          << int{c.below};
    }
  }
}

// A mode on a transparent frame: where the canvas is empty the layer shows as it is (a multiply
// with nothing is the layer), and an opaque layer makes the frame opaque wherever it lies.
TEST(BlendModes, TransparentBackgroundKeepsTheOverAlpha) {
  Scene scene(8, 8);
  scene.project.options = projectTransparentBackground;
  DibImage half = test::patternImage(4, 8, 32, true);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 4; ++x)
      half.row(y)[4 * x + 3] = 128;
  }
  scene.writeImage("half.png", half);
  scene.writeImage("grey.png", solidImage(2, 2, 100, 100, 100));
  scene.addLayer(1, "half.png", at(2, 0), effectAlpha);
  scene.addLayer(2, "grey.png", at(0, 0, 4.0f), withBlendMode(0, BlendMode::Multiply));
  const DibImage frame = scene.compose();
  const uint8_t* empty = frame.row(4) + 4 * 5;
  const uint8_t* covered = frame.row(4) + 4 * 2;
  EXPECT_EQ(empty[0], 100);
  EXPECT_EQ(empty[3], 255);
  EXPECT_EQ(covered[3], 255);
  EXPECT_LT(covered[0], 100);  // darkened by what was below
}

// Random placements, pictures and settings (bilinear, key, opacity, the picture's alpha, a
// transparent background, placements on whole pixels): every vector set, the copy of whole-pixel
// rows and rows split over threads give the bytes of the scalar reference.
TEST(BlitKernel, EveryPathGivesTheSameBytes) {
  uint32_t state = 12345;
  auto next = [&state](int n) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>((state >> 8) % static_cast<uint32_t>(n));
  };
  RowWorkers workers(3);
  std::string compared;
  for (const std::string& kernel : test::allKernels())
    compared += " " + kernel;
  std::printf("kernels compared:%s\n", compared.c_str());  // which ones ran on this machine
  for (int round = 0; round < 80; ++round) {
    Scene scene(37 + next(50), 29 + next(40));
    const bool alphaPicture = next(3) == 0;
    DibImage picture = alphaPicture ? test::patternImage(5 + next(40), 3 + next(30), 32, true)
                                    : test::photoLikeImage(5 + next(40), 3 + next(30),
                                                           static_cast<unsigned>(round));
    // Sprinkle key-coloured pixels.
    const int step = picture.bitsPerPixel() / 8;
    for (int i = 0; i < 40; ++i) {
      uint8_t* p = picture.row(next(picture.height())) + step * next(picture.width());
      p[0] = 255, p[1] = 0, p[2] = 255;
    }
    scene.writeImage("p.png", picture);
    scene.writeImage("bg.bmp", test::photoLikeImage(60, 60, 99));
    if (next(2) == 0) scene.project.options |= projectTransparentBackground;
    scene.addLayer(1, "bg.bmp", at(0, 0, 1.5f, 10.0f, next(2) == 0 ? 1.0f : 0.6f));
    const bool whole = next(4) == 0;  // scale 1, rotation 0
    const Source placement =
        at(static_cast<float>(next(40) - 20) + (whole ? 0.0f : 0.25f),
           static_cast<float>(next(30) - 15), whole ? 1.0f : 0.3f + next(300) / 100.0f,
           whole ? 0.0f : static_cast<float>(next(720) - 360), next(120) / 100.0f);
    scene.addLayer(2, "p.png", placement, next(8) | next(8) << 3, KeyColor{255, 0, 255, 0});

    std::vector<uint8_t> reference;
    {
      test::KernelScope scope("scalar");
      setAlignedRows(false);
      reference = rawBytes(scene.compose());
    }
    for (const std::string& kernel : test::allKernels()) {
      test::KernelScope scope(kernel);
      EXPECT_EQ(rawBytes(scene.compose()), reference) << kernel << ", round " << round;
      scene.compositor.setRowWorkers(&workers);
      EXPECT_EQ(rawBytes(scene.compose()), reference) << kernel << " on 3 threads, round " << round;
      scene.compositor.setRowWorkers(nullptr);
    }
  }
}

}  // namespace
}  // namespace pelorix

namespace pelorix {
namespace {

// A project whose unchanged prefix starts, grows, breaks and comes back: a still background, a
// middle layer that holds, glides, then holds again, a sprite that moves throughout, and a top
// layer that is hidden for a while.
void buildPrefixScene(Scene& scene) {
  scene.writeImage("bg.bmp", test::photoLikeImage(96, 64, 5));
  scene.writeImage("mid.bmp", test::photoLikeImage(40, 30, 6));
  scene.writeImage("sprite.bmp", test::patternImage(16, 12));
  scene.addLayer(1, "bg.bmp", Source{.duration = 3.0f}, effectInterpolate);
  Source hold{.duration = 1.0f, .x = 5, .scale = 1.3f, .rotation = 30, .opacity = 0.8f};
  hold.flags = 0;
  const int mid = scene.addLayer(2, "mid.bmp", hold, effectInterpolate);
  Source glide = hold;
  glide.flags = sourceAutoCalc;
  glide.file = "mid.bmp";
  scene.project.addSource(mid, glide);
  Source last = hold;
  last.file = "mid.bmp";
  last.x = -20;
  scene.project.addSource(mid, last);
  Source moving{.duration = 3.0f, .x = 30};
  moving.flags = sourceAutoCalc;
  const int sprite = scene.addLayer(3, "sprite.bmp", moving, effectColorKey);
  Source end = moving;
  end.file = "sprite.bmp";
  end.x = -30;
  end.duration = 0.0f;
  scene.project.addSource(sprite, end);
  Source top{.duration = 0.8f, .y = 10, .opacity = 0.5f};
  top.flags = 0;
  const int over = scene.addLayer(4, "sprite.bmp", top);
  Source gap = top;
  gap.file = "-";  // shows nothing for a while
  gap.duration = 0.6f;
  scene.project.addSource(over, gap);
  Source back = top;
  back.file = "sprite.bmp";
  back.duration = 2.0f;
  scene.project.addSource(over, back);
}

std::vector<uint32_t> pixelsOf(const DibImage& canvas) {
  return test::argbPixels(canvas);
}

// Composing frame after frame from the kept canvas gives the bytes of composing afresh, in order
// and in any other order, with one row worker or two, and while the project is edited between
// frames; a still prefix is taken, and moving layers never are.
TEST(Reuse, SameBytesAsComposingAfresh) {
  Scene scene(96, 64);
  buildPrefixScene(scene);
  const DrawList list = buildDrawList(scene.project);
  std::vector<float> times;
  for (int i = 0; i < 90; ++i)
    times.push_back(static_cast<float>(i) / 30.0f);
  std::vector<float> shuffled = times;
  std::reverse(shuffled.begin() + 30, shuffled.end());
  test::CapturingLog log;
  Compositor fresh(log);
  fresh.setProjectFolder(scene.dir.folder());
  fresh.setReuse(false);
  RowWorkers two(2);
  size_t reusedSomewhere = 0;
  for (const std::vector<float>* order : {&times, &shuffled}) {
    for (RowWorkers* workers : {static_cast<RowWorkers*>(nullptr), &two}) {
      Compositor reusing(log);
      reusing.setProjectFolder(scene.dir.folder());
      reusing.setRowWorkers(workers);
      DibImage got;  // handed back every frame, as a render's worker does
      for (float t : *order) {
        DibImage expected;
        fresh.composeFrame(expected, scene.project, list.layers, t);
        reusing.composeFrame(got, scene.project, list.layers, t);
        ASSERT_EQ(pixelsOf(got), pixelsOf(expected)) << t;
        reusedSomewhere += reusing.reusedLayers();
        EXPECT_LE(reusing.reusedLayers(), 2u);  // the sprite moves: never taken
      }
    }
  }
  EXPECT_GT(reusedSomewhere, 0u);

  // Edits between frames at the same time: the top layer's opacity, the key colour below it, the
  // background's picture file, a layer shown and hidden.
  Compositor reusing(log);
  reusing.setProjectFolder(scene.dir.folder());
  Project& project = scene.project;
  DibImage got;
  auto same = [&](float t) {
    const DrawList now = buildDrawList(project);
    DibImage expected;
    fresh.composeFrame(expected, project, now.layers, t);
    reusing.composeFrame(got, project, now.layers, t);
    return pixelsOf(got) == pixelsOf(expected);
  };
  EXPECT_TRUE(same(0.5f));
  EXPECT_TRUE(same(0.5f));
  project.layers[3].sources[0].opacity = 0.9f;
  EXPECT_TRUE(same(0.5f));
  project.layers[2].keyColor.red = 7;
  EXPECT_TRUE(same(0.5f));
  // Every value of the still middle layer that reaches the kernel, one at a time: a plan that
  // forgot one would keep the canvas of before.
  Layer& middle = project.layers[1];
  const std::vector<std::function<void()>> edits = {
      [&] { middle.effects |= effectColorKey; },
      [&] {
        middle.keyColor = {0x10, 0x20, 0x30, 0};
      },
      [&] { middle.effects &= ~effectInterpolate; },
      [&] { middle.effects = withBlendMode(middle.effects, BlendMode::Difference); },
      [&] { middle.effects |= effectAlpha; },
      [&] { middle.sources[0].opacity = 0.4f; },
      [&] { middle.sources[0].rotation = 0.0f; },
      [&] { middle.sources[0].scale = 1.0f; },
      [&] { middle.sources[0].x = 6.0f; },
      [&] { middle.number = 1; }};
  for (size_t i = 0; i < edits.size(); ++i) {
    same(0.5f);  // twice: the canvas after the still layers is kept
    same(0.5f);
    edits[i]();
    EXPECT_TRUE(same(0.5f)) << "edit " << i;
  }
  scene.writeImage("bg2.bmp", test::photoLikeImage(96, 64, 9));
  project.layers[0].sources[0].file = "bg2.bmp";
  EXPECT_TRUE(same(0.5f));
  project.layers[1].visible = 0;
  EXPECT_TRUE(same(0.5f));
  project.layers[1].visible = 1;
  EXPECT_TRUE(same(0.5f));
  project.outputWidth = 95;
  EXPECT_TRUE(same(0.5f));
}

}  // namespace
}  // namespace pelorix
