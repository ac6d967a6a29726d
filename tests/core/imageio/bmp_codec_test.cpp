// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>

#include "image_test_support.h"
#include "imageio/codec.h"

namespace pelorix {
namespace {

using test::argbPixels;

// Builds BMP files field by field, so every variant can be made in code.
struct BmpFile {
  int headerSize = 40;
  int width = 0;
  int height = 0;
  int bpp = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks;  // after a 40-byte header, or inside a larger one
  std::vector<RgbQuad> palette;
  std::vector<uint8_t> pixels;

  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out;
    auto put16 = [&](uint32_t v) {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    const bool core = headerSize == 12;
    const size_t entry = core ? 3 : 4;
    const size_t maskBytes = headerSize == 40 ? masks.size() * 4 : 0;
    const size_t offset = 14 + static_cast<size_t>(headerSize) + maskBytes + entry * palette.size();
    out.push_back('B');
    out.push_back('M');
    put32(static_cast<uint32_t>(offset + pixels.size()));
    put32(0);
    put32(static_cast<uint32_t>(offset));
    put32(static_cast<uint32_t>(headerSize));
    if (core) {
      put16(static_cast<uint32_t>(width));
      put16(static_cast<uint32_t>(height));
      put16(1);
      put16(static_cast<uint32_t>(bpp));
    } else {
      put32(static_cast<uint32_t>(width));
      put32(static_cast<uint32_t>(height));
      put16(1);
      put16(static_cast<uint32_t>(bpp));
      put32(compression);
      put32(static_cast<uint32_t>(pixels.size()));
      put32(0);
      put32(0);
      put32(colorsUsed);
      put32(0);
      if (headerSize > 40) {
        std::vector<uint32_t> inside = masks;
        inside.resize(static_cast<size_t>(headerSize - 40) / 4, 0);
        for (uint32_t v : inside)
          put32(v);
      } else {
        for (uint32_t v : masks)
          put32(v);
      }
    }
    for (const RgbQuad& c : palette) {
      out.push_back(c.blue);
      out.push_back(c.green);
      out.push_back(c.red);
      if (!core) out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};

ImageError decode(const BmpFile& file, DibImage& image) {
  const std::vector<uint8_t> data = file.bytes();
  return image.loadFromMemory(data);
}

std::vector<RgbQuad> greyPalette(int count) {
  std::vector<RgbQuad> palette;
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (count - 1));
    palette.push_back({v, v, v, 0});
  }
  return palette;
}

uint32_t grey(int level) {
  return 0xFF000000u | static_cast<uint32_t>(level) * 0x010101u;
}

TEST(BmpCodec, PalettePicturesOfEveryDepthKeepTheirIndicesAndTable) {
  struct Case {
    int bpp;
    std::vector<uint8_t> rows;  // two rows of 8 pixels, bottom row first
    std::vector<int> topRowLevels;
  };
  const Case cases[] = {
      {1, {0xF0, 0, 0, 0, 0x0F, 0, 0, 0}, {0, 0, 0, 0, 255, 255, 255, 255}},
      {4,
       {0x01, 0x23, 0x45, 0x67, 0xFE, 0xDC, 0xBA, 0x98},
       {255, 238, 221, 204, 187, 170, 153, 136}},
  };
  for (const Case& c : cases) {
    BmpFile file;
    file.width = 8;
    file.height = 2;
    file.bpp = c.bpp;
    file.palette = greyPalette(1 << c.bpp);
    file.pixels = c.rows;
    DibImage image;
    ASSERT_FALSE(decode(file, image).failed()) << c.bpp;
    EXPECT_EQ(image.bitsPerPixel(), c.bpp);
    EXPECT_LT(image.pitch(), 0);
    const std::vector<uint32_t> pixels = argbPixels(image);
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(pixels[static_cast<size_t>(x)], grey(c.topRowLevels[static_cast<size_t>(x)]));
  }

  // 8 bits, a palette shorter than 256 entries: the rest stays black.
  BmpFile eight;
  eight.width = 3;
  eight.height = 1;
  eight.bpp = 8;
  eight.colorsUsed = 3;
  eight.palette = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};
  eight.pixels = {2, 1, 0, 0};
  DibImage image;
  ASSERT_FALSE(decode(eight, image).failed());
  EXPECT_EQ(image.bitsPerPixel(), 8);
  EXPECT_EQ(image.colorTable()[2], (RgbQuad{255, 0, 0, 0}));
  EXPECT_EQ(image.colorTable()[3], (RgbQuad{0, 0, 0, 0}));
  EXPECT_EQ(argbPixels(image), (std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00, 0xFFFF0000}));
}

