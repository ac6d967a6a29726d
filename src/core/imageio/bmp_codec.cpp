// SPDX-License-Identifier: GPL-3.0-or-later
// BMP is Pelorix's own in-memory layout, so it is read and written here rather than through
// a library: palettes of 1/4/8 bits, RLE4/RLE8, 16/24/32 bits, bit fields, top-down and
// bottom-up rows, OS/2 core headers and V4/V5 headers.
#include <bit>
#include <cstring>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

constexpr int kFileHeaderSize = 14;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kAlphaBitfields = 6;

uint16_t get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

ImageError bad(const char* why) {
  return ImageError(E_FAIL, std::string("BMP: ") + why);
}

struct Header {
  int64_t width = 0;
  int64_t height = 0;  // positive: bottom-up
  int bitCount = 0;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t paletteOffset = 0;
  int paletteEntrySize = 4;
  size_t pixelOffset = 0;
};

ImageError parseHeader(std::span<const uint8_t> bytes, Header& h) {
  if (bytes.size() < kFileHeaderSize + 12) return bad("file too short");
  const uint8_t* d = bytes.data();
  h.pixelOffset = get32(d + 10);
  const uint32_t infoSize = get32(d + kFileHeaderSize);
  const uint8_t* info = d + kFileHeaderSize;
  if (infoSize < 12 || infoSize > bytes.size() - kFileHeaderSize) return bad("bad header size");
  if (infoSize == 12) {
    h.width = get16(info + 4);
    h.height = get16(info + 6);
    h.bitCount = get16(info + 10);
    h.paletteEntrySize = 3;
  } else {
    if (infoSize < 16) return bad("bad header size");
    h.width = static_cast<int32_t>(get32(info + 4));
    h.height = static_cast<int32_t>(get32(info + 8));
    h.bitCount = get16(info + 14);
    if (infoSize >= 20) h.compression = get32(info + 16);
    if (infoSize >= 36) h.colorsUsed = get32(info + 32);
    if (infoSize == 64 && h.compression > 2) return bad("unsupported OS/2 compression");
    if (infoSize >= 52) {
      for (int i = 0; i < 3; ++i)
        h.masks[i] = get32(info + 40 + 4 * i);
    }
    if (infoSize >= 56) h.masks[3] = get32(info + 52);
  }
  size_t afterHeader = kFileHeaderSize + infoSize;
  if ((h.compression == kBitfields || h.compression == kAlphaBitfields) && infoSize == 40) {
    const size_t count = h.compression == kAlphaBitfields ? 4 : 3;
    if (bytes.size() < afterHeader + 4 * count) return bad("file too short for its masks");
    for (size_t i = 0; i < count; ++i)
      h.masks[i] = get32(d + afterHeader + 4 * i);
    afterHeader += 4 * count;
  }
  h.paletteOffset = afterHeader;
  return {};
}

bool validMasks(const uint32_t* masks, int bitCount) {
  for (int i = 0; i < 3; ++i) {
    const uint32_t m = masks[i];
    if (m == 0) return false;
    if (bitCount == 16 && m > 0xFFFF) return false;
    // A mask must be one run of set bits.
    const uint32_t shifted = m >> std::countr_zero(m);
    if ((shifted & (shifted + 1)) != 0) return false;
  }
  return true;
}

// Runs of RLE4/RLE8 data into an indexed picture; pixels the data skips stay at index 0.
ImageError decodeRle(std::span<const uint8_t> data, bool four, DibImage& image) {
  const int width = image.width();
  const int height = image.height();
  int x = 0;
  int line = 0;  // counted from the bottom
  size_t i = 0;
  auto put = [&](int index) {
    if (x < width && line < height) {
      uint8_t* row = image.row(height - 1 - line);
      if (four) {
        uint8_t& byte = row[x / 2];
        byte = (x % 2 == 0) ? static_cast<uint8_t>((byte & 0x0F) | (index << 4))
                            : static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
      } else {
        row[x] = static_cast<uint8_t>(index);
      }
    }
    ++x;
  };
  while (i + 1 < data.size()) {
    const int count = data[i];
    const int value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k)
        put(four ? ((k % 2 == 0) ? value >> 4 : value & 0x0F) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++line;
    } else if (value == 1) {  // end of bitmap
      return {};
    } else if (value == 2) {  // delta
      if (i + 1 >= data.size()) return bad("truncated RLE delta");
      x += data[i];
      line += data[i + 1];
      i += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = four ? (static_cast<size_t>(value) + 1) / 2 : static_cast<size_t>(value);
      if (i + bytes > data.size()) return bad("truncated RLE run");
      for (int k = 0; k < value; ++k) {
        const uint8_t b = data[i + (four ? k / 2 : k)];
        put(four ? ((k % 2 == 0) ? b >> 4 : b & 0x0F) : b);
      }
      i += (bytes + 1) & ~size_t{1};
    }
    if (line >= height) return {};
  }
  return {};  // data ended without an end-of-bitmap code: keep what was decoded
}

