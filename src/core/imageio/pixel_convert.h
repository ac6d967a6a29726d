// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "imageio/dib_image.h"

namespace pelorix {

// One colour channel of a packed pixel, read through a bit mask and widened to 8 bits.
class MaskedChannel {
 public:
  explicit MaskedChannel(uint32_t mask);
  uint8_t operator()(uint32_t pixel) const;

 private:
  uint32_t mask_;
  int shift_ = 0;
  uint32_t max_ = 0;
};

// One picture row as blue, green, red bytes (3 per pixel), whatever the picture's depth: palette
// indices through the colour table, 16/32-bit pixels through their masks; alpha is dropped.
void readRowBgr(const DibImage& image, int y, uint8_t* out);

// One picture row as blue, green, red, alpha (4 per pixel); alpha is 255 unless the picture
// carries alpha (straight, not premultiplied) or is a palette with a transparent index.
void readRowBgra(const DibImage& image, int y, uint8_t* out);

// The same as red, green, blue, alpha.
void readRowRgba(const DibImage& image, int y, uint8_t* out);

// The byte order of packed pixels.
enum class PixelOrder { Rgb, Rgba, Bgra };

// The whole picture in straight colour (a premultiplied one divided back), top row first, rows
// packed without padding; alpha as readRowBgra gives it.
void readPixels(const DibImage& image, PixelOrder order, std::vector<uint8_t>& out);

// A 32-bit copy of any picture in blue, green, red, alpha bytes: with straight alpha when
// `keepAlpha` and the picture has alpha, otherwise padded 24-bit with the fourth byte 255. False
// (destination left empty) when memory is short. `destination` must be empty.
bool convertTo32(const DibImage& source, DibImage& destination, bool keepAlpha);

// A 24-bit copy of any picture, as the platform's copy blit gives it. False (destination left
// empty) when memory is short. `destination` must be empty.
bool convertTo24(const DibImage& source, DibImage& destination);

}  // namespace pelorix
