// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture_levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "render_test_support.h"

namespace pelorix {
namespace {

using test::Scene;

uint32_t argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return colourValue(b, g, r) | static_cast<uint32_t>(a) << kAlphaShift;
}

DibImage picture32(int width, int height, const std::vector<uint32_t>& pixels) {
  DibImage image;
  if (!image.create(width, -height, 32, BI_RGB, nullptr, kCreateAlpha)) std::abort();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      reinterpret_cast<uint32_t*>(image.row(y))[x] = pixels[static_cast<size_t>(y * width + x)];
  }
  return image;
}

uint32_t at(const DibImage& image, int x, int y) {
  return reinterpret_cast<const uint32_t*>(image.row(y))[x];
}

// A level pixel is its block's mean, colours weighed by alpha; an odd last column or row pairs
// with itself; a key colour counts for nothing and stays where three or four of a block hold it.
TEST(PictureLevels, BlocksAreAveragedAndKeysStayExact) {
  const uint32_t white = argb(255, 255, 255, 255);
  const uint32_t black = argb(255, 0, 0, 0);
  const uint32_t magenta = argb(255, 255, 0, 255);
  const uint32_t clear = argb(0, 0, 0, 0);
  const uint32_t red = argb(255, 200, 0, 0);
  // 5 x 2: [white black] [red clear] [white]
  //        [black white] [clear clear] [black]
  const DibImage plain = picture32(5, 2,
                                   {white, black, red, clear, white,  //
                                    black, white, clear, clear, black});
  PictureLevels levels;
  const DibImage* one = levels.level(plain, 1, std::nullopt, nullptr);
  ASSERT_NE(one, nullptr);
  ASSERT_EQ(one->width(), 3);
  ASSERT_EQ(one->height(), 1);
  EXPECT_EQ(at(*one, 0, 0), argb(255, 128, 128, 128));
  EXPECT_EQ(at(*one, 1, 0), argb(64, 200, 0, 0));  // the clear pixels lend no black
  EXPECT_EQ(at(*one, 2, 0), argb(255, 128, 128, 128));
  EXPECT_EQ(levels.level(plain, 1, std::nullopt, nullptr), one);  // made once
  const DibImage* two = levels.level(plain, 2, std::nullopt, nullptr);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->width(), 2);
  EXPECT_EQ(levels.bytes(), (3u + 2u) * 4u);

  const uint32_t key = colourValue(255, 0, 255);
  // [magenta magenta] [magenta white]
  // [magenta white]   [black white]
  const DibImage keyed = picture32(4, 2,
                                   {magenta, magenta, magenta, white,  //
                                    magenta, white, black, white});
  const DibImage* cut = levels.level(keyed, 1, key, nullptr);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(at(*cut, 0, 0), magenta);
  EXPECT_EQ(at(*cut, 1, 0), argb(255, 170, 170, 170));  // the three that are no key
  EXPECT_NE(levels.level(keyed, 1, std::nullopt, nullptr), cut);
}

// A smooth picture, turned, in a 600 x 450 frame shown at a fifth of its size.
void showSmall(Scene& scene, bool levels) {
  DibImage image;
  if (!image.create(400, 300, 24)) std::abort();
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 400; ++x) {
      uint8_t* p = image.row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(128 + 100 * std::sin(x / 9.0) * std::cos(y / 13.0));
      p[1] = static_cast<uint8_t>(x * 255 / 399);
      p[2] = static_cast<uint8_t>(y * 255 / 299);
    }
  }
  scene.writeImage("smooth.bmp", image);
  Source placed;
  placed.rotation = 30.0f;
  placed.x = 16.5f;
  scene.addLayer(1, "smooth.bmp", placed, effectInterpolate);
  scene.project.motion.shownSize = {120, 90};
  scene.project.motion.pictureLevels = levels;
}

// PSNR of the pixels of `a` that are drawn and have no undrawn neighbour, against `b`.
double innerPsnr(const DibImage& a, const DibImage& b) {
  double sum = 0.0;
  int count = 0;
  for (int y = 1; y + 1 < a.height(); ++y) {
    for (int x = 1; x + 1 < a.width(); ++x) {
      bool inner = true;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx)
          inner = inner && test::pixel(a, x + dx, y + dy) != 0;
      }
      if (!inner) continue;
      ++count;
      const uint32_t p = test::pixel(a, x, y);
      const uint32_t q = test::pixel(b, x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const double d = static_cast<double>((p >> shift) & 0xFF) - ((q >> shift) & 0xFF);
        sum += d * d;
      }
    }
  }
  const double mse = sum / (3.0 * count);
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Sampled from its level, a layer shows the picture where the picture itself puts it, at its
// size (its edge may move by a fraction of a shown pixel).
TEST(PictureLevels, ALayerDrawnFromItsLevelLiesInPlace) {
  Scene exact(600, 450);
  Scene fromLevel(600, 450);
  showSmall(exact, false);
  showSmall(fromLevel, true);
  const DibImage a = exact.compose();
  const DibImage b = fromLevel.compose();
  EXPECT_GE(innerPsnr(a, b), 40.0);
}

// Shown small, from the picture or from its level, every kernel draws the same bytes.
TEST(PictureLevels, ShownSmallEveryKernelDrawsTheSameBytes) {
  for (bool levels : {false, true}) {
    std::vector<uint32_t> reference;
    for (const std::string& kernel : test::allKernels()) {
      test::KernelScope scope(kernel);
      Scene scene(600, 450);
      showSmall(scene, levels);
      const std::vector<uint32_t> pixels = test::argbPixels(scene.compose());
      if (reference.empty()) reference = pixels;
      EXPECT_EQ(pixels, reference) << kernel << (levels ? " from the level" : "");
    }
  }
}

// A keyed picture shown small leaves no fringe of the key colour around what it keeps.
TEST(PictureLevels, AKeyedLayerShownSmallHasNoKeyFringe) {
  Scene scene(256, 256);
  DibImage image = test::solidImage(256, 256, 255, 0, 255);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      if (std::hypot(x - 128.0, y - 128.0) < 70.0) std::memset(image.row(y) + 3 * x, 255, 3);
    }
  }
  scene.writeImage("disc.bmp", image);
  Source placed;
  placed.rotation = 10.0f;
  scene.addLayer(1, "disc.bmp", placed, effectInterpolate | effectColorKey,
                 KeyColor{255, 0, 255, 0});
  scene.project.motion.shownSize = {64, 64};
  scene.project.motion.pictureLevels = true;
  const DibImage canvas = scene.compose();
  int white = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const uint32_t p = test::pixel(canvas, x, y);
      const int r = static_cast<int>(p >> 16), g = static_cast<int>((p >> 8) & 0xFF),
                b = static_cast<int>(p & 0xFF);
      EXPECT_FALSE(r > g + 24 && b > g + 24) << x << "," << y;
      white += p == 0xFFFFFFu;
    }
  }
  EXPECT_GT(white, 200);
  EXPECT_EQ(test::pixel(canvas, 2, 2), 0u);
}

}  // namespace
}  // namespace pelorix
