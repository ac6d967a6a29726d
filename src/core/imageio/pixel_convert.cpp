// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageio/pixel_convert.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace pelorix {
namespace {

using Channel = MaskedChannel;

struct MaskSet {
  Channel red, green, blue;
};

MaskSet masksOf(const DibImage& image) {
  if (image.compression() == BI_BITFIELDS) {
    return {Channel(image.masks()[0]), Channel(image.masks()[1]), Channel(image.masks()[2])};
  }
  if (image.bitsPerPixel() == 16) return {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
  return {Channel(0xFF0000), Channel(0x00FF00), Channel(0x0000FF)};
}

// A premultiplied channel back to straight alpha, rounded.
inline uint8_t unpremultiply(uint8_t value, uint8_t alpha) {
  if (alpha == 0) return 0;
  if (alpha == 255) return value;
  return static_cast<uint8_t>(std::min(255, (value * 255 + alpha / 2) / alpha));
}

template <int kOut>
void readRow(const DibImage& image, int y, uint8_t* out) {
  const uint8_t* in = image.row(y);
  const int width = image.width();
  const auto& table = image.colorTable();
  auto put = [&out](uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    out[0] = b;
    out[1] = g;
    out[2] = r;
    if constexpr (kOut == 4) out[3] = a;
    out += kOut;
  };
  switch (image.bitsPerPixel()) {
    case 1:
    case 4:
    case 8: {
      const int bpp = image.bitsPerPixel();
      const int perByte = 8 / bpp;
      const int mask = (1 << bpp) - 1;
      const int transparent = image.transparentColor();
      for (int x = 0; x < width; ++x) {
        const int shift = (perByte - 1 - x % perByte) * bpp;
        const int index = (in[x / perByte] >> shift) & mask;
        const RgbQuad& c = table[static_cast<size_t>(index)];
        put(c.blue, c.green, c.red, index == transparent ? 0 : 255);
      }
      break;
    }
    case 16: {
      const MaskSet m = masksOf(image);
      for (int x = 0; x < width; ++x) {
        const uint32_t p =
            static_cast<uint32_t>(in[2 * x]) | (static_cast<uint32_t>(in[2 * x + 1]) << 8);
        put(m.blue(p), m.green(p), m.red(p), 255);
      }
      break;
    }
    case 24:
      if constexpr (kOut == 3) {
        std::memcpy(out, in, static_cast<size_t>(width) * 3);
      } else {
        for (int x = 0; x < width; ++x)
          put(in[3 * x], in[3 * x + 1], in[3 * x + 2], 255);
      }
      break;
    case 32:
      if (image.compression() == BI_BITFIELDS) {
        const MaskSet m = masksOf(image);
        for (int x = 0; x < width; ++x) {
          uint32_t p;
          std::memcpy(&p, in + 4 * x, 4);
          put(m.blue(p), m.green(p), m.red(p), 255);
        }
      } else if (kOut == 4 && image.premultiplied()) {
        for (int x = 0; x < width; ++x)
          put(unpremultiply(in[4 * x], in[4 * x + 3]), unpremultiply(in[4 * x + 1], in[4 * x + 3]),
              unpremultiply(in[4 * x + 2], in[4 * x + 3]), in[4 * x + 3]);
      } else if (kOut == 4 && image.hasAlpha()) {
        std::memcpy(out, in, static_cast<size_t>(width) * 4);
      } else {
        for (int x = 0; x < width; ++x)
          put(in[4 * x], in[4 * x + 1], in[4 * x + 2], 255);
      }
      break;
    default:
      break;
  }
}

}  // namespace

MaskedChannel::MaskedChannel(uint32_t mask) : mask_(mask) {
  if (mask == 0) return;
  shift_ = std::countr_zero(mask);
  max_ = mask >> shift_;
}

uint8_t MaskedChannel::operator()(uint32_t pixel) const {
  if (max_ == 0) return 0;
  const uint32_t value = (pixel & mask_) >> shift_;
  if (max_ == 255) return static_cast<uint8_t>(value);
  return static_cast<uint8_t>((static_cast<uint64_t>(value) * 255 + max_ / 2) / max_);
}

void readRowBgr(const DibImage& image, int y, uint8_t* out) {
  readRow<3>(image, y, out);
}
void readRowBgra(const DibImage& image, int y, uint8_t* out) {
  readRow<4>(image, y, out);
}

void readRowRgba(const DibImage& image, int y, uint8_t* out) {
  readRowBgra(image, y, out);
  for (int x = 0; x < image.width(); ++x, out += 4)
    std::swap(out[0], out[2]);
}

void readPixels(const DibImage& image, PixelOrder order, std::vector<uint8_t>& out) {
  const size_t width = static_cast<size_t>(image.width());
  const size_t channels = order == PixelOrder::Rgb ? 3 : 4;
  out.resize(width * channels * static_cast<size_t>(image.height()));
  if (order == PixelOrder::Bgra) {
    for (int y = 0; y < image.height(); ++y)
      readRowBgra(image, y, out.data() + width * 4 * static_cast<size_t>(y));
    return;
  }
  std::vector<uint8_t> row(width * 4);
  uint8_t* o = out.data();
  for (int y = 0; y < image.height(); ++y) {
    readRowBgra(image, y, row.data());
    for (size_t x = 0; x < width; ++x, o += channels) {
      o[0] = row[4 * x + 2];
      o[1] = row[4 * x + 1];
      o[2] = row[4 * x];
      if (channels == 4) o[3] = row[4 * x + 3];
    }
  }
}

bool convertTo32(const DibImage& source, DibImage& destination, bool keepAlpha) {
  if (source.empty()) return false;
  const bool alpha = keepAlpha && (source.hasAlpha() || source.transparentColor() >= 0);
  if (!destination.create(source.width(), source.height(), 32, BI_RGB, nullptr,
                          alpha ? kCreateAlpha : kCreatePadded24)) {
    return false;
  }
  if (source.bitsPerPixel() == 24 && source.compression() == BI_RGB) {
    // The common case, a whole pixel at a time.
    for (int y = 0; y < source.height(); ++y) {
      const uint8_t* in = source.row(y);
      uint8_t* out = destination.row(y);
      for (int x = 0; x < source.width(); ++x, in += 3, out += 4) {
        const uint32_t pixel = static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
                               static_cast<uint32_t>(in[2]) << 16 | 0xFF000000u;
        std::memcpy(out, &pixel, 4);
      }
    }
    return true;
  }
  for (int y = 0; y < source.height(); ++y) {
    readRowBgra(source, y, destination.row(y));
    if (!alpha) {
      uint8_t* row = destination.row(y);
      for (int x = 0; x < source.width(); ++x)
        row[4 * x + 3] = 255;
    }
  }
  return true;
}

bool convertTo24(const DibImage& source, DibImage& destination) {
  if (source.empty()) return false;
  if (!destination.create(source.width(), source.height(), 24)) return false;
  for (int y = 0; y < source.height(); ++y)
    readRowBgr(source, y, destination.row(y));
  return true;
}

}  // namespace pelorix