TEST(BmpCodec, RleEscapesDeltasAndLineEnds) {
  BmpFile rle8;
  rle8.width = 6;
  rle8.height = 3;
  rle8.bpp = 8;
  rle8.compression = 1;
  rle8.palette = greyPalette(256);
  rle8.pixels = {
      3, 10,                 // bottom row: three pixels of 10
      0, 0,                  // end of line
      0, 2,  2,  1,          // delta: two right, one up -> top row, x = 2
      0, 3,  20, 21, 22, 0,  // absolute run of three, padded
      0, 1,                  // end of bitmap
  };
  DibImage image;
  ASSERT_FALSE(decode(rle8, image).failed());
  ASSERT_EQ(image.bitsPerPixel(), 8);
  const std::vector<uint32_t> p = argbPixels(image);
  const std::vector<int> expected = {0,  0,  20, 21, 22, 0,   // top
                                     0,  0,  0,  0,  0,  0,   // middle: skipped
                                     10, 10, 10, 0,  0,  0};  // bottom
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(p[i], grey(expected[i])) << i;

  BmpFile rle4;
  rle4.width = 6;
  rle4.height = 1;
  rle4.bpp = 4;
  rle4.compression = 2;
  rle4.palette = greyPalette(16);
  rle4.pixels = {3, 0x12, 0, 3, 0x34, 0x50, 0, 1};  // 1 2 1, then absolute 3 4 5
  ASSERT_FALSE(decode(rle4, image).failed());
  EXPECT_EQ(image.bitsPerPixel(), 4);
  EXPECT_EQ(argbPixels(image),
            (std::vector<uint32_t>{grey(17), grey(34), grey(17), grey(51), grey(68), grey(85)}));
}

TEST(BmpCodec, DirectColourVariants) {
  // 16 bits, plain 5-5-5 and 5-6-5 bit fields.
  BmpFile plain16;
  plain16.width = 2;
  plain16.height = 1;
  plain16.bpp = 16;
  plain16.pixels = {0x00, 0x7C, 0x1F, 0x00};  // red, blue
  DibImage image;
  ASSERT_FALSE(decode(plain16, image).failed());
  EXPECT_EQ(image.bitsPerPixel(), 16);
  EXPECT_EQ(argbPixels(image), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));

  BmpFile fields565 = plain16;
  fields565.compression = 3;
  fields565.masks = {0xF800, 0x07E0, 0x001F};
  fields565.pixels = {0xE0, 0x07, 0x00, 0xF8};  // green, red
  ASSERT_FALSE(decode(fields565, image).failed());
  EXPECT_EQ(argbPixels(image), (std::vector<uint32_t>{0xFF00FF00, 0xFFFF0000}));

  // 24 bits: bottom-up rows equal the file's rows; top-down reads the same picture.
  BmpFile up;
  up.width = 2;
  up.height = 2;
  up.pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  ASSERT_FALSE(decode(up, image).failed());
  EXPECT_EQ(image.bitsPerPixel(), 24);
  EXPECT_LT(image.pitch(), 0);
  EXPECT_EQ(std::memcmp(image.row(1), up.pixels.data(), 8), 0);
  EXPECT_EQ(std::memcmp(image.row(0), up.pixels.data() + 8, 8), 0);
  BmpFile down = up;
  down.height = -2;
  std::swap_ranges(down.pixels.begin(), down.pixels.begin() + 8, down.pixels.begin() + 8);
  DibImage topDown;
  ASSERT_FALSE(decode(down, topDown).failed());
  EXPECT_EQ(argbPixels(topDown), argbPixels(image));

  // 32 bits without alpha, and with an alpha mask in a V5 header.
  BmpFile rgb32;
  rgb32.width = 1;
  rgb32.height = 1;
  rgb32.bpp = 32;
  rgb32.pixels = {1, 2, 3, 99};
  ASSERT_FALSE(decode(rgb32, image).failed());
  EXPECT_EQ(image.bitsPerPixel(), 32);
  EXPECT_FALSE(image.hasAlpha());
  BmpFile argb = rgb32;
  argb.headerSize = 124;
  argb.compression = 3;
  argb.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  ASSERT_FALSE(decode(argb, image).failed());
  EXPECT_TRUE(image.hasAlpha());
  EXPECT_EQ(argbPixels(image)[0], 0x63030201u);

  // OS/2 core header with three-byte palette entries.
  BmpFile os2;
  os2.headerSize = 12;
  os2.width = 2;
  os2.height = 1;
  os2.bpp = 8;
  os2.palette = {{0, 0, 0, 0}, {9, 8, 7, 0}};
  os2.pixels = {1, 0, 0, 0};
  ASSERT_FALSE(decode(os2, image).failed());
  EXPECT_EQ(argbPixels(image), (std::vector<uint32_t>{0xFF070809, 0xFF000000}));
}

