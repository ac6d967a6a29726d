// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "../imageio/image_test_support.h"
#include "base/log_sink.h"
#include "render/blit_kernel.h"
#include "render/compositor.h"
#include "render/draw_list.h"
#include "test_support.h"

namespace pelorix::test {

class CapturingLog final : public LogSink {
 public:
  void appendLog(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

inline DibImage solidImage(int width, int height, uint8_t b, uint8_t g, uint8_t r) {
  DibImage image;
  if (!image.create(width, height, 24)) std::abort();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.row(y)[3 * x] = b;
      image.row(y)[3 * x + 1] = g;
      image.row(y)[3 * x + 2] = r;
    }
  }
  return image;
}

// Every pixel a different colour: blue = x, green = y, red = 77.
inline DibImage coordinateImage(int width, int height) {
  DibImage image;
  if (!image.create(width, height, 24)) std::abort();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.row(y)[3 * x] = static_cast<uint8_t>(x);
      image.row(y)[3 * x + 1] = static_cast<uint8_t>(y);
      image.row(y)[3 * x + 2] = 77;
    }
  }
  return image;
}

// The colour of a pixel as 0xRRGGBB (over black for a premultiplied frame), whatever the depth.
inline uint32_t pixel(const DibImage& image, int x, int y) {
  const int step = image.bitsPerPixel() / 8;
  const uint8_t* p = image.row(y) + step * x;
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

// The kernels to compare: the scalar reference and every vector set this processor has.
inline std::vector<std::string> allKernels() {
  std::vector<std::string> kernels{"scalar"};
  for (const std::string& name : vectorKernels())
    kernels.push_back(name);
  return kernels;
}

// Chooses a kernel for a scope; the best one again afterwards.
class KernelScope {
 public:
  explicit KernelScope(const std::string& name) {
    if (!setKernel(name)) std::abort();
  }
  ~KernelScope() {
    setKernel("");
    setAlignedRows(true);
  }
  KernelScope(const KernelScope&) = delete;
  KernelScope& operator=(const KernelScope&) = delete;
};

// A project with its pictures in a temporary folder, and a compositor that looks there.
class Scene {
 public:
  Scene(int width, int height) : compositor(log) {
    project.resetProject();
    project.outputWidth = width;
    project.outputHeight = height;
    compositor.setProjectFolder(dir.folder());
  }

  void writeImage(const std::string& name, const DibImage& image) {
    if (image.save(dir.file(name)).failed()) std::abort();
  }

  // Adds a shown layer with one source showing `file` for 10 seconds.
  int addLayer(int number, const std::string& file, const Source& placement = Source{},
               int effects = 0, KeyColor key = {}) {
    const int index = project.addLayer();
    Layer& layer = project.layers[static_cast<size_t>(index)];
    layer.number = number;
    layer.visible = 1;
    layer.effects = effects;
    layer.keyColor = key;
    Source source = placement;
    source.file = file;
    if (source.duration == 0.0f) source.duration = 10.0f;
    project.addSource(index, source);
    return index;
  }

  DibImage compose(float t = 0.0f) {
    DibImage canvas;
    const DrawList list = buildDrawList(project);
    compositor.composeFrame(canvas, project, list.layers, t);
    return canvas;
  }

  TempDir dir;
  Project project;
  CapturingLog log;
  Compositor compositor;
};

// A stack of `layers` bilinear, rotated, translucent layers over a background, `k` times
// 1280x720 (k = 3: 4K); the pictures (photograph-like, 1280k x 720k and 640k x 480k) are
// written into `folder`. The preview benchmarks' project, and the tests' big one.
inline Project layerStack(const std::string& folder, int k, int layers) {
  photoLikeImage(1280 * k, 720 * k, 7).save(folder + "bg.bmp");
  photoLikeImage(640 * k, 480 * k, 3).save(folder + "layer.bmp");
  Project project;
  project.resetProject();
  project.outputWidth = 1280 * k;
  project.outputHeight = 720 * k;
  const auto f = static_cast<float>(k);
  for (int i = 0; i < layers; ++i) {
    const int layer = project.addLayer();
    project.layers[static_cast<size_t>(layer)].number = i + 1;
    project.layers[static_cast<size_t>(layer)].visible = 1;
    project.layers[static_cast<size_t>(layer)].effects = effectInterpolate;
    Source s;
    s.file = i == 0 ? "bg.bmp" : "layer.bmp";
    s.duration = 10;
    const int j = (i - 1) % 7 + 1;  // layers past the eighth repeat the placements, turned on
    s.x = i == 0 ? 0.0f : static_cast<float>(j * 60 - 240) * f;
    s.y = i == 0 ? 0.0f : static_cast<float>((j % 3) * 80 - 80) * f;
    s.scale = i == 0 ? 1.0f : 0.8f + 0.1f * static_cast<float>(j);
    s.rotation = i == 0 ? 5.0f : static_cast<float>(i * 23);
    s.opacity = i == 0 ? 1.0f : 0.85f;
    project.addSource(layer, s);
  }
  return project;
}

}  // namespace pelorix::test
