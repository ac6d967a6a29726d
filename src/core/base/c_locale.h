// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace pelorix {

// printf into a std::string with the "C" locale, whatever the process locale is, so that
// files and texts always get a decimal point.
std::string formatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The C library's atoi and atof prefix rules (leading white space skipped, the longest valid
// prefix used, 0 when there is none), applied in the "C" locale.
int cAtoi(std::string_view text);
double cAtof(std::string_view text);
// strtod in the "C" locale.
double cStrtod(const char* text, char** end);

// A finite number in the C locale that is the whole of `text` (no blank or sign of another
// number after it); false for anything else.
bool parseNumber(std::string_view text, double& value);

// A rate: a number ("29.97") or a fraction ("30000/1001"), the whole of `text`, finite.
bool parseRate(std::string_view text, double& value);

// A double narrowed to float the way the hardware does it (values beyond the float range become
// infinities) without relying on an out-of-range conversion.
float narrowToFloat(double value);

// Truncation toward zero into a signed 32-bit value; NaN gives 0 and values beyond the range
// saturate, where a plain cast would be undefined.
int truncToInt(double value);

}  // namespace pelorix
