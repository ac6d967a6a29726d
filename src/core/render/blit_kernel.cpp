#include "render/blit_kernel.h"

#include <atomic>
#include <cstring>

namespace pelorix {
namespace {

std::atomic<KernelPath> gPath{KernelPath::Auto};

inline uint32_t pixelAt(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16;
}

inline uint32_t blendChannel(uint32_t a, uint32_t c, uint32_t d) {
  return (a * c + (255 - a) * d + 127) / 255;
}

// The pixel a keyed neighbour is replaced by: the canvas pixel being drawn.
inline uint32_t unkey(uint32_t pixel, uint32_t key, uint32_t canvasPixel, bool colorKey) {
  return (colorKey && pixel == key) ? canvasPixel : pixel;
}

inline uint32_t channel(uint32_t pixel, int k) {
  return (pixel >> (8 * k)) & 0xFF;
}

}  // namespace

bool avx2Supported() {
#if defined(PELORIX_X86_KERNELS)
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
#else
  return false;
#endif
}

void setKernelPath(KernelPath path) {
  gPath = path;
}

KernelPath activeKernelPath() {
  const KernelPath path = gPath.load();
  if (path == KernelPath::Auto) return avx2Supported() ? KernelPath::Avx2 : KernelPath::Scalar;
  if (path == KernelPath::Avx2 && !avx2Supported()) return KernelPath::Scalar;
  return path;
}

void blitRows(const BlitParams& params, int rowBegin, int rowEnd) {
#if defined(PELORIX_X86_KERNELS)
  if (activeKernelPath() == KernelPath::Avx2) {
    blitRowsAvx2(params, rowBegin, rowEnd);
    return;
  }
#endif
  blitRowsScalar(params, rowBegin, rowEnd);
}

namespace {

inline void shadePixel(const BlitParams& p, float u, float v, uint8_t* d) {
  const float sw = static_cast<float>(p.imageWidth);
  const float sh = static_cast<float>(p.imageHeight);
  const auto alpha = static_cast<uint32_t>(p.alpha);
  if (!(u >= 0.0f && u < sw && v >= 0.0f && v < sh)) return;
  const int iu = static_cast<int>(u);
  const int iv = static_cast<int>(v);
  const uint8_t* s = p.image + static_cast<ptrdiff_t>(iv) * p.imagePitch + 3 * iu;
  uint32_t color;
  if (p.interpolate && u + 1.0f < sw) {
    const auto fu = static_cast<uint32_t>((u - static_cast<float>(iu)) * 256.0f);
    const auto fv = static_cast<uint32_t>((v - static_cast<float>(iv)) * 256.0f);
    const uint32_t canvasPixel = pixelAt(d);
    const uint32_t a = unkey(pixelAt(s), p.key, canvasPixel, p.colorKey);
    const uint32_t b = unkey(pixelAt(s + 3), p.key, canvasPixel, p.colorKey);
    color = 0;
    if (v + 1.0f < sh) {
      const uint8_t* below = s + p.imagePitch;
      const uint32_t c = unkey(pixelAt(below), p.key, canvasPixel, p.colorKey);
      const uint32_t e = unkey(pixelAt(below + 3), p.key, canvasPixel, p.colorKey);
      for (int k = 0; k < 3; ++k) {
        const uint32_t top = (256 - fu) * channel(a, k) + fu * channel(b, k);
        const uint32_t bottom = (256 - fu) * channel(c, k) + fu * channel(e, k);
        color |= (((256 - fv) * top + fv * bottom + 32768) >> 16) << (8 * k);
      }
    } else {
      for (int k = 0; k < 3; ++k) {
        const uint32_t top = (256 - fu) * channel(a, k) + fu * channel(b, k);
        color |= ((top + 128) >> 8) << (8 * k);
      }
    }
  } else {
    color = pixelAt(s);
  }
  if (p.colorKey && color == p.key) return;
  if (alpha == 255) {
    d[0] = static_cast<uint8_t>(color);
    d[1] = static_cast<uint8_t>(color >> 8);
    d[2] = static_cast<uint8_t>(color >> 16);
  } else {
    for (int k = 0; k < 3; ++k)
      d[k] = static_cast<uint8_t>(blendChannel(alpha, channel(color, k), d[k]));
  }
}

}  // namespace

void blitMarginScalar(const BlitParams& p, int y, int xBegin, int xEnd) {
  const float dy = static_cast<float>(y - p.oy);
  uint8_t* d = p.canvas + static_cast<ptrdiff_t>(y) * p.canvasPitch + 3 * xBegin;
  for (int x = xBegin; x < xEnd; ++x, d += 3) {
    const float column = static_cast<float>(x - p.ox);
    shadePixel(p, p.du * column - p.dv * dy + p.hu, p.du * dy + p.dv * column + p.hv, d);
  }
}

void blitRowsScalar(const BlitParams& p, int rowBegin, int rowEnd) {
  const float startColumn = static_cast<float>(p.xs - p.ox);
  for (int y = rowBegin; y < rowEnd; ++y) {
    blitMarginScalar(p, y, p.x0, p.xs);
    const float dy = static_cast<float>(y - p.oy);
    // The sampling point starts afresh at every row and then moves by repeated addition.
    float u = p.du * startColumn - p.dv * dy + p.hu;
    float v = p.du * dy + p.dv * startColumn + p.hv;
    uint8_t* d = p.canvas + static_cast<ptrdiff_t>(y) * p.canvasPitch + 3 * p.xs;
    for (int x = p.xs; x < p.x1; ++x, d += 3, u += p.du, v += p.dv)
      shadePixel(p, u, v, d);
  }
}

}  // namespace pelorix