class BmpCodec final : public ImageCodec {
 public:
  const char* name() const override { return "BMP"; }
  const char* label() const override { return N_("ビットマップ画像"); }
  std::span<const std::string_view> extensions() const override {
    static constexpr std::string_view kExtensions[] = {"bmp", "dib"};
    return kExtensions;
  }

  bool probe(std::span<const uint8_t> head, int& width, int& height) const override {
    Header h;
    if (parseHeader(head, h).failed()) return false;
    width = static_cast<int>(std::min<int64_t>(h.width, INT32_MAX));
    height = static_cast<int>(std::min<int64_t>(h.height < 0 ? -h.height : h.height, INT32_MAX));
    return true;
  }

  bool recognises(std::span<const uint8_t> head) const override {
    return head.size() >= 2 && head[0] == 'B' && head[1] == 'M';
  }

  ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const override {
    Header h;
    if (ImageError e = parseHeader(bytes, h); e.failed()) return e;
    const bool topDown = h.height < 0;
    const int64_t rows = topDown ? -h.height : h.height;
    if (h.width <= 0 || rows <= 0) return bad("bad picture size");
    if (!withinImageLimits(h.width, rows)) return tooLarge(h.width, rows);
    const int width = static_cast<int>(h.width);
    const int height = static_cast<int>(rows);
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    if (rle && (topDown || h.bitCount != (h.compression == kRle8 ? 8 : 4))) {
      return bad("bad RLE picture");
    }
    if (h.compression != 0 && !rle && h.compression != kBitfields &&
        h.compression != kAlphaBitfields) {
      return bad("unsupported compression");
    }
    if (h.pixelOffset >= bytes.size()) return bad("truncated pixel data");
    const std::span<const uint8_t> pixels = bytes.subspan(h.pixelOffset);

    switch (h.bitCount) {
      case 1:
      case 4:
      case 8:
        return decodeIndexed(bytes, h, width, height, topDown, rle, pixels, out);
      case 16:
      case 24:
      case 32:
        if (rle) return bad("bad RLE picture");
        return decodeDirect(h, width, height, topDown, pixels, out);
      default:
        return bad("unsupported bit depth");
    }
  }

