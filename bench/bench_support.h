#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "imageio/dib_image.h"

namespace pelorix::bench {

// A smooth picture with noise, like a photograph.
inline DibImage photoLike(int width, int height, unsigned seed = 1) {
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

// Large areas of one colour with a few shapes, like a cartoon or a slide.
inline DibImage flatColour(int width, int height) {
  DibImage image;
  if (!image.create(width, height, 24)) std::abort();
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < width; ++x) {
      const bool box = (x / 160 + y / 120) % 3 == 0;
      const bool disc = (x - width / 2) * (x - width / 2) + (y - height / 2) * (y - height / 2) <
                        height * height / 9;
      row[3 * x] = disc ? 40 : box ? 200 : 240;
      row[3 * x + 1] = disc ? 180 : box ? 90 : 240;
      row[3 * x + 2] = disc ? 60 : box ? 30 : 235;
    }
  }
  return image;
}

// A folder under /tmp for the pictures a benchmark needs; removed at exit is not needed.
inline std::string scratchFolder() {
  std::string pattern = "/tmp/pelorix-bench-XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern + "/";
}

}  // namespace pelorix::bench
