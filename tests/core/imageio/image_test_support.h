// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imageio/dib_image.h"
#include "imageio/pixel_convert.h"

namespace pelorix::test {

// Every pixel of a picture as 0xAARRGGBB (alpha 255 when the picture has none).
inline std::vector<uint32_t> argbPixels(const DibImage& image) {
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> row(static_cast<size_t>(image.width()) * 4);
  for (int y = 0; y < image.height(); ++y) {
    readRowBgra(image, y, row.data());
    for (int x = 0; x < image.width(); ++x) {
      const uint8_t* p = &row[static_cast<size_t>(x) * 4];
      pixels.push_back(static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                       static_cast<uint32_t>(p[1]) << 8 | p[0]);
    }
  }
  return pixels;
}

// A 24-bit picture whose every pixel differs from its neighbours.
inline DibImage patternImage(int width, int height, int bitsPerPixel = 24, bool alpha = false) {
  DibImage image;
  if (!image.create(width, height, bitsPerPixel, BI_RGB, nullptr, alpha ? kCreateAlpha : 0)) {
    std::abort();
  }
  const int bytes = bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < width; ++x) {
      row[x * bytes] = static_cast<uint8_t>(x * 7 + y * 3);
      row[x * bytes + 1] = static_cast<uint8_t>(y * 11 + 40);
      row[x * bytes + 2] = static_cast<uint8_t>((x ^ y) * 5);
      if (bytes == 4) row[x * bytes + 3] = alpha ? static_cast<uint8_t>(x * 30 + y) : 0;
    }
  }
  return image;
}

// A smooth picture with some noise, like a photograph.
inline DibImage photoLikeImage(int width, int height, unsigned seed = 1) {
  DibImage image;
  if (!image.create(width, height, 24)) std::abort();
  uint32_t state = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < width; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 28) - 8;
      auto clampByte = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      row[3 * x] = clampByte(x * 255 / width + noise);
      row[3 * x + 1] = clampByte(y * 255 / height + noise);
      row[3 * x + 2] = clampByte(((x + y) / 4) % 256 + noise);
    }
  }
  return image;
}

// Largest per-channel difference between two pictures of the same size.
inline int maxChannelDifference(const DibImage& a, const DibImage& b) {
  const std::vector<uint32_t> pa = argbPixels(a), pb = argbPixels(b);
  if (pa.size() != pb.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < pa.size(); ++i) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = std::abs(static_cast<int>((pa[i] >> shift) & 0xFF) -
                             static_cast<int>((pb[i] >> shift) & 0xFF));
      if (d > worst) worst = d;
    }
  }
  return worst;
}

}  // namespace pelorix::test
