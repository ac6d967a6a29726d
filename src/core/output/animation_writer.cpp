// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/animation_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>

#include "output/frame_chain.h"

namespace pelorix {
namespace {

// The fraction nearest to `value` whose numerator and denominator stay within `limit`: the last
// convergent of its continued fraction that fits.
Rational nearestFraction(double value, int64_t limit) {
  int64_t num0 = 0, den0 = 1, num1 = 1, den1 = 0;
  double rest = value;
  for (int step = 0; step < 64; ++step) {
    const double whole = std::floor(rest);
    if (whole > static_cast<double>(limit)) break;
    const auto a = static_cast<int64_t>(whole);
    const int64_t num2 = a * num1 + num0;
    const int64_t den2 = a * den1 + den0;
    if (num2 > limit || den2 > limit) break;
    num0 = num1, den0 = den1, num1 = num2, den1 = den2;
    const double fraction = rest - whole;
    if (fraction < 1e-12 ||
        std::fabs(static_cast<double>(num1) / static_cast<double>(den1) - value) <= 1e-12 * value)
      break;
    rest = 1.0 / fraction;
  }
  if (den1 == 0) return {};
  return {static_cast<int>(num1), static_cast<int>(den1)};
}

}  // namespace

PixelBox changedBox(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                    int width, int height) {
  const size_t row = static_cast<size_t>(width) * 4;
  int top = height, bottom = -1, left = width, right = -1;
  for (int y = 0; y < height; ++y) {
    const auto* a = before.data() + row * static_cast<size_t>(y);
    const auto* b = after.data() + row * static_cast<size_t>(y);
    if (std::memcmp(a, b, row) == 0) continue;
    top = std::min(top, y);
    bottom = y;
    int x = 0;
    while (x < left && std::memcmp(a + 4 * x, b + 4 * x, 4) == 0)
      ++x;
    left = std::min(left, x);
    x = width - 1;
    while (x > right && std::memcmp(a + 4 * x, b + 4 * x, 4) == 0)
      --x;
    right = std::max(right, x);
  }
  if (bottom < 0) return {};
  return {left, top, right - left + 1, bottom - top + 1};
}

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
  const double value = static_cast<double>(fps);
  if (!(value > 0.0) || !std::isfinite(value)) return {};
  // Two decimals, as the project file stores rates, when the rate has no more.
  const double hundredths = value * 100.0;
  const double whole = std::round(hundredths);
  if (whole >= 1.0 && whole <= 2e9 && std::fabs(hundredths - whole) < 1e-4 * whole) {
    const auto h = static_cast<int64_t>(whole);
    const int64_t divisor = std::gcd(h, int64_t{100});
    return {static_cast<int>(h / divisor), static_cast<int>(100 / divisor)};
  }
  return nearestFraction(value, int64_t{1} << 30);
}

}  // namespace pelorix
