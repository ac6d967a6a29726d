// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/imageio/image_test_support.h"
#include "core/render/render_test_support.h"
#include "imageio/dib_image.h"
#include "model/project.h"

namespace pelorix::bench {

// A smooth picture with noise, like a photograph (the tests' picture).
inline DibImage photoLike(int width, int height, unsigned seed = 1) {
  return test::photoLikeImage(width, height, seed);
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

// A preview-like project of 1280x720: a background and seven bilinear, rotated, translucent
// 640x480 layers; the pictures are written into `folder`.
inline Project eightLayerProject(const std::string& folder) {
  return test::layerStack(folder, 1, 8);
}

}  // namespace pelorix::bench
