// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/animation_writer.h"

#include <cmath>
#include <numeric>

namespace pelorix {

Rational frameRateOf(float fps) {
  struct Known {
    float fps;
    Rational rate;
  };
  for (const Known& known : {Known{23.976f, {24000, 1001}}, Known{23.98f, {24000, 1001}},
                             Known{29.97f, {30000, 1001}}, Known{59.94f, {60000, 1001}},
                             Known{47.952f, {48000, 1001}}, Known{119.88f, {120000, 1001}}}) {
    if (std::fabs(fps - known.fps) < 0.0005f) return known.rate;
  }
  const long hundredths = std::lround(static_cast<double>(fps) * 100.0);
  if (hundredths <= 0 || hundredths > 100'000'000) return {30, 1};
  const long divisor = std::gcd(hundredths, 100L);
  return {static_cast<int>(hundredths / divisor), static_cast<int>(100 / divisor)};
}

}  // namespace pelorix
