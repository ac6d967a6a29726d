// SPDX-License-Identifier: GPL-3.0-or-later
// The scalar reference kernel, the copy of layers on whole pixels, and the choice of kernel.
#include "render/blit_kernel.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "render/blit_kernel_vector.h"

namespace pelorix {
namespace {

std::atomic<bool> gScalar{false};
std::atomic<bool> gAligned{true};

inline uint32_t lane(uint32_t pixel, int j) {
  return (pixel >> (8 * j)) & 0xFF;
}

// Straight colour to premultiplied, rounded; opaque pixels stay as they are.
inline uint32_t premultiply(uint32_t pixel) {
  const uint32_t a = (pixel >> kAlphaShift) & 0xFF;
  if (a == 255) return pixel;
  uint32_t out = a << kAlphaShift;
  for (int j = 0; j < 4; ++j) {
    if (8 * j != kAlphaShift) out |= ((lane(pixel, j) * a + 127) / 255) << (8 * j);
  }
  return out;
}

// A picture pixel as it enters the blend: premultiplied when the picture's alpha counts.
inline uint32_t source(const BlitParams& p, uint32_t pixel) {
  return p.pictureAlpha ? premultiply(pixel) : pixel;
}

inline bool keyed(const BlitParams& p, uint32_t pixel) {
  return p.colorKey && (pixel & kColourMask) == p.key;
}

// The filtered colour against the key: premultiplied colour against the key premultiplied by
// the filtered alpha (for an opaque result, the colour against the key).
inline bool filteredMatchesKey(uint32_t colour, uint32_t key) {
  const uint32_t a = (colour >> kAlphaShift) & 0xFF;
  if (a == 255) return (colour & kColourMask) == key;
  for (int j = 0; j < 4; ++j) {
    if (8 * j != kAlphaShift && lane(colour, j) != (lane(key, j) * a + 127) / 255) return false;
  }
  return true;
}

// d = (alpha*s + (255-w)*d + 127) / 255 on every byte, w = alpha*As/255: "over" with the
// layer's opacity. An opaque source at full opacity replaces the pixel.
inline void blend(int alphaWeight, uint32_t src, uint32_t* d) {
  const auto alpha = static_cast<uint32_t>(alphaWeight);
  const uint32_t as = (src >> kAlphaShift) & 0xFF;
  if (alpha == 255 && as == 255) {
    *d = src;
    return;
  }
  const uint32_t w = (alpha * as + 127) / 255;
  const uint32_t old = *d;
  uint32_t out = 0;
  for (int j = 0; j < 4; ++j)
    out |= ((alpha * lane(src, j) + (255 - w) * lane(old, j) + 127) / 255) << (8 * j);
  *d = out;
}

// x / 255 for 0 <= x < 65535, the way the vector kernel divides.
inline uint32_t div255(uint32_t x) {
  return (x + 1 + (x >> 8)) >> 8;
}

// d = (a*m + (255-a)*d + 127) / 255 on every byte: the layer's opacity between the blended pixel
// and what was there.
inline uint32_t mix(uint32_t alpha, uint32_t m, uint32_t d) {
  uint32_t out = 0;
  for (int j = 0; j < 4; ++j)
    out |= ((alpha * lane(m, j) + (255 - alpha) * lane(d, j) + 127) / 255) << (8 * j);
  return out;
}

// The picture's pixel (blended, or plainly over) and then the layer's opacity.
inline void composite(const BlitParams& p, uint32_t src, uint32_t* d) {
  if (p.mode == 0) {
    blend(p.alpha, src, d);
    return;
  }
  *d = mix(static_cast<uint32_t>(p.alpha), blendModePixel(p.mode, src, *d), *d);
}

// Rows of a layer on whole pixels: a memory copy when nothing is blended, otherwise the pixels
// of the picture row taken in order (the same bytes as sampling them).
void alignedRows(const BlitParams& p, int rowBegin, int rowEnd) {
  const int shiftU = static_cast<int>(p.hu) - p.ox;  // picture column = frame column + shiftU
  const int shiftV = static_cast<int>(p.hv) - p.oy;
  const int xBegin = std::max(p.x0, -shiftU);
  const int xEnd = std::min(p.x1, p.imageWidth - shiftU);
  if (xBegin >= xEnd) return;
  const bool copy = p.alpha == 255 && !p.pictureAlpha && !p.colorKey && p.mode == 0;
  for (int y = rowBegin; y < rowEnd; ++y) {
    const int iv = y + shiftV;
    if (iv < 0 || iv >= p.imageHeight) continue;
    const auto* s =
        reinterpret_cast<const uint32_t*>(p.image + iv * p.imagePitch) + xBegin + shiftU;
    auto* d = reinterpret_cast<uint32_t*>(p.canvas + y * p.canvasPitch) + xBegin;
    const size_t count = static_cast<size_t>(xEnd - xBegin);
    if (copy) {
      std::memcpy(d, s, count * 4);
      continue;
    }
    for (size_t i = 0; i < count; ++i) {
      if (!keyed(p, s[i])) composite(p, source(p, s[i]), d + i);
    }
  }
}

}  // namespace

uint32_t blendModePixel(int mode, uint32_t src, uint32_t dst) {
  const uint32_t as = lane(src, kAlphaShift / 8);
  const uint32_t ab = lane(dst, kAlphaShift / 8);
  if (mode == 1) {  // add: each byte saturates, alpha too
    uint32_t out = 0;
    for (int j = 0; j < 4; ++j)
      out |= std::min(255u, lane(src, j) + lane(dst, j)) << (8 * j);
    return out;
  }
  const uint32_t ao = as + ab - div255(as * ab + 127);
  uint32_t out = ao << kAlphaShift;
  for (int j = 0; j < 4; ++j) {
    if (8 * j == kAlphaShift) continue;
    const uint32_t cs = lane(src, j);
    const uint32_t cb = lane(dst, j);
    // The blended term as*ab*B(Cb, Cs) in premultiplied values (scaled by 255).
    uint32_t term = 0;
    switch (mode) {
      case 2:  // multiply
        term = cs * cb;
        break;
      case 3:  // screen
        term = cs * ab + cb * as - cs * cb;
        break;
      case 4:  // overlay: hard light with the roles swapped
        term = 2 * cb <= ab ? 2 * cs * cb : as * ab - 2 * (ab - cb) * (as - cs);
        break;
      case 5:  // darken
        term = std::min(cs * ab, cb * as);
        break;
      case 6:  // lighten
        term = std::max(cs * ab, cb * as);
        break;
      default:  // difference
        term = cs * ab + cb * as - 2 * std::min(cs * ab, cb * as);
        break;
    }
    const uint32_t colour = div255(cs * (255 - ab) + cb * (255 - as) + term + 127);
    out |= std::min(colour, ao) << (8 * j);
  }
  return out;
}

bool coversWholeFrame(const LayerKernel& p, int width, int height) {
  if (!p.aligned || p.alpha != 255 || p.pictureAlpha || p.colorKey || p.mode != 0) return false;
  const int shiftU = static_cast<int>(p.hu) - p.ox;
  const int shiftV = static_cast<int>(p.hv) - p.oy;
  return p.x0 == 0 && p.x1 == width && p.y0 == 0 && p.y1 == height && shiftU >= 0 &&
         width + shiftU <= p.imageWidth && shiftV >= 0 && height + shiftV <= p.imageHeight;
}

void shadePixelScalar(const BlitParams& p, float u, float v, uint32_t* d) {
  const float sw = static_cast<float>(p.imageWidth);
  const float sh = static_cast<float>(p.imageHeight);
  if (!(u >= 0.0f && u < sw && v >= 0.0f && v < sh)) return;
  const int iu = static_cast<int>(u);
  const int iv = static_cast<int>(v);
  const auto* row = reinterpret_cast<const uint32_t*>(p.image + iv * p.imagePitch);
  uint32_t colour;
  if (p.interpolate && u + 1.0f < sw) {
    const auto fu = static_cast<uint32_t>((u - static_cast<float>(iu)) * 256.0f);
    const auto fv = static_cast<uint32_t>((v - static_cast<float>(iv)) * 256.0f);
    // A key-coloured neighbour takes the canvas pixel (on a transparent frame: nothing).
    const uint32_t replacement = p.canvasOpaque ? *d : 0;
    auto take = [&p, replacement](uint32_t pixel) {
      return keyed(p, pixel) ? replacement : source(p, pixel);
    };
    const uint32_t a = take(row[iu]);
    const uint32_t b = take(row[iu + 1]);
    colour = 0;
    if (v + 1.0f < sh) {
      const auto* below = reinterpret_cast<const uint32_t*>(p.image + (iv + 1) * p.imagePitch);
      const uint32_t c = take(below[iu]);
      const uint32_t e = take(below[iu + 1]);
      for (int j = 0; j < 4; ++j) {
        const uint32_t top = (256 - fu) * lane(a, j) + fu * lane(b, j);
        const uint32_t bottom = (256 - fu) * lane(c, j) + fu * lane(e, j);
        colour |= (((256 - fv) * top + fv * bottom + 32768) >> 16) << (8 * j);
      }
    } else {
      for (int j = 0; j < 4; ++j) {
        const uint32_t top = (256 - fu) * lane(a, j) + fu * lane(b, j);
        colour |= ((top + 128) >> 8) << (8 * j);
      }
    }
    if (p.colorKey && filteredMatchesKey(colour, p.key)) return;
  } else {
    const uint32_t pixel = row[iu];
    if (keyed(p, pixel)) return;
    colour = source(p, pixel);
  }
  composite(p, colour, d);
}

void blitMarginScalar(const BlitParams& p, int y, int xBegin, int xEnd) {
  const float dy = static_cast<float>(y - p.oy);
  auto* d = reinterpret_cast<uint32_t*>(p.canvas + y * p.canvasPitch) + xBegin;
  for (int x = xBegin; x < xEnd; ++x, ++d) {
    const float column = static_cast<float>(x - p.ox);
    shadePixelScalar(p, p.du * column - p.dv * dy + p.hu, p.du * dy + p.dv * column + p.hv, d);
  }
}

void blitRowsScalar(const BlitParams& p, int rowBegin, int rowEnd) {
  if (p.gridColumns) {
    // Each canvas pixel samples where its frame pixel does.
    for (int y = rowBegin; y < rowEnd; ++y) {
      const float dy = p.gridRows[y] - static_cast<float>(p.oy);
      const float baseU = p.hu - p.dv * dy;
      const float baseV = p.hv + p.du * dy;
      auto* d = reinterpret_cast<uint32_t*>(p.canvas + y * p.canvasPitch) + p.x0;
      for (int x = p.x0; x < p.x1; ++x, ++d) {
        const float column = p.gridColumns[x] - static_cast<float>(p.ox);
        shadePixelScalar(p, p.du * column + baseU, p.dv * column + baseV, d);
      }
    }
    return;
  }
  const float startColumn = static_cast<float>(p.xs - p.ox);
  for (int y = rowBegin; y < rowEnd; ++y) {
    blitMarginScalar(p, y, p.x0, p.xs);
    const float dy = static_cast<float>(y - p.oy);
    // The sampling point starts afresh at every row and then moves by repeated addition.
    float u = p.du * startColumn - p.dv * dy + p.hu;
    float v = p.du * dy + p.dv * startColumn + p.hv;
    auto* d = reinterpret_cast<uint32_t*>(p.canvas + y * p.canvasPitch) + p.xs;
    for (int x = p.xs; x < p.x1; ++x, ++d, u += p.du, v += p.dv)
      shadePixelScalar(p, u, v, d);
  }
}

void blitRows(const BlitParams& params, int rowBegin, int rowEnd) {
  if (params.aligned && gAligned.load()) {
    alignedRows(params, rowBegin, rowEnd);
  } else if (gScalar.load() || !vectorKernelAvailable()) {
    blitRowsScalar(params, rowBegin, rowEnd);
  } else {
    blitRowsVector(params, rowBegin, rowEnd);
  }
}

bool setKernel(const std::string& name) {
  if (name == "scalar") {
    gScalar = true;
    return true;
  }
  if (!selectVectorKernel(name)) return false;
  gScalar = false;
  return true;
}

std::vector<std::string> vectorKernels() {
  return vectorKernelNames();
}

std::string activeKernel() {
  if (gScalar.load() || !vectorKernelAvailable()) return "scalar";
  return activeVectorKernel();
}

void setAlignedRows(bool enabled) {
  gAligned = enabled;
}

}  // namespace pelorix