TEST(BmpCodec, HostileAndTruncatedFilesFailAndLeaveTheRecord) {
  BmpFile good;
  good.width = 4;
  good.height = 4;
  good.pixels.assign(48, 7);
  std::vector<BmpFile> bad;
  BmpFile truncated = good;
  truncated.pixels.resize(40);
  bad.push_back(truncated);
  BmpFile zeroWidth = good;
  zeroWidth.width = 0;
  bad.push_back(zeroWidth);
  BmpFile huge = good;
  huge.width = 65536;
  bad.push_back(huge);
  BmpFile billions = good;
  billions.width = 60000;
  billions.height = -60000;
  bad.push_back(billions);
  BmpFile jpegInside = good;
  jpegInside.compression = 4;
  bad.push_back(jpegInside);
  BmpFile badMasks = good;
  badMasks.bpp = 32;
  badMasks.pixels.assign(64, 0);
  badMasks.compression = 3;
  badMasks.masks = {0xF0F0, 0x0F00, 0x000F};
  bad.push_back(badMasks);
  BmpFile rleTopDown = good;
  rleTopDown.bpp = 8;
  rleTopDown.compression = 1;
  rleTopDown.height = -4;
  rleTopDown.palette = greyPalette(2);
  bad.push_back(rleTopDown);
  BmpFile noPalette = good;
  noPalette.bpp = 8;
  bad.push_back(noPalette);

  DibImage image = test::patternImage(3, 3);
  const std::vector<uint32_t> before = argbPixels(image);
  for (const BmpFile& file : bad) {
    EXPECT_TRUE(decode(file, image).failed()) << file.width << "x" << file.height;
    EXPECT_EQ(argbPixels(image), before);
  }
  std::vector<uint8_t> shortHeader = good.bytes();
  shortHeader.resize(20);
  EXPECT_TRUE(image.loadFromMemory(shortHeader).failed());
  std::vector<uint8_t> hugeHeaderSize = good.bytes();
  hugeHeaderSize[14] = 0xFF;
  hugeHeaderSize[17] = 0x7F;
  EXPECT_TRUE(image.loadFromMemory(hugeHeaderSize).failed());
}

TEST(BmpCodec, EveryDepthRoundTrips) {
  std::vector<DibImage> pictures;
  for (int bpp : {1, 4, 8}) {
    DibImage indexed;
    ASSERT_TRUE(indexed.create(13, 5, bpp));
    std::vector<RgbQuad> palette;
    for (int i = 0; i < (1 << bpp); ++i) {
      palette.push_back(
          {static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 0});
    }
    indexed.setColorTable(0, static_cast<int>(palette.size()), palette.data());
    for (int y = 0; y < 5; ++y) {
      for (int i = 0; i < dibPitch(13, bpp); ++i)
        indexed.row(y)[i] = static_cast<uint8_t>(i * 37 + y);
    }
    pictures.push_back(std::move(indexed));
  }
  DibImage rgb16;
  ASSERT_TRUE(rgb16.create(3, 2, 16));
  for (int y = 0; y < 2; ++y) {
    for (int i = 0; i < 6; ++i)
      rgb16.row(y)[i] = static_cast<uint8_t>(i * 29 + y);
  }
  pictures.push_back(std::move(rgb16));
  pictures.push_back(test::patternImage(7, 3));
  pictures.push_back(test::patternImage(7, 3, 32));
  pictures.push_back(test::patternImage(7, 3, 32, true));

  for (const DibImage& picture : pictures) {
    std::vector<uint8_t> encoded;
    ASSERT_FALSE(picture.encode(".bmp", {}, encoded).failed());
    DibImage back;
    ASSERT_FALSE(back.loadFromMemory(encoded).failed());
    EXPECT_EQ(back.bitsPerPixel(), picture.bitsPerPixel());
    EXPECT_EQ(back.hasAlpha(), picture.hasAlpha());
    EXPECT_EQ(argbPixels(back), argbPixels(picture)) << picture.bitsPerPixel();
  }
}

}  // namespace
}  // namespace pelorix
