// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pelorix {

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// The picture area a resized preview snaps to: the frame's proportions fitted into the new
// client size in integer arithmetic, shrinking the dimension that would overflow.
Size snapToFrameAspect(int clientWidth, int clientHeight, int frameWidth, int frameHeight);

// A drag of the preview in frame pixels: frame size x (start - now) / display size, multiplying
// first and truncating toward zero.
int dragOffset(int frameSize, int displaySize, int start, int now);

// Wheel notches of one wheel message: delta / 120, truncating.
inline int wheelNotches(int delta) {
  return delta / 120;
}

}  // namespace pelorix
