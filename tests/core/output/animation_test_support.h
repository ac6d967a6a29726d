// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "engine_test_support.h"
#include "imageio/pixel_convert.h"

namespace pelorix::test {

// The frames of the numbered series of the same animation, as BGRA rows.
inline std::vector<std::vector<uint8_t>> seriesFrames(Animation& animation) {
  RecordingListener listener;
  animation.settings.oneFile.reset();
  animation.settings.outputFolder = "series";
  animation.scene.project.outputFormat = "bmp";
  animation.run(listener);
  std::vector<std::vector<uint8_t>> frames;
  for (const std::string& name : animation.files("series")) {
    DibImage frame;
    if (frame.load(animation.scene.dir.file("series/" + name)).failed()) std::abort();
    std::vector<uint8_t> pixels(static_cast<size_t>(frame.width()) * frame.height() * 4);
    for (int y = 0; y < frame.height(); ++y)
      readRowBgra(frame, y, pixels.data() + static_cast<size_t>(y) * frame.width() * 4);
    frames.push_back(std::move(pixels));
  }
  return frames;
}

inline ConversionOutcome renderTo(Animation& animation, const std::string& name,
                                  RecordingListener& listener) {
  animation.settings.oneFile = name;
  animation.settings.refuseGif = false;
  return animation.run(listener);
}

// Only the background, a picture of one colour at half alpha (B 200, G 100, R 50, A 128), over
// a transparent background.
inline void showHalfTransparentBackground(Animation& animation) {
  DibImage half;
  if (!half.create(64, 48, 32, BI_RGB, nullptr, kCreateAlpha)) std::abort();
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = half.row(y) + 4 * x;
      p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 128;
    }
  }
  animation.scene.writeImage("bg.png", half);
  animation.scene.project.layers[0].sources[0].file = "bg.png";
  animation.scene.project.layers[0].effects = effectAlpha;
  animation.scene.project.layers[1].visible = 0;
  animation.scene.project.options = projectTransparentBackground;
}

}  // namespace pelorix::test
