// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG, GIF, WebP and TIFF, the extension rule and the file-level errors of load and save.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <cstring>
#include <filesystem>

#include "image_test_support.h"
#include "imageio/codec.h"
#include "test_support.h"

namespace pelorix {
namespace {

using test::argbPixels;
using test::maxChannelDifference;

std::vector<uint8_t> encodeAs(const DibImage& image, const char* extension,
                              ImageEncodeOptions options = {}) {
  std::vector<uint8_t> out;
  const ImageError result = image.encode(extension, options, out);
  EXPECT_FALSE(result.failed()) << extension << ": " << result.errorMessage();
  return out;
}

double meanChannelDifference(const DibImage& a, const DibImage& b) {
  const auto pa = argbPixels(a), pb = argbPixels(b);
  double sum = 0;
  for (size_t i = 0; i < pa.size(); ++i) {
    for (int s = 0; s < 24; s += 8)
      sum += std::abs(static_cast<int>((pa[i] >> s) & 255) - static_cast<int>((pb[i] >> s) & 255));
  }
  return sum / (3.0 * static_cast<double>(pa.size()));
}

std::vector<uint8_t> turboJpeg(const std::vector<uint8_t>& pixels, int width, int height,
                               int format, int subsampling, int flags) {
  tjhandle tj = tjInitCompress();
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int result = tjCompress2(tj, pixels.data(), width, 0, height, format, &buffer, &size,
                                 subsampling, 95, flags);
  EXPECT_EQ(result, 0) << tjGetErrorStr2(tj);
  std::vector<uint8_t> out(buffer, buffer + size);
  tjFree(buffer);
  tjDestroy(tj);
  return out;
}

TEST(JpegCodec, ColourGreyProgressiveAndCmyk) {
  const DibImage photo = test::photoLikeImage(64, 48);
  DibImage back;
  ASSERT_FALSE(back.loadFromMemory(encodeAs(photo, ".jpg")).failed());
  EXPECT_EQ(back.bitsPerPixel(), 24);
  EXPECT_LT(meanChannelDifference(back, photo), 4.0);

  const DibImage bgra = test::patternImage(16, 16, 32, true);  // alpha is dropped
  ASSERT_FALSE(back.loadFromMemory(encodeAs(bgra, "JPEG")).failed());
  EXPECT_EQ(back.bitsPerPixel(), 24);

  std::vector<uint8_t> greyPixels(32 * 8);
  for (size_t i = 0; i < greyPixels.size(); ++i)
    greyPixels[i] = static_cast<uint8_t>(i % 32 * 8);
  ASSERT_FALSE(
      back.loadFromMemory(turboJpeg(greyPixels, 32, 8, TJPF_GRAY, TJSAMP_GRAY, 0)).failed());
  EXPECT_EQ(back.bitsPerPixel(), 8);
  EXPECT_EQ(back.colorTable()[200], (RgbQuad{200, 200, 200, 0}));

  std::vector<uint8_t> rgb(16 * 16 * 3, 0);
  for (size_t i = 0; i < rgb.size(); i += 3)
    rgb[i] = 200;  // red
  ASSERT_FALSE(back.loadFromMemory(turboJpeg(rgb, 16, 16, TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE))
                   .failed());
  EXPECT_EQ(back.bitsPerPixel(), 24);
  EXPECT_NEAR(back.row(8)[8 * 3 + 2], 200, 3);

  // Inverted (Adobe) CMYK: cyan 0 ink = 255 stored, and so on; magenta ink only gives magenta.
  std::vector<uint8_t> cmyk(16 * 16 * 4);
  for (size_t i = 0; i < cmyk.size(); i += 4) {
    cmyk[i] = 255;      // no cyan
    cmyk[i + 1] = 0;    // full magenta
    cmyk[i + 2] = 255;  // no yellow
    cmyk[i + 3] = 255;  // no black
  }
  ASSERT_FALSE(back.loadFromMemory(turboJpeg(cmyk, 16, 16, TJPF_CMYK, TJSAMP_444, 0)).failed());
  EXPECT_EQ(back.bitsPerPixel(), 32);
  EXPECT_FALSE(back.hasAlpha());
  const uint8_t* p = back.row(8) + 8 * 4;
  EXPECT_NEAR(p[2], 255, 4);  // red
  EXPECT_NEAR(p[1], 0, 4);    // green
  EXPECT_NEAR(p[0], 255, 4);  // blue

  std::vector<uint8_t> cut = encodeAs(photo, ".jpg");
  cut.resize(cut.size() / 2);
  DibImage untouched;
  EXPECT_TRUE(untouched.loadFromMemory(cut).failed());
  EXPECT_TRUE(untouched.empty());
  // Cut inside the headers, before the frame header: reported as damage, not as a size.
  for (size_t length : {size_t{4}, size_t{20}, size_t{120}}) {
    cut.resize(length);
    const ImageError error = untouched.loadFromMemory(cut);
    EXPECT_TRUE(error.failed());
    EXPECT_EQ(error.errorMessage().find("too large"), std::string::npos) << error.errorMessage();
  }
}

std::vector<uint8_t> giflibFile(bool interlace) {
  // A 6x4 screen with a 2x2 frame at (3, 1), transparency index 2.
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &out,
      [](GifFileType* g, const GifByteType* data, int n) {
        auto* v = static_cast<std::vector<uint8_t>*>(g->UserData);
        v->insert(v->end(), data, data + n);
        return n;
      },
      &error);
  GifColorType colours[4] = {{10, 0, 0}, {0, 20, 0}, {0, 0, 30}, {40, 40, 40}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, 6, 4, 2, 1, map);
  const GifByteType control[4] = {1, 0, 0, 2};
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
  EGifPutImageDesc(gif, 3, 1, 2, 2, interlace, nullptr);
  GifPixelType row0[2] = {0, 1}, row1[2] = {3, 3};
  EGifPutLine(gif, row0, 2);
  EGifPutLine(gif, row1, 2);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

TEST(GifCodec, FirstFrameOnItsScreenWithThePalette) {
  DibImage image;
  ASSERT_FALSE(image.loadFromMemory(giflibFile(false)).failed());
  EXPECT_EQ(image.bitsPerPixel(), 8);
  EXPECT_EQ(image.width(), 6);
  EXPECT_EQ(image.height(), 4);
  EXPECT_EQ(image.colorTable()[1], (RgbQuad{0, 20, 0, 0}));
  EXPECT_EQ(image.colorTable()[4], (RgbQuad{0, 0, 0, 0}));
  EXPECT_EQ(image.row(0)[0], 2);  // outside the frame: the transparent index
  EXPECT_EQ(image.row(1)[3], 0);
  EXPECT_EQ(image.row(1)[4], 1);
  EXPECT_EQ(image.row(2)[3], 3);
  EXPECT_EQ(image.row(3)[5], 2);
  DibImage interlaced;
  ASSERT_FALSE(interlaced.loadFromMemory(giflibFile(true)).failed());
  EXPECT_EQ(argbPixels(interlaced), argbPixels(image));
}

TEST(GifCodec, WriterQuantisesAndKeepsTransparency) {
  // Few colours survive the median cut closely.
  DibImage flat;
  ASSERT_TRUE(flat.create(16, 16, 24));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      uint8_t* p = flat.row(y) + 3 * x;
      p[0] = x < 8 ? 200 : 16;
      p[1] = y < 8 ? 64 : 128;
      p[2] = 240;
    }
  }
  DibImage back;
  ASSERT_FALSE(back.loadFromMemory(encodeAs(flat, ".gif")).failed());
  EXPECT_EQ(back.bitsPerPixel(), 8);
  EXPECT_LE(maxChannelDifference(back, flat), 8);

