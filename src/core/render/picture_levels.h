// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "imageio/dib_image.h"

namespace pelorix {

class RowWorkers;
struct LayerKernel;

// Smaller copies of a still picture, for compositions shown smaller than the frame: a layer
// that steps over two or more picture pixels per frame pixel samples the level where it steps
// over one to two, so its pixels stay close together in memory. Level n is half the width and
// height of level n - 1 (rounded up), each pixel the mean of a 2x2 block (colours weighed by
// their alpha). With a key colour, key-coloured pixels count for nothing, and a block of three
// or four of them stays the key colour, so the layer's key still cuts the level exactly.
//
// Levels are made on first use, once per picture and key colour, and kept as long as the
// picture. Thread-safe: compositors on several threads share pictures.
class PictureLevels {
 public:
  // Level `level` >= 1 of `picture` (the 32-bit pixels of the compositor), made over `workers`
  // when given. Null when there is no memory for it (the caller samples the picture itself).
  const DibImage* level(const DibImage& picture, int level, std::optional<uint32_t> key,
                        RowWorkers* workers);
  // Bytes the levels made so far take.
  uint64_t bytes() const;

 private:
  mutable std::mutex mutex_;
  // By key colour (none first) and level.
  std::map<std::pair<std::optional<uint32_t>, int>, std::unique_ptr<DibImage>> levels_;
};

// Bytes every level of a W x H picture would take at most: about a third of the picture.
uint64_t pictureLevelBytes(int width, int height);

// Points a prepared kernel at the level of `levels` that suits its step (the picture's pixels
// per canvas pixel, `stride` frame pixels to a canvas pixel), with the sampling mapped onto that
// level's pixels; the kernel stays on the picture when the step is short or the level cannot be
// had.
void sampleFromLevel(LayerKernel& kernel, const DibImage& picture, PictureLevels& levels,
                     RowWorkers* workers, double stride = 1.0);

}  // namespace pelorix
