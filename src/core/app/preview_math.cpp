// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/preview_math.h"

#include <cstdint>

namespace pelorix {

Size snapToFrameAspect(int clientWidth, int clientHeight, int frameWidth, int frameHeight) {
  if (clientWidth <= 0 || clientHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) {
    return {clientWidth, clientHeight};
  }
  int64_t w = static_cast<int64_t>(clientHeight) * frameWidth / frameHeight;
  int64_t h = clientHeight;
  if (w >= clientWidth) {
    w = clientWidth;
    h = static_cast<int64_t>(clientWidth) * frameHeight / frameWidth;
  }
  return {static_cast<int>(w), static_cast<int>(h)};
}

int dragOffset(int frameSize, int displaySize, int start, int now) {
  if (displaySize <= 0) return 0;
  return static_cast<int>(static_cast<int64_t>(frameSize) * (start - now) / displaySize);
}

}  // namespace pelorix