  const DibImage photo = test::photoLikeImage(40, 30);
  ASSERT_FALSE(back.loadFromMemory(encodeAs(photo, ".gif")).failed());
  EXPECT_LT(meanChannelDifference(back, photo), 8.0);

  DibImage alpha = test::patternImage(4, 1, 32, true);
  alpha.row(0)[3] = 0;  // first pixel clear, the others opaque enough
  for (int x = 1; x < 4; ++x)
    alpha.row(0)[4 * x + 3] = 255;
  const std::vector<uint8_t> gif = encodeAs(alpha, ".gif");
  ASSERT_FALSE(back.loadFromMemory(gif).failed());
  const uint8_t clearIndex = back.row(0)[0];
  EXPECT_NE(back.row(0)[1], clearIndex);
  // The graphics control block names that index as transparent.
  const uint8_t control[] = {0x21, 0xF9, 0x04, 0x01};
  const auto at = std::search(gif.begin(), gif.end(), control, control + 4);
  ASSERT_NE(at, gif.end());
  EXPECT_EQ(*(at + 6), clearIndex);

  // An indexed picture keeps its palette exactly.
  DibImage indexed;
  ASSERT_TRUE(indexed.create(3, 1, 8));
  const RgbQuad colours[3] = {{1, 2, 3, 0}, {90, 80, 70, 0}, {255, 0, 255, 0}};
  indexed.setColorTable(0, 3, colours);
  indexed.row(0)[0] = 2;
  indexed.row(0)[1] = 0;
  indexed.row(0)[2] = 1;
  ASSERT_FALSE(back.loadFromMemory(encodeAs(indexed, ".gif")).failed());
  EXPECT_EQ(argbPixels(back), argbPixels(indexed));
}

