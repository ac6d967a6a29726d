// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelorix {

// Pixels of the canvas and of the cached pictures are 32 bits: blue, green, red and alpha bytes
// in memory order, handled as native 32-bit values. The canvas holds premultiplied colour (with
// alpha 255 everywhere when the frame starts black); pictures hold straight colour (alpha 255
// when the layer does not use the picture's transparency).
inline constexpr int kAlphaShift = std::endian::native == std::endian::little ? 24 : 0;
inline constexpr uint32_t kColourMask = ~(0xFFu << kAlphaShift);

// The native pixel value of blue, green, red bytes (alpha 0): what a key colour is compared with.
inline uint32_t colourValue(uint8_t blue, uint8_t green, uint8_t red) {
  const uint8_t bytes[4] = {blue, green, red, 0};
  uint32_t value;
  __builtin_memcpy(&value, bytes, 4);
  return value;
}

// Everything the per-pixel loop of one layer reads but the canvas, worked out once per layer:
// the picture, the clipped box, the inverse mapping and the sampling, key and opacity settings.
// Two equal values draw the same bytes onto the same canvas, so a compositor compares them whole
// (a field added here is compared without anyone having to remember it).
struct LayerKernel {
  const uint8_t* image = nullptr;  // top row
  ptrdiff_t imagePitch = 0;
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
  bool pictureAlpha = false;  // the picture has pixels that are not opaque, and they count
  // Scale 1 and rotation 0: every sampling point is a whole pixel, so the layer is a copy (or a
  // blend) of picture rows, with the same bytes as sampling them.
  bool aligned = false;
  uint32_t key = 0;  // colourValue() of the key colour
  // How the layer's pixel meets the canvas before the opacity mix: a BlendMode value, 0 for the
  // plain "over" of every layer so far.
  int mode = 0;
  // A frame of this size drawn into a smaller canvas (0: the canvas is the frame): every value
  // above is the frame's but the box, which is in canvas columns and rows, and canvas pixel
  // (x, y) samples where the frame's pixel (gridColumns[x], gridRows[y]) does.
  int gridWidth = 0, gridHeight = 0;

  friend bool operator==(const LayerKernel&, const LayerKernel&) = default;
};

// A layer's kernel values with the canvas it draws into.
struct BlitParams : LayerKernel {
  uint8_t* canvas = nullptr;  // top row
  ptrdiff_t canvasPitch = 0;
  bool canvasOpaque = true;  // the frame started black (not transparent)
  // With gridWidth: the frame's column of each canvas column and its row of each canvas row,
  // readable a vector's width past the canvas.
  const float* gridColumns = nullptr;
  const float* gridRows = nullptr;
};

// A picture pixel laid over a canvas pixel with a separable blend mode (BlendMode 1-7) at full
// opacity, both premultiplied: the W3C compositing formulas on 8-bit values. The reference of
// the vector kernel's modes.
uint32_t blendModePixel(int mode, uint32_t source, uint32_t canvas);

// Whether drawing the layer writes every pixel of a W x H frame with an opaque pixel (a copy on
// whole pixels that covers the frame), so whatever the frame held before does not matter.
bool coversWholeFrame(const LayerKernel& kernel, int width, int height);

// Draws rows [rowBegin, rowEnd) of the box. Every path gives the same bytes; rows are
// independent, so callers may split them over threads.
void blitRows(const BlitParams& params, int rowBegin, int rowEnd);

// The reference: one pixel at a time, the sampling point moved on by one addition per column
// (for a grid, worked out for each pixel).
void blitRowsScalar(const BlitParams& params, int rowBegin, int rowEnd);
// Columns [xBegin, xEnd) of row y with the sampling point computed directly per column (the
// margin left of xs).
void blitMarginScalar(const BlitParams& params, int y, int xBegin, int xEnd);
// One pixel at sampling point (u, v); shared by the vector paths for the ends of rows.
void shadePixelScalar(const BlitParams& params, float u, float v, uint32_t* pixel);

// Which kernel draws: "scalar" (the reference), one of vectorKernels() (the vector instruction
// sets compiled in and supported by this processor, best first), or "" for the best one. False
// for a name that is not available. For tests and benchmarks.
bool setKernel(const std::string& name);
std::vector<std::string> vectorKernels();
std::string activeKernel();
// Whether layers on whole pixels are copied row by row (true by default; tests turn it off to
// compare with the sampling kernels).
void setAlignedRows(bool enabled);

}  // namespace pelorix
