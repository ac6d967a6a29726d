// SPDX-License-Identifier: GPL-3.0-or-later
// DibImage::loadFromMemory on arbitrary bytes: every decoder, chosen by the content. A decoded
// picture must convert to 24 bits.
#include <cstdint>

#include "imageio/dib_image.h"
#include "imageio/pixel_convert.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelorix::setImageLimits({4096, uint64_t{1} << 22});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelorix::DibImage image;
  if (image.loadFromMemory({data, size}).failed()) return 0;
  pelorix::DibImage converted;
  pelorix::convertTo24(image, converted);
  return 0;
}
