#pragma once

#include <cstdint>

namespace pelorix {

// Everything the per-pixel loop of one layer needs, worked out once per layer: the canvas and
// the image (24-bit rows reached through their pitch), the clipped box, the inverse mapping and
// the sampling, key and opacity settings.
struct BlitParams {
  uint8_t* canvas = nullptr;  // top row
  int canvasPitch = 0;
  const uint8_t* image = nullptr;  // top row
  int imagePitch = 0;
  int imageWidth = 0;
  int imageHeight = 0;
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // clipped box, limits exclusive
  // The column where the sampling point of a row starts and is then moved on by one addition
  // per column: the left edge of the unwidened, clipped box. Columns x0..xs-1 (the widened
  // margin) are computed directly, so every pixel from xs on gets exactly the rounding of the
  // repeated additions.
  int xs = 0;
  int ox = 0, oy = 0;    // image centre in the frame
  float du = 0, dv = 0;  // image step per frame column
  float hu = 0, hv = 0;  // image centre in the image
  int alpha = 255;       // opacity weight 0..255
  bool interpolate = false;
  bool colorKey = false;
  uint32_t key = 0;  // blue | green << 8 | red << 16, the byte order of a pixel
};

enum class KernelPath { Auto, Scalar, Avx2 };

// Draws rows [rowBegin, rowEnd) of the box. Every path gives the same bytes; rows are
// independent, so callers may split them over threads.
void blitRows(const BlitParams& params, int rowBegin, int rowEnd);

// For tests and benchmarks: force a path (Auto picks AVX2 when the processor has it).
void setKernelPath(KernelPath path);
KernelPath activeKernelPath();
bool avx2Supported();

// The paths themselves.
void blitRowsScalar(const BlitParams& params, int rowBegin, int rowEnd);
// Columns [xBegin, xEnd) of row y with the sampling point computed directly per column (the
// margin left of xs); shared by the paths.
void blitMarginScalar(const BlitParams& params, int y, int xBegin, int xEnd);
void blitRowsAvx2(const BlitParams& params, int rowBegin, int rowEnd);

}  // namespace pelorix
