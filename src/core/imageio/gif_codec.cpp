// SPDX-License-Identifier: GPL-3.0-or-later
// GIF through giflib: the first frame of a file, and single-frame files with a palette made by
// giflib's median-cut quantiser.
#include <gif_lib.h>

#include <cstring>

#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/gif_memory.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

ImageError gifFailure(int code) {
  const char* text = GifErrorString(code);
  return ImageError(E_FAIL, std::string("GIF: ") + (text ? text : "unknown error"));
}

class GifCloser {
 public:
  explicit GifCloser(GifFileType* gif, bool decoding) : gif_(gif), decoding_(decoding) {}
  ~GifCloser() { close(); }
  GifCloser(const GifCloser&) = delete;
  GifCloser& operator=(const GifCloser&) = delete;
  int close() {
    int error = D_GIF_SUCCEEDED;
    if (gif_) {
      if (decoding_) {
        DGifCloseFile(gif_, &error);
      } else {
        EGifCloseFile(gif_, &error);
      }
      gif_ = nullptr;
    }
    return error;
  }

 private:
  GifFileType* gif_;
  bool decoding_;
};

class MapHolder {
 public:
  explicit MapHolder(ColorMapObject* map) : map_(map) {}
  ~MapHolder() {
    if (map_) GifFreeMapObject(map_);
  }
  MapHolder(const MapHolder&) = delete;
  MapHolder& operator=(const MapHolder&) = delete;
  ColorMapObject* get() const { return map_; }

 private:
  ColorMapObject* map_;
};

// Reads up to the first picture's descriptor, noting the transparent index of the graphics
// control block before it (-1: none).
ImageError skipToPicture(GifFileType* gif, int& transparent) {
  transparent = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return gifFailure(gif->Error);
    if (type == TERMINATE_RECORD_TYPE) return ImageError(E_FAIL, "GIF: the file holds no picture");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return gifFailure(gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 && (block[1] & 1)) {
        transparent = block[4];
      }
      while (block) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return gifFailure(gif->Error);
      }
      continue;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) break;
  }
  if (DGifGetImageDesc(gif) == GIF_ERROR) return gifFailure(gif->Error);
  return {};
}

// The frame's rows into the screen-sized picture, in the order of its interlacing.
ImageError readRows(GifFileType* gif, DibImage& image) {
  const GifImageDesc& frame = gif->Image;
  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  auto storeLine = [&](int frameRow) {
    const int y = frame.Top + frameRow;
    if (y < 0 || y >= image.height()) return;
    for (int x = 0; x < frame.Width; ++x) {
      const int column = frame.Left + x;
      if (column >= 0 && column < image.width())
        image.row(y)[column] = line[static_cast<size_t>(x)];
    }
  };
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  const int passes = frame.Interlace ? 4 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    const int start = frame.Interlace ? kStart[pass] : 0;
    const int step = frame.Interlace ? kStep[pass] : 1;
    for (int row = start; row < frame.Height; row += step) {
      if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) return gifFailure(gif->Error);
      storeLine(row);
    }
  }
  return {};
}

// A picture's pixels as palette indices: its own palette, or one made by giflib's quantiser
// (one entry kept for the transparent pixels of a picture with alpha).
struct Indexed {
  std::vector<GifByteType> indices;
  GifColorType colors[256] = {};
  int colorCount = 0;
  int transparent = -1;
};

void indexPalettePicture(const DibImage& image, Indexed& out) {
  out.colorCount = 1 << image.bitsPerPixel();
  for (int i = 0; i < out.colorCount; ++i) {
    const RgbQuad& c = image.colorTable()[static_cast<size_t>(i)];
    out.colors[i] = {c.red, c.green, c.blue};
  }
  const int bpp = image.bitsPerPixel();
  const int perByte = 8 / bpp;
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* in = image.row(y);
    for (int x = 0; x < image.width(); ++x) {
      const int shift = (perByte - 1 - x % perByte) * bpp;
      out.indices[static_cast<size_t>(y) * image.width() + x] =
          static_cast<GifByteType>((in[x / perByte] >> shift) & ((1 << bpp) - 1));
    }
  }
}

ImageError quantise(const DibImage& image, Indexed& out) {
  const int width = image.width();
  const size_t pixels = out.indices.size();
  const bool alpha = image.hasAlpha() && image.bitsPerPixel() == 32;
  std::vector<GifByteType> red(pixels), green(pixels), blue(pixels);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
  std::vector<bool> clear(alpha ? pixels : 0);
  for (int y = 0; y < image.height(); ++y) {
    readRowBgra(image, y, row.data());
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      blue[i] = row[4 * x];
      green[i] = row[4 * x + 1];
      red[i] = row[4 * x + 2];
      if (alpha) clear[i] = row[4 * x + 3] < 128;
    }
  }
  // One entry stays free for the transparent pixels.
  out.colorCount = alpha ? 255 : 256;
  if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(image.height()),
                        &out.colorCount, red.data(), green.data(), blue.data(), out.indices.data(),
                        out.colors) == GIF_ERROR) {
    return ImageError(E_FAIL, "GIF: the colour quantiser failed");
  }
  if (alpha) {
    out.transparent = out.colorCount;
    out.colorCount += 1;
    for (size_t i = 0; i < pixels; ++i) {
      if (clear[i]) out.indices[i] = static_cast<GifByteType>(out.transparent);
    }
  }
  return {};
}

