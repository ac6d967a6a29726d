// SPDX-License-Identifier: GPL-3.0-or-later
// The in-house BMP reader on arbitrary bytes; a decoded picture must convert and re-encode.
#include <cstdint>
#include <vector>

#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  pelorix::setImageLimits({4096, uint64_t{1} << 22});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelorix::DibImage image;
  if (pelorix::bmpCodec().decode({data, size}, image).failed()) return 0;
  pelorix::DibImage converted;
  pelorix::convertTo24(image, converted);
  std::vector<uint8_t> out;
  (void)pelorix::bmpCodec().encode(image, {}, out);
  return 0;
}
