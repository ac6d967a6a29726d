// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture_levels.h"

#include <algorithm>
#include <cmath>

#include "base/row_workers.h"
#include "render/blit_kernel.h"

namespace pelorix {
namespace {

constexpr int kMaxLevel = 12;

uint32_t byteOf(uint32_t pixel, int shift) {
  return (pixel >> shift) & 0xFFu;
}

// The mean of a 2x2 block (see PictureLevels).
uint32_t meanPixel(const uint32_t (&block)[4], const std::optional<uint32_t>& key) {
  const uint32_t opaque = 0xFFu << kAlphaShift;
  if (!key && (block[0] & block[1] & block[2] & block[3] & opaque) == opaque) {
    uint32_t out = opaque;
    for (int shift = 0; shift < 32; shift += 8) {
      if (shift == kAlphaShift) continue;
      const uint32_t sum = byteOf(block[0], shift) + byteOf(block[1], shift) +
                           byteOf(block[2], shift) + byteOf(block[3], shift);
      out |= ((sum + 2) >> 2) << shift;
    }
    return out;
  }
  uint32_t kept[4];
  int count = 0;
  for (uint32_t pixel : block) {
    if (!key || (pixel & kColourMask) != *key) kept[count++] = pixel;
  }
  if (count <= 1) {
    for (uint32_t pixel : block) {
      if ((pixel & kColourMask) == *key) return pixel;  // three or four of the key
    }
  }
  uint32_t alphaSum = 0;
  for (int i = 0; i < count; ++i)
    alphaSum += byteOf(kept[i], kAlphaShift);
  const auto n = static_cast<uint32_t>(count);
  uint32_t out = ((alphaSum + n / 2) / n) << kAlphaShift;
  for (int shift = 0; shift < 32; shift += 8) {
    if (shift == kAlphaShift) continue;
    uint32_t sum = 0;
    uint32_t weighted = 0;
    for (int i = 0; i < count; ++i) {
      sum += byteOf(kept[i], shift);
      weighted += byteOf(kept[i], shift) * byteOf(kept[i], kAlphaShift);
    }
    // Colours weigh by their alpha; when nothing shows, by count.
    const uint32_t mean = alphaSum == 0 ? (sum + n / 2) / n : (weighted + alphaSum / 2) / alphaSum;
    out |= mean << shift;
  }
  return out;
}

void halveRows(const DibImage& from, DibImage& to, const std::optional<uint32_t>& key, int begin,
               int end) {
  const int lastX = from.width() - 1;
  const int lastY = from.height() - 1;
  for (int y = begin; y < end; ++y) {
    const auto* top = reinterpret_cast<const uint32_t*>(from.row(std::min(2 * y, lastY)));
    const auto* bottom = reinterpret_cast<const uint32_t*>(from.row(std::min(2 * y + 1, lastY)));
    auto* out = reinterpret_cast<uint32_t*>(to.row(y));
    for (int x = 0; x < to.width(); ++x) {
      const int left = std::min(2 * x, lastX);
      const int right = std::min(2 * x + 1, lastX);
      const uint32_t block[4] = {top[left], top[right], bottom[left], bottom[right]};
      out[x] = meanPixel(block, key);
    }
  }
}

int halved(int side) {
  return (side + 1) / 2;
}

}  // namespace

const DibImage* PictureLevels::level(const DibImage& picture, int level,
                                     std::optional<uint32_t> key, RowWorkers* workers) {
  std::lock_guard lock(mutex_);
  const DibImage* from = &picture;
  for (int n = 1; n <= level; ++n) {
    std::unique_ptr<DibImage>& made = levels_[{key, n}];
    if (!made) {
      auto image = std::make_unique<DibImage>();
      const int flags = from->hasAlpha() ? kCreateAlpha : from->padded24() ? kCreatePadded24 : 0;
      if (!image->create(halved(from->width()), -halved(from->height()), 32, BI_RGB, nullptr,
                         flags)) {
        levels_.erase({key, n});
        return nullptr;
      }
      const auto rows = [&](int begin, int end) { halveRows(*from, *image, key, begin, end); };
      if (workers) {
        workers->run(0, image->height(), rows);
      } else {
        rows(0, image->height());
      }
      made = std::move(image);
    }
    from = made.get();
  }
  return from;
}

uint64_t PictureLevels::bytes() const {
  std::lock_guard lock(mutex_);
  uint64_t total = 0;
  for (const auto& [which, image] : levels_)
    total += static_cast<uint64_t>(image->width()) * static_cast<uint64_t>(image->height()) * 4;
  return total;
}

uint64_t pictureLevelBytes(int width, int height) {
  uint64_t total = 0;
  for (int n = 1; n <= kMaxLevel && (width > 1 || height > 1); ++n) {
    width = halved(width);
    height = halved(height);
    total += static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
  }
  return total;
}

void sampleFromLevel(LayerKernel& kernel, const DibImage& picture, PictureLevels& levels,
                     RowWorkers* workers, double stride) {
  if (!kernel.interpolate) return;  // nearest sampling keeps the picture's own pixels
  const double step =
      stride * std::hypot(static_cast<double>(kernel.du), static_cast<double>(kernel.dv));
  int level = 0;
  int width = picture.width();
  int height = picture.height();
  // The smallest level still stepped over by one pixel or more, and at least 2x2 pixels.
  while (level < kMaxLevel && step >= std::ldexp(1.0, level + 1) && width > 3 && height > 3) {
    ++level;
    width = halved(width);
    height = halved(height);
  }
  if (level == 0) return;
  const std::optional<uint32_t> key =
      kernel.colorKey ? std::optional<uint32_t>(kernel.key) : std::nullopt;
  const DibImage* image = levels.level(picture, level, key, workers);
  if (!image) return;
  // Pixel i of level n is the mean of picture pixels f*i .. f*i + f - 1 (f = 2^n), so it lies at
  // picture position f*i + (f - 1) / 2.
  const auto f = static_cast<float>(std::ldexp(1.0, level));
  const float centre = (f - 1.0f) / 2.0f;
  kernel.du /= f;
  kernel.dv /= f;
  kernel.hu = (kernel.hu - centre) / f;
  kernel.hv = (kernel.hv - centre) / f;
  kernel.image = image->bits();
  kernel.imagePitch = image->pitch();
  kernel.imageWidth = image->width();
  kernel.imageHeight = image->height();
  kernel.aligned = false;
}

}  // namespace pelorix
