// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/c_locale.h"

#include <locale.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace pelorix {
namespace {

locale_t cLocale() {
  static const locale_t handle = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return handle;
}

// Switches the calling thread to the "C" locale for its lifetime.
class ScopedCLocale {
 public:
  ScopedCLocale() : previous_(uselocale(cLocale())) {}
  ~ScopedCLocale() { uselocale(previous_); }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

std::string formatC(const char* format, ...) {
  ScopedCLocale scoped;
  char small[256];
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) return {};
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string text(static_cast<size_t>(needed), '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

int cAtoi(std::string_view text) {
  const std::string copy(text);  // strtol needs a terminated string
  ScopedCLocale scoped;
  // glibc's atoi is (int)strtol(...); the narrowing keeps the low 32 bits.
  return static_cast<int>(std::strtol(copy.c_str(), nullptr, 10));
}

double cAtof(std::string_view text) {
  const std::string copy(text);
  ScopedCLocale scoped;
  return std::strtod(copy.c_str(), nullptr);
}

double cStrtod(const char* text, char** end) {
  ScopedCLocale scoped;
  return std::strtod(text, end);
}

bool parseNumber(std::string_view text, double& value) {
  if (text.empty() || text.front() == ' ' || text.front() == '\t') return false;
  const std::string copy(text);
  char* end = nullptr;
  const double read = cStrtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(read)) return false;
  value = read;
  return true;
}

bool parseRate(std::string_view text, double& value) {
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return parseNumber(text, value);
  double num = 0.0;
  double den = 0.0;
  if (!parseNumber(text.substr(0, slash), num) || !parseNumber(text.substr(slash + 1), den) ||
      den == 0.0 || !std::isfinite(num / den)) {
    return false;
  }
  value = num / den;
  return true;
}

float narrowToFloat(double value) {
  // Half a float step above FLT_MAX is where rounding to nearest reaches infinity.
  constexpr double kOverflow = static_cast<double>(FLT_MAX) + 0x1p103;
  if (value >= kOverflow) return INFINITY;
  if (value <= -kOverflow) return -INFINITY;
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

int truncToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace pelorix
