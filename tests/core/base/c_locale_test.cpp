// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/c_locale.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>

#include "test_support.h"

namespace pelorix {
namespace {

TEST(CNumbers, AtoiUsesTheLongestPrefix) {
  const std::pair<const char*, int> cases[] =
      {
          {"12", 12},       {"  -7x", -7}, {"+3", 3},  {"12abc", 12}, {"abc", 0},
          {"", 0},          {"\t 42", 42}, {"1.9", 1}, {"-0", 0},     {"2147483647", INT_MAX},
          {"4294967296", 0}  // fits a 64-bit long; the low 32 bits remain
      };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(cAtoi(text), expected) << text;
}

TEST(CNumbers, AtofUsesTheLongestPrefix) {
  EXPECT_DOUBLE_EQ(cAtof("1.50"), 1.5);
  EXPECT_DOUBLE_EQ(cAtof("  -4.00,"), -4.0);
  EXPECT_DOUBLE_EQ(cAtof("10.25abc"), 10.25);
  EXPECT_DOUBLE_EQ(cAtof("abc"), 0.0);
  EXPECT_DOUBLE_EQ(cAtof("1e2"), 100.0);
  EXPECT_DOUBLE_EQ(cAtof("3,5"), 3.0);
}

// Files must read and write the same whatever locale the user runs in.
TEST(CNumbers, DecimalCommaLocaleChangesNothing) {
  test::DecimalCommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma can be had";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.2f", 1.5);
  ASSERT_STREQ(buffer, "1,50") << "the locale is not in effect";
  EXPECT_DOUBLE_EQ(cAtof("29.97"), 29.97);
  EXPECT_EQ(formatC("%.2f", 1.5), "1.50");
}

TEST(CNumbers, FormatGrowsBeyondTheSmallBuffer) {
  const std::string long_text(1000, 'x');
  EXPECT_EQ(formatC("[%s]", long_text.c_str()), "[" + long_text + "]");
  EXPECT_EQ(formatC("%.2f", 1.0 / 30.0), "0.03");
  EXPECT_EQ(formatC("%.2f", static_cast<double>(29.97f)), "29.97");
}

TEST(CNumbers, NarrowAndTruncateNeverOverflow) {
  EXPECT_EQ(narrowToFloat(1e300), INFINITY);
  EXPECT_EQ(narrowToFloat(-1e300), -INFINITY);
  EXPECT_EQ(narrowToFloat(static_cast<double>(FLT_MAX)), FLT_MAX);
  EXPECT_TRUE(std::isnan(narrowToFloat(NAN)));
  EXPECT_EQ(narrowToFloat(0.1), 0.1f);
  EXPECT_EQ(truncToInt(1e20), INT_MAX);
  EXPECT_EQ(truncToInt(-1e20), INT_MIN);
  EXPECT_EQ(truncToInt(NAN), 0);
  EXPECT_EQ(truncToInt(-2.7), -2);
  EXPECT_EQ(truncToInt(2.7), 2);
}

}  // namespace
}  // namespace pelorix
