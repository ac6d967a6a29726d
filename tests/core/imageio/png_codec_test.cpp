// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <png.h>

#include <hwy/targets.h>

#include <csetjmp>
#include <cstring>
#include <map>

#include "image_test_support.h"
#include "imageio/codec.h"

namespace pelorix {
namespace {

using test::argbPixels;

// ---- A minimal libpng writer for test files of every colour type and depth. ----

struct PngLayout {
  int width;
  int height;
  int colorType;
  int depth;
  bool interlace = false;
  std::vector<uint8_t> packedRows;  // rows as PNG stores them, top row first
  std::vector<png_color> palette;
  std::vector<uint8_t> trnsAlpha;  // palette transparency
  bool trnsColor = false;
  png_color_16 trns{};
};

struct WriteSink {
  std::vector<uint8_t>* out;
};

void sinkWrite(png_structp png, png_bytep data, size_t size) {
  auto* sink = static_cast<WriteSink*>(png_get_io_ptr(png));
  sink->out->insert(sink->out->end(), data, data + size);
}
void sinkFlush(png_structp) {}

bool writePngRaw(const PngLayout* layout, png_bytepp rows, WriteSink* sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, sinkWrite, sinkFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(layout->width),
               static_cast<png_uint_32>(layout->height), layout->depth, layout->colorType,
               layout->interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout->palette.empty()) {
    png_set_PLTE(png, info, layout->palette.data(), static_cast<int>(layout->palette.size()));
  }
  if (!layout->trnsAlpha.empty()) {
    png_set_tRNS(png, info, layout->trnsAlpha.data(), static_cast<int>(layout->trnsAlpha.size()),
                 nullptr);
  }
  if (layout->trnsColor) png_set_tRNS(png, info, nullptr, 0, &layout->trns);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::vector<uint8_t> makePng(const PngLayout& layout) {
  const size_t rowBytes = layout.packedRows.size() / static_cast<size_t>(layout.height);
  std::vector<png_bytep> rows;
  std::vector<uint8_t> data = layout.packedRows;
  for (int y = 0; y < layout.height; ++y)
    rows.push_back(data.data() + rowBytes * static_cast<size_t>(y));
  std::vector<uint8_t> out;
  WriteSink sink{&out};
  EXPECT_TRUE(writePngRaw(&layout, rows.data(), &sink));
  return out;
}

uint32_t argb(int a, int r, int g, int b) {
  return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 |
         static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
}

struct Expectation {
  int bitsPerPixel;
  bool alpha;
  std::vector<uint32_t> pixels;
};

void expectDecodes(const PngLayout& layout, const Expectation& expected, const char* what) {
  DibImage image;
  const ImageError result = image.loadFromMemory(makePng(layout));
  ASSERT_FALSE(result.failed()) << what << ": " << result.errorMessage();
  EXPECT_EQ(image.bitsPerPixel(), expected.bitsPerPixel) << what;
  EXPECT_EQ(image.hasAlpha(), expected.alpha) << what;
  EXPECT_EQ(argbPixels(image), expected.pixels) << what;
}

TEST(PngCodec, PaletteFilesKeepTheirIndicesAtEveryDepth) {
  const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  const uint32_t red = argb(255, 255, 0, 0), green = argb(255, 0, 255, 0),
                 blue = argb(255, 0, 0, 255), dark = argb(255, 9, 9, 9);
  // Four pixels: indices 1 0 3 2 (1-bit: 1 0 1 0).
  const std::vector<png_color> two(palette.begin(), palette.begin() + 2);
  expectDecodes({4, 1, PNG_COLOR_TYPE_PALETTE, 1, false, {0xA0}, two},
                {1, false, {green, red, green, red}}, "palette 1");
  expectDecodes({4, 1, PNG_COLOR_TYPE_PALETTE, 2, false, {0x4E}, palette},
                {8, false, {green, red, dark, blue}}, "palette 2");
  expectDecodes({4, 1, PNG_COLOR_TYPE_PALETTE, 4, false, {0x10, 0x32}, palette},
                {4, false, {green, red, dark, blue}}, "palette 4");
  expectDecodes({4, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {1, 0, 3, 2}, palette},
                {8, false, {green, red, dark, blue}}, "palette 8");
  PngLayout transparent{2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {0, 1}, palette};
  transparent.trnsAlpha = {0, 128};
  expectDecodes(transparent, {32, true, {argb(0, 255, 0, 0), argb(128, 0, 255, 0)}},
                "palette tRNS");
}

TEST(PngCodec, GreyFiles) {
  expectDecodes(
      {3, 1, PNG_COLOR_TYPE_GRAY, 1, false, {0xA0}},
      {1, false, {argb(255, 255, 255, 255), argb(255, 0, 0, 0), argb(255, 255, 255, 255)}},
      "grey 1");
  expectDecodes({2, 1, PNG_COLOR_TYPE_GRAY, 2, false, {0x70}},
                {8, false, {argb(255, 85, 85, 85), argb(255, 255, 255, 255)}}, "grey 2");
  expectDecodes({2, 1, PNG_COLOR_TYPE_GRAY, 4, false, {0x1F}},
                {8, false, {argb(255, 17, 17, 17), argb(255, 255, 255, 255)}}, "grey 4");
  expectDecodes({2, 1, PNG_COLOR_TYPE_GRAY, 8, false, {7, 200}},
                {8, false, {argb(255, 7, 7, 7), argb(255, 200, 200, 200)}}, "grey 8");
  expectDecodes({1, 1, PNG_COLOR_TYPE_GRAY, 16, false, {0x80, 0x00}},
                {32, false, {argb(255, 128, 128, 128)}}, "grey 16");
  PngLayout keyed{2, 1, PNG_COLOR_TYPE_GRAY, 8, false, {7, 200}};
  keyed.trnsColor = true;
  keyed.trns.gray = 7;
  expectDecodes(keyed, {32, true, {argb(0, 7, 7, 7), argb(255, 200, 200, 200)}}, "grey tRNS");
  expectDecodes({1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {50, 60}},
                {32, true, {argb(60, 50, 50, 50)}}, "grey alpha");
}

TEST(PngCodec, ColourFiles) {
  expectDecodes({2, 1, PNG_COLOR_TYPE_RGB, 8, false, {1, 2, 3, 4, 5, 6}},
                {24, false, {argb(255, 1, 2, 3), argb(255, 4, 5, 6)}}, "rgb 8");
  expectDecodes({1, 1, PNG_COLOR_TYPE_RGB, 16, false, {0xFF, 0xFF, 0x00, 0x00, 0x80, 0x00}},
                {32, false, {argb(255, 255, 0, 128)}}, "rgb 16");
  PngLayout keyed{2, 1, PNG_COLOR_TYPE_RGB, 8, false, {1, 2, 3, 4, 5, 6}};
  keyed.trnsColor = true;
  keyed.trns.red = 4;
  keyed.trns.green = 5;
  keyed.trns.blue = 6;
  expectDecodes(keyed, {32, true, {argb(255, 1, 2, 3), argb(0, 4, 5, 6)}}, "rgb tRNS");
  expectDecodes({1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {1, 2, 3, 4}},
                {32, true, {argb(4, 1, 2, 3)}}, "rgba 8");
  expectDecodes({1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, false, {1, 0, 2, 0, 3, 0, 4, 0}},
                {32, true, {argb(4, 1, 2, 3)}}, "rgba 16");
}

TEST(PngCodec, InterlacedFileGivesTheSamePixels) {
  PngLayout layout{9, 7, PNG_COLOR_TYPE_RGB, 8};
  for (int i = 0; i < 9 * 7 * 3; ++i)
    layout.packedRows.push_back(static_cast<uint8_t>(i * 13));
  DibImage plain, interlaced;
  ASSERT_FALSE(plain.loadFromMemory(makePng(layout)).failed());
  layout.interlace = true;
  ASSERT_FALSE(interlaced.loadFromMemory(makePng(layout)).failed());
  EXPECT_EQ(argbPixels(interlaced), argbPixels(plain));
}

// Every level and every vector set the processor has: the same bytes, the same pixels back.
// The wide pictures run whole vectors with a partial one at the end of each row.
TEST(PngCodec, EveryLevelAndVectorSetRoundTripsEveryDepth) {
  std::vector<DibImage> pictures;
  pictures.push_back(test::patternImage(37, 11));
  pictures.push_back(test::patternImage(37, 11, 32));
  pictures.push_back(test::patternImage(37, 11, 32, true));
  pictures.push_back(test::photoLikeImage(203, 9));
  pictures.push_back(test::patternImage(203, 9, 32, true));
  DibImage indexed;
  ASSERT_TRUE(indexed.create(5, 3, 8));
  const RgbQuad colours[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
  indexed.setColorTable(0, 3, colours);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x)
      indexed.row(y)[x] = static_cast<uint8_t>((x + y) % 3);
  }
  pictures.push_back(std::move(indexed));

