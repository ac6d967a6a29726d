// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imageio/dib_image.h"
#include "imageio/image_error.h"

namespace pelorix {

// The pieces of the PNG writer, shared with the animated PNG writer.

// The zlib stream of a picture's filtered rows (8 bits per channel, RGB or RGBA), at deflate
// level 0-9. The bytes depend on the pixels and the level only.
ImageError compressPngPixels(const DibImage& image, bool alpha, int level,
                             std::vector<uint8_t>& zlib);

// The same for R, G, B, A pixels, rows `stride` bytes apart (alpha dropped unless `alpha`).
ImageError compressPngRgba(const uint8_t* rgba, size_t stride, int width, int height, bool alpha,
                           int level, std::vector<uint8_t>& zlib);

// PNG's big-endian numbers.
inline uint32_t readBig32(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}
inline void putBig32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(value >> shift));
}

// Appends a chunk: length, type, data and CRC.
void appendPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size);

// The PNG signature and an IHDR chunk for 8-bit RGB or RGBA.
void appendPngSignatureAndHeader(std::vector<uint8_t>& out, int width, int height, bool alpha);

}  // namespace pelorix