TEST(WebpCodec, ColourAndAlpha) {
  const DibImage photo = test::photoLikeImage(64, 48);
  DibImage back;
  ASSERT_FALSE(back.loadFromMemory(encodeAs(photo, ".webp")).failed());
  EXPECT_EQ(back.bitsPerPixel(), 24);
  EXPECT_FALSE(back.hasAlpha());
  EXPECT_LT(meanChannelDifference(back, photo), 6.0);

  const DibImage withAlpha = test::patternImage(16, 16, 32, true);
  ASSERT_FALSE(back.loadFromMemory(encodeAs(withAlpha, ".webp")).failed());
  EXPECT_EQ(back.bitsPerPixel(), 32);
  EXPECT_TRUE(back.hasAlpha());
  EXPECT_EQ(back.row(3)[4 * 5 + 3], withAlpha.row(3)[4 * 5 + 3]);  // alpha is kept losslessly

  std::vector<uint8_t> cut = encodeAs(photo, ".webp");
  cut.resize(cut.size() - 40);
  EXPECT_TRUE(back.loadFromMemory(cut).failed());
}

struct TiffSink {
  std::vector<uint8_t> data;
  uint64_t pos = 0;
};

std::vector<uint8_t> libtiffFile(uint16_t photometric, uint16_t samples, uint16_t bits,
                                 const std::vector<uint8_t>& rows, int width, int height,
                                 const std::vector<uint16_t>& colormap = {}) {
  test::TempDir dir;
  const std::string path = dir.file("t.tif");
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (!colormap.empty()) {
    const size_t n = colormap.size() / 3;
    TIFFSetField(tiff, TIFFTAG_COLORMAP, colormap.data(), colormap.data() + n,
                 colormap.data() + 2 * n);
  }
  const size_t rowBytes = rows.size() / static_cast<size_t>(height);
  std::vector<uint8_t> copy = rows;
  for (int y = 0; y < height; ++y)
    TIFFWriteScanline(tiff, copy.data() + rowBytes * y, static_cast<uint32_t>(y), 0);
  TIFFClose(tiff);
  const std::string bytes = test::readFile(path);
  return {bytes.begin(), bytes.end()};
}

TEST(TiffCodec, DepthClassesAndRoundTrips) {
  DibImage back;
  const DibImage picture = test::patternImage(9, 5);
  ASSERT_FALSE(back.loadFromMemory(encodeAs(picture, ".tif")).failed());
  EXPECT_EQ(back.bitsPerPixel(), 24);
  EXPECT_EQ(argbPixels(back), argbPixels(picture));
  const DibImage alpha = test::patternImage(9, 5, 32, true);
  ASSERT_FALSE(back.loadFromMemory(encodeAs(alpha, ".TIFF")).failed());
  EXPECT_TRUE(back.hasAlpha());
  EXPECT_EQ(argbPixels(back), argbPixels(alpha));

  std::vector<uint16_t> colormap(3 * 256, 0);
  colormap[1] = 0xFFFF;        // red of entry 1
  colormap[256 + 2] = 0x8000;  // green of entry 2
  colormap[512 + 3] = 55586;   // blue of entry 3: 216.15 rounds to 216, not 217 (the high byte)
  ASSERT_FALSE(
      back.loadFromMemory(libtiffFile(PHOTOMETRIC_PALETTE, 1, 8, {1, 2, 0, 3}, 4, 1, colormap))
          .failed());
  EXPECT_EQ(back.bitsPerPixel(), 8);
  EXPECT_EQ(argbPixels(back),
            (std::vector<uint32_t>{0xFFFF0000, 0xFF008000, 0xFF000000, 0xFF0000D8}));

  ASSERT_FALSE(
      back.loadFromMemory(libtiffFile(PHOTOMETRIC_MINISBLACK, 1, 8, {0, 99}, 2, 1)).failed());
  EXPECT_EQ(back.bitsPerPixel(), 8);
  EXPECT_EQ(argbPixels(back)[1], 0xFF636363u);
  ASSERT_FALSE(
      back.loadFromMemory(libtiffFile(PHOTOMETRIC_MINISWHITE, 1, 1, {0x80}, 2, 1)).failed());
  EXPECT_EQ(back.bitsPerPixel(), 1);
  EXPECT_EQ(argbPixels(back), (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF}));

  const std::vector<uint8_t> deep = {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};  // one 16-bit RGB pixel
  ASSERT_FALSE(back.loadFromMemory(libtiffFile(PHOTOMETRIC_RGB, 3, 16, deep, 1, 1)).failed());
  EXPECT_EQ(back.bitsPerPixel(), 32);
  EXPECT_FALSE(back.hasAlpha());
  EXPECT_EQ(argbPixels(back)[0] & 0xFFFF00u, 0xFF0000u);

  std::vector<uint8_t> cut = encodeAs(test::photoLikeImage(64, 64), ".tif");
  cut.resize(cut.size() / 3);
  EXPECT_TRUE(back.loadFromMemory(cut).failed());
}

