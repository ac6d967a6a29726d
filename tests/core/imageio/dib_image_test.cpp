// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageio/dib_image.h"

#include <gtest/gtest.h>

#include "image_test_support.h"
#include "imageio/image_error.h"

namespace pelorix {
namespace {

TEST(DibImage, PitchIsRowBytesPaddedToFour) {
  const std::tuple<int, int, int> cases[] = {{1, 24, 4}, {3, 24, 12}, {5, 24, 16}, {1, 1, 4},
                                             {33, 1, 8}, {3, 4, 4},   {9, 4, 8},   {3, 8, 4},
                                             {3, 16, 8}, {7, 32, 28}};
  for (const auto& [width, bpp, pitch] : cases) {
    DibImage image;
    ASSERT_TRUE(image.create(width, 2, bpp)) << width << "x" << bpp;
    EXPECT_EQ(std::abs(image.pitch()), pitch) << width << "x" << bpp;
    EXPECT_EQ(dibPitch(width, bpp), pitch);
  }
}

TEST(DibImage, PositiveHeightIsBottomUpAndNegativeTopDown) {
  DibImage up;
  ASSERT_TRUE(up.create(4, 3, 24));
  EXPECT_LT(up.pitch(), 0);
  EXPECT_EQ(up.height(), 3);
  EXPECT_TRUE(up.isDibSection());
  EXPECT_EQ(up.transparentColor(), -1);
  // The top row is the last in memory.
  EXPECT_EQ(up.row(2) + 12, up.row(1));
  DibImage down;
  ASSERT_TRUE(down.create(4, -3, 24));
  EXPECT_EQ(down.pitch(), 12);
  EXPECT_EQ(down.height(), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 12; ++x)
      EXPECT_EQ(up.row(y)[x], 0);  // all black
  }
}

TEST(DibImage, CreateRefusesBadAndHugeValues) {
  DibImage image;
  EXPECT_FALSE(image.create(0, 10, 24));
  EXPECT_FALSE(image.create(10, 0, 24));
  EXPECT_FALSE(image.create(10, 10, 12));
  EXPECT_FALSE(image.create(10, 10, 24, BI_BITFIELDS));
  EXPECT_FALSE(image.create(65536, 1, 24));
  EXPECT_FALSE(image.create(60000, 60000, 24));  // beyond the pixel limit
  EXPECT_TRUE(image.empty());
  EXPECT_FALSE(image.destroy());
  ASSERT_TRUE(image.create(2, 2, 32, BI_RGB, nullptr, kCreateAlpha));
  EXPECT_TRUE(image.hasAlpha());
  EXPECT_TRUE(image.destroy());
  EXPECT_TRUE(image.empty());
  EXPECT_FALSE(image.hasAlpha());
}

TEST(DibImage, MovesAndClones) {
  DibImage a = test::patternImage(5, 4);
  const std::vector<uint32_t> pixels = test::argbPixels(a);
  DibImage b = std::move(a);
  EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty by contract
  EXPECT_EQ(test::argbPixels(b), pixels);
  DibImage c = b.clone();
  EXPECT_EQ(test::argbPixels(c), pixels);
  EXPECT_NE(c.bits(), b.bits());
}

TEST(DibImage, ColourTableAndConversionTo24) {
  DibImage indexed;
  ASSERT_TRUE(indexed.create(3, 1, 4));
  const RgbQuad entries[5] = {{1, 2, 3, 0}, {10, 20, 30, 0}, {5, 5, 5, 0}};
  EXPECT_EQ(indexed.setColorTable(254, 5, entries), 2);  // only two fit
  EXPECT_EQ(indexed.colorTable()[255], (RgbQuad{10, 20, 30, 0}));
  EXPECT_EQ(indexed.setColorTable(14, 2, entries), 2);
  EXPECT_EQ(indexed.colorTable()[15], (RgbQuad{10, 20, 30, 0}));
  indexed.row(0)[0] = 0xEF;  // pixels 14, 15
  indexed.row(0)[1] = 0x00;
  DibImage converted;
  ASSERT_TRUE(convertTo24(indexed, converted));
  EXPECT_EQ(converted.bitsPerPixel(), 24);
  EXPECT_EQ(test::argbPixels(converted),
            (std::vector<uint32_t>{0xFF030201, 0xFF1E140A, 0xFF000000}));

  // 16-bit pixels in the 5-5-5 layout and through 5-6-5 masks.
  DibImage rgb555;
  ASSERT_TRUE(rgb555.create(1, 1, 16));
  rgb555.row(0)[0] = 0xFF;  // 0x7FFF: white
  rgb555.row(0)[1] = 0x7F;
  EXPECT_EQ(test::argbPixels(rgb555)[0], 0xFFFFFFFFu);
  const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
  DibImage rgb565;
  ASSERT_TRUE(rgb565.create(1, 1, 16, BI_BITFIELDS, masks565));
  rgb565.row(0)[0] = 0x00;  // 0xF800: red
  rgb565.row(0)[1] = 0xF8;
  EXPECT_EQ(test::argbPixels(rgb565)[0], 0xFFFF0000u);
}

TEST(ImageError, TextsForCodesAndCauses) {
  EXPECT_EQ(ImageError(E_FAIL).errorMessage(), "Unspecified error");
  EXPECT_EQ(ImageError(static_cast<HRESULT>(0x80040201u)).errorMessage(), "IDispatch error #1");
  EXPECT_EQ(ImageError(static_cast<HRESULT>(0x8004FFFFu)).errorMessage(), "IDispatch error #65023");
  EXPECT_EQ(ImageError(static_cast<HRESULT>(0x80040200u)).errorMessage(),
            "Unknown error 0x80040200");
  EXPECT_EQ(ImageError(static_cast<HRESULT>(0x80001234u)).errorMessage(),
            "Unknown error 0x80001234");
  EXPECT_EQ(ImageError(E_FAIL, "a.png: No such file").errorMessage(), "a.png: No such file");
  EXPECT_FALSE(ImageError().failed());
  EXPECT_TRUE(ImageError(E_OUTOFMEMORY).failed());
}

}  // namespace
}  // namespace pelorix