// One picture of `width` x `height` indices into a GIF file in memory.
ImageError writeIndexed(Indexed& picture, int width, int height, std::vector<uint8_t>& out) {
  const int mapSize = 1 << GifBitSize(picture.colorCount);
  MapHolder map(GifMakeMapObject(mapSize, nullptr));
  if (!map.get()) return outOfMemory();
  for (int i = 0; i < mapSize; ++i)
    map.get()->Colors[i] = i < picture.colorCount ? picture.colors[i] : GifColorType{0, 0, 0};
  out.clear();
  int error = 0;
  GifFileType* gif = EGifOpen(&out, writeGifMemory, &error);
  if (!gif) return gifFailure(error);
  GifCloser closer(gif, false);
  const int transparent = picture.transparent;
  EGifSetGifVersion(gif, transparent >= 0);
  if (EGifPutScreenDesc(gif, width, height, 8, 0, map.get()) == GIF_ERROR) {
    return gifFailure(gif->Error);
  }
  if (transparent >= 0) {
    const GifByteType control[4] = {1, 0, 0, static_cast<GifByteType>(transparent)};
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_ERROR) {
      return gifFailure(gif->Error);
    }
  }
  if (EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_ERROR) {
    return gifFailure(gif->Error);
  }
  for (int y = 0; y < height; ++y) {
    GifByteType* line = picture.indices.data() + static_cast<size_t>(y) * width;
    if (EGifPutLine(gif, line, width) == GIF_ERROR) return gifFailure(gif->Error);
  }
  const int closeError = closer.close();
  if (closeError != E_GIF_SUCCEEDED) return gifFailure(closeError);
  return {};
}

class GifCodec final : public ImageCodec {
 public:
  const char* name() const override { return "GIF"; }
  const char* label() const override { return N_("GIF 画像"); }
  std::span<const std::string_view> extensions() const override {
    static constexpr std::string_view kExtensions[] = {"gif"};
    return kExtensions;
  }

  bool probe(std::span<const uint8_t> head, int& width, int& height) const override {
    if (head.size() < 10) return false;
    width = head[6] | head[7] << 8;
    height = head[8] | head[9] << 8;
    return true;
  }

  bool recognises(std::span<const uint8_t> head) const override {
    return head.size() >= 6 && (std::memcmp(head.data(), "GIF87a", 6) == 0 ||
                                std::memcmp(head.data(), "GIF89a", 6) == 0);
  }

  ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const override {
    GifMemoryReader reader{
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readGifMemory, &error);
    if (!gif) return gifFailure(error);
    GifCloser closer(gif, true);
    int transparent = -1;
    if (ImageError failed = skipToPicture(gif, transparent); failed.failed()) return failed;
    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map) return ImageError(E_FAIL, "GIF: no colour table");
    int width = gif->SWidth;
    int height = gif->SHeight;
    if (width <= 0 || height <= 0) {
      width = frame.Left + frame.Width;
      height = frame.Top + frame.Height;
    }
    if (!withinImageLimits(width, height)) return tooLarge(width, height);
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Width > imageLimits().maxSide) {
      return ImageError(E_FAIL, "GIF: bad frame size");
    }

    DibImage image;
    if (!image.create(width, height, 8)) return outOfMemory();
    RgbQuad table[256];
    const int count = std::min(map->ColorCount, 256);
    for (int i = 0; i < count; ++i) {
      table[i] = {map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
    }
    image.setColorTable(0, count, table);
    if (transparent >= 0 && transparent < count) image.setTransparentColor(transparent);
    // Outside the first frame the screen shows the transparent or the background colour.
    const auto fill = static_cast<uint8_t>(transparent >= 0 ? transparent : gif->SBackGroundColor);
    for (int y = 0; y < height; ++y)
      std::memset(image.row(y), fill, static_cast<size_t>(width));
    if (ImageError failed = readRows(gif, image); failed.failed()) return failed;
    out = std::move(image);
    return {};
  }

  ImageError encode(const DibImage& image, const ImageEncodeOptions&,
                    std::vector<uint8_t>& out) const override {
    Indexed picture;
    picture.indices.resize(static_cast<size_t>(image.width()) *
                           static_cast<size_t>(image.height()));
    if (image.bitsPerPixel() <= 8) {
      indexPalettePicture(image, picture);
    } else if (ImageError failed = quantise(image, picture); failed.failed()) {
      return failed;
    }
    return writeIndexed(picture, image.width(), image.height(), out);
  }
};

}  // namespace

const ImageCodec& gifCodec() {
  static const GifCodec codec;
  return codec;
}

}  // namespace pelorix