TEST(ImageFiles, ExtensionChoosesTheEncoder) {
  EXPECT_EQ(fileExtension("/a/b.c/frame"), "");
  EXPECT_EQ(fileExtension("C:\\out.old\\frame"), "");
  EXPECT_EQ(fileExtension("x/frame0001.JPG"), ".JPG");
  EXPECT_EQ(fileExtension("a.tar.gz"), ".gz");
  EXPECT_EQ(codecForExtension(".JPG"), codecForExtension("jpeg"));
  EXPECT_EQ(codecForExtension(".jfif"), &jpegCodec());
  EXPECT_EQ(codecForExtension("DIB"), &bmpCodec());
  EXPECT_EQ(codecForExtension(".xyz"), nullptr);
  EXPECT_EQ(codecForExtension(""), nullptr);

  test::TempDir dir;
  const DibImage picture = test::patternImage(8, 8);
  const std::pair<const char*, const char*> magic[] = {
      {"a.bmp", "BM"},    {"a.JPG", "\xFF\xD8\xFF"}, {"a.png", "\x89PNG"}, {"a.gif", "GIF8"},
      {"a.webp", "RIFF"}, {"a.tif", "II*"},          {"a.dib", "BM"},      {"a.jpe", "\xFF\xD8"}};
  for (const auto& [name, start] : magic) {
    ASSERT_FALSE(picture.save(dir.file(name)).failed()) << name;
    EXPECT_EQ(test::readFile(dir.file(name)).rfind(start, 0), 0u) << name;
  }
  for (const char* name : {"frame", "frame.xyz", "out.old/frame", "missing/a.png"}) {
    std::filesystem::create_directories(dir.path() / "out.old");
    const ImageError result = picture.save(dir.file(name));
    EXPECT_EQ(result.code(), E_FAIL) << name;
    EXPECT_FALSE(test::fileExists(dir.file(name))) << name;
  }
  const DibImage empty;
  EXPECT_EQ(empty.save(dir.file("e.png")).code(), E_FAIL);
  EXPECT_FALSE(test::fileExists(dir.file("e.png")));
}

TEST(ImageFiles, SizesAreReadFromTheFileStart) {
  test::TempDir dir;
  const DibImage picture = test::patternImage(13, 7);
  for (const char* name : {"a.bmp", "a.png", "a.jpg", "a.gif", "a.webp", "a.tif"}) {
    ASSERT_FALSE(picture.save(dir.file(name)).failed()) << name;
    int width = 0, height = 0;
    EXPECT_TRUE(probeImageSize(dir.file(name), width, height)) << name;
    EXPECT_EQ(width, 13) << name;
    EXPECT_EQ(height, 7) << name;
  }
  int width = 0, height = 0;
  EXPECT_FALSE(probeImageSize(dir.file("missing.png"), width, height));
  EXPECT_FALSE(probeImageSize("/dev/zero", width, height));
}

TEST(ImageFiles, LoadFailuresNameTheCauseAndKeepTheRecord) {
  test::TempDir dir;
  DibImage image = test::patternImage(3, 2);
  const auto before = argbPixels(image);
  const ImageError missing = image.load(dir.file("none.png"));
  EXPECT_EQ(missing.code(), E_FAIL);
  EXPECT_NE(missing.errorMessage().find("No such file"), std::string::npos)
      << missing.errorMessage();
  test::writeFile(dir.file("text.png"), "this is not a picture");
  const ImageError text = image.load(dir.file("text.png"));
  EXPECT_EQ(text.code(), E_FAIL);
  test::writeFile(dir.file("empty.bmp"), "");
  EXPECT_TRUE(image.load(dir.file("empty.bmp")).failed());
  EXPECT_TRUE(image.load(dir.path().string()).failed());
  EXPECT_EQ(argbPixels(image), before);

  // A long file name works like a short one.
  const std::string longName = dir.file(std::string(200, 'n') + ".bmp");
  ASSERT_FALSE(image.save(longName).failed());
  DibImage loaded;
  ASSERT_FALSE(loaded.load(longName).failed());
  EXPECT_EQ(argbPixels(loaded), before);
}

}  // namespace
}  // namespace pelorix