  std::map<std::pair<int, size_t>, std::vector<uint8_t>> firstBytes;
  for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    for (int level : {0, 1, 2, 6, 9}) {
      for (size_t i = 0; i < pictures.size(); ++i) {
        const DibImage& picture = pictures[i];
        const std::string where = std::string(hwy::TargetName(target)) + " level " +
                                  std::to_string(level) + " picture " + std::to_string(i);
        std::vector<uint8_t> encoded;
        ImageEncodeOptions options;
        options.pngLevel = level;
        ASSERT_FALSE(picture.encode("png", options, encoded).failed());
        const auto [first, isFirst] = firstBytes.try_emplace({level, i}, encoded);
        EXPECT_TRUE(isFirst || first->second == encoded) << where;
        DibImage back;
        const ImageError decoded = back.loadFromMemory(encoded);
        ASSERT_FALSE(decoded.failed()) << decoded.errorMessage();  // libpng checks the sums
        const bool alpha = picture.hasAlpha();
        EXPECT_EQ(back.bitsPerPixel(), alpha ? 32 : 24) << where;
        EXPECT_EQ(back.hasAlpha(), alpha);
        EXPECT_EQ(argbPixels(back), argbPixels(picture)) << where;
      }
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

TEST(PngCodec, LargeFramesShrinkWithTheLevel) {
  const DibImage picture = test::photoLikeImage(1280, 720);
  size_t previous = SIZE_MAX;
  for (int level : {1, 6}) {
    std::vector<uint8_t> encoded;
    ImageEncodeOptions options;
    options.pngLevel = level;
    ASSERT_FALSE(picture.encode(".png", options, encoded).failed());
    DibImage back;
    ASSERT_FALSE(back.loadFromMemory(encoded).failed());
    EXPECT_EQ(test::maxChannelDifference(back, picture), 0);
    EXPECT_LE(encoded.size(), previous) << "level " << level;
    previous = encoded.size();
  }
  EXPECT_LT(previous, static_cast<size_t>(1280 * 720 * 3));
}

TEST(PngCodec, TruncatedAndCorruptFilesFail) {
  PngLayout layout{16, 16, PNG_COLOR_TYPE_RGB, 8};
  layout.packedRows.assign(16 * 16 * 3, 77);
  const std::vector<uint8_t> good = makePng(layout);
  DibImage image = test::patternImage(2, 2);
  const auto before = argbPixels(image);
  for (size_t cut : {size_t{8}, size_t{20}, size_t{40}, good.size() - 20}) {
    const std::vector<uint8_t> shortened(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_TRUE(image.loadFromMemory(shortened).failed()) << cut;
  }
  std::vector<uint8_t> corrupt = good;
  corrupt[corrupt.size() / 2] ^= 0xFF;  // inside the compressed data: CRC error
  EXPECT_TRUE(image.loadFromMemory(corrupt).failed());
  std::vector<uint8_t> huge = good;
  huge[16] = 0x7F;  // width 0x7F000010
  EXPECT_TRUE(image.loadFromMemory(huge).failed());
  EXPECT_EQ(argbPixels(image), before);
}

}  // namespace
}  // namespace pelorix
