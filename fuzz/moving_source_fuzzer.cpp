// SPDX-License-Identifier: GPL-3.0-or-later
// Moving pictures on arbitrary bytes: the first byte chooses the animated GIF, WebP or PNG
// decoder, the rest is the file. Every frame is decoded in order and some out of order, and
// a frame that fails must name a frame to stand in for it that is before it.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "imageio/dib_image.h"
#include "imageio/frame_source.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelorix::setImageLimits({4096, uint64_t{1} << 22});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  using Opener = std::unique_ptr<pelorix::FrameSource> (*)(std::string, pelorix::ImageError&);
  const Opener openers[] = {pelorix::openGifFrames, pelorix::openWebpFrames,
                            pelorix::openApngFrames};
  pelorix::ImageError error;
  std::unique_ptr<pelorix::FrameSource> source =
      openers[data[0] % 3](std::string(reinterpret_cast<const char*>(data + 1), size - 1), error);
  if (!source) return 0;
  const int64_t frames = std::min<int64_t>(source->timing().frames, 64);
  pelorix::DibImage frame;
  for (int64_t k : {frames - 1, int64_t{0}}) {
    for (int64_t i = k; i < frames; ++i) {
      if (source->decode(i, frame).failed() && source->standIn(i) >= i) std::abort();
    }
  }
  return 0;
}