  ImageError encode(const DibImage& picture, const ImageEncodeOptions& options,
                    std::vector<uint8_t>& out) const override {
    // Frames in 32-bit pixels are stored as 24 bits: padded ones are 24-bit pictures, and a
    // premultiplied frame without alpha in the file is its picture over black.
    if (picture.padded24() || picture.premultiplied()) {
      DibImage flat;
      if (!convertTo24(picture, flat)) return outOfMemory();
      return encode(flat, options, out);
    }
    const DibImage& image = picture;
    const int bpp = image.bitsPerPixel();
    const bool alpha = bpp == 32 && image.hasAlpha();
    const bool fields = !alpha && image.compression() == BI_BITFIELDS;
    const int infoSize = alpha ? 124 : 40;
    const int paletteEntries = bpp <= 8 ? (1 << bpp) : 0;
    const int maskBytes = fields ? 12 : 0;
    const int absPitch = dibPitch(image.width(), bpp);
    const size_t offset = kFileHeaderSize + infoSize + maskBytes + 4 * paletteEntries;
    const size_t total = offset + static_cast<size_t>(absPitch) * image.height();
    out.assign(total, 0);
    uint8_t* d = out.data();
    auto put16 = [](uint8_t* p, uint32_t v) {
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [](uint8_t* p, uint32_t v) {
      for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    };
    d[0] = 'B';
    d[1] = 'M';
    put32(d + 2, total > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(total));
    put32(d + 10, static_cast<uint32_t>(offset));
    uint8_t* info = d + kFileHeaderSize;
    put32(info, static_cast<uint32_t>(infoSize));
    put32(info + 4, static_cast<uint32_t>(image.width()));
    put32(info + 8, static_cast<uint32_t>(image.height()));
    put16(info + 12, 1);
    put16(info + 14, static_cast<uint32_t>(bpp));
    put32(info + 16, (alpha || fields) ? kBitfields : 0);
    put32(info + 20, static_cast<uint32_t>(absPitch) * static_cast<uint32_t>(image.height()));
    put32(info + 24, 2835);  // 72 dots per inch
    put32(info + 28, 2835);
    put32(info + 32, static_cast<uint32_t>(paletteEntries));
    if (alpha) {
      put32(info + 40, 0x00FF0000);
      put32(info + 44, 0x0000FF00);
      put32(info + 48, 0x000000FF);
      put32(info + 52, 0xFF000000);
      put32(info + 56, 0x73524742);  // 'sRGB'
    }
    if (fields) {
      for (int i = 0; i < 3; ++i)
        put32(info + 40 + 4 * i, image.masks()[static_cast<size_t>(i)]);
    }
    uint8_t* palette = info + infoSize + maskBytes;
    for (int i = 0; i < paletteEntries; ++i) {
      const RgbQuad& c = image.colorTable()[static_cast<size_t>(i)];
      palette[4 * i] = c.blue;
      palette[4 * i + 1] = c.green;
      palette[4 * i + 2] = c.red;
    }
    for (int y = 0; y < image.height(); ++y) {
      std::memcpy(d + offset + static_cast<size_t>(absPitch) * (image.height() - 1 - y),
                  image.row(y), static_cast<size_t>(absPitch));
    }
    return {};
  }

 private:
  static ImageError decodeIndexed(std::span<const uint8_t> bytes, const Header& h, int width,
                                  int height, bool topDown, bool rle,
                                  std::span<const uint8_t> pixels, DibImage& out) {
    const int maxEntries = 1 << h.bitCount;
    int entries = h.colorsUsed != 0 && h.colorsUsed < static_cast<uint32_t>(maxEntries)
                      ? static_cast<int>(h.colorsUsed)
                      : maxEntries;
    // The palette sits between the header and the pixels; take what is really there.
    const size_t paletteEnd = std::min(h.pixelOffset, bytes.size());
    if (h.paletteOffset >= paletteEnd) return bad("missing palette");
    entries = std::min<int>(entries, static_cast<int>((paletteEnd - h.paletteOffset) /
                                                      static_cast<size_t>(h.paletteEntrySize)));
    if (entries == 0) return bad("missing palette");
    const int absPitch = dibPitch(width, h.bitCount);
    if (!rle && pixels.size() / static_cast<size_t>(absPitch) < static_cast<size_t>(height)) {
      return bad("truncated pixel data");
    }
    DibImage image;
    if (!image.create(width, height, h.bitCount)) return outOfMemory();
    RgbQuad table[256];
    for (int i = 0; i < entries; ++i) {
      const uint8_t* p =
          bytes.data() + h.paletteOffset + static_cast<size_t>(i) * h.paletteEntrySize;
      table[i] = {p[0], p[1], p[2], 0};
    }
    image.setColorTable(0, entries, table);
    if (rle) {
      if (ImageError e = decodeRle(pixels, h.compression == kRle4, image); e.failed()) return e;
    } else {
      copyRows(pixels, absPitch, height, topDown, image);
    }
    out = std::move(image);
    return {};
  }

  static void copyRows(std::span<const uint8_t> pixels, int absPitch, int height, bool topDown,
                       DibImage& image) {
    for (int y = 0; y < height; ++y) {
      const int fileRow = topDown ? y : height - 1 - y;
      std::memcpy(image.row(y), pixels.data() + static_cast<size_t>(fileRow) * absPitch,
                  static_cast<size_t>(absPitch));
    }
  }

  static ImageError decodeDirect(const Header& h, int width, int height, bool topDown,
                                 std::span<const uint8_t> pixels, DibImage& out) {
    const int bpp = h.bitCount;
    const int absPitch = dibPitch(width, bpp);
    if (pixels.size() / static_cast<size_t>(absPitch) < static_cast<size_t>(height)) {
      return bad("truncated pixel data");
    }
    const bool fields = h.compression == kBitfields || h.compression == kAlphaBitfields;
    if (bpp == 24 && fields) return bad("bit fields need 16 or 32 bits");
    uint32_t masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
    const bool alpha = fields && h.masks[3] != 0 && bpp == 32;
    if (fields && !validMasks(masks, bpp)) return bad("bad colour masks");
    const bool standard32 =
        bpp == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
    const bool standard16 =
        bpp == 16 && masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F;
    DibImage image;
    if (alpha) {
      // Alpha pixels become blue, green, red, alpha bytes.
      if (!image.create(width, height, 32, BI_RGB, nullptr, kCreateAlpha)) return outOfMemory();
      const MaskedChannel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), opacity(h.masks[3]);
      for (int y = 0; y < height; ++y) {
        const uint8_t* in =
            pixels.data() + static_cast<size_t>(topDown ? y : height - 1 - y) * absPitch;
        uint8_t* o = image.row(y);
        for (int x = 0; x < width; ++x) {
          const uint32_t p = get32(in + 4 * x);
          o[4 * x] = blue(p);
          o[4 * x + 1] = green(p);
          o[4 * x + 2] = red(p);
          o[4 * x + 3] = opacity(p);
        }
      }
      out = std::move(image);
      return {};
    }
    const bool keepFields = fields && !standard32 && !standard16;
    if (!image.create(width, height, bpp, keepFields ? BI_BITFIELDS : BI_RGB,
                      keepFields ? masks : nullptr)) {
      return outOfMemory();
    }
    copyRows(pixels, absPitch, height, topDown, image);
    out = std::move(image);
    return {};
  }
};

}  // namespace

const ImageCodec& bmpCodec() {
  static const BmpCodec codec;
  return codec;
}

}  // namespace pelorix
