// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/imageio/image_test_support.h"
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
  photoLike(1280, 720, 7).save(folder + "bg.bmp");
  photoLike(640, 480, 3).save(folder + "layer.bmp");
  Project project;
  project.resetProject();
  project.outputWidth = 1280;
  project.outputHeight = 720;
  for (int i = 0; i < 8; ++i) {
    const int layer = project.addLayer();
    project.layers[static_cast<size_t>(layer)].number = i + 1;
    project.layers[static_cast<size_t>(layer)].visible = 1;
    project.layers[static_cast<size_t>(layer)].effects = effectInterpolate;
    Source s;
    s.file = i == 0 ? "bg.bmp" : "layer.bmp";
    s.duration = 10;
    s.x = i == 0 ? 0.0f : static_cast<float>(i * 60 - 240);
    s.y = i == 0 ? 0.0f : static_cast<float>((i % 3) * 80 - 80);
    s.scale = i == 0 ? 1.0f : 0.8f + 0.1f * static_cast<float>(i);
    s.rotation = i == 0 ? 5.0f : static_cast<float>(i * 23);
    s.opacity = i == 0 ? 1.0f : 0.85f;
    project.addSource(layer, s);
  }
  return project;
}

}  // namespace pelorix::bench
