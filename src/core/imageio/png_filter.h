// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelorix {

// The row work of the PNG writer with vector instructions, chosen at run time for the processor.

// Reorders pixels from B, G, R (and X or A) to R, G, B (and A): inChannels 3 or 4, outChannels 3
// or 4 (4 only from 4; X is dropped, A kept).
void pngSwizzleRow(const uint8_t* in, int inChannels, uint8_t* out, int outChannels, size_t width);

// The SUB and UP filters of a row of `bytes` bytes with `bpp` bytes per pixel, and how far each
// is from all zeros (the sum of the bytes read as signed magnitudes). `cur` must have `bpp` zero
// bytes before it. Without `prev` (the first row) only SUB is made and `upCost` is left alone.
void pngFilterRow(const uint8_t* cur, const uint8_t* prev, size_t bytes, int bpp, uint8_t* sub,
                  uint8_t* up, uint64_t& subCost, uint64_t& upCost);

}  // namespace pelorix
