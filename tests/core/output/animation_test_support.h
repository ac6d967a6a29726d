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

}  // namespace pelorix::test
