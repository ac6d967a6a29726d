#include "model/text_encoding.h"

#include <gtest/gtest.h>

namespace pelorix {
namespace {

TEST(TextEncoding, Utf8Validation) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("plain ascii"));
  EXPECT_TRUE(isValidUtf8("新規プロジェクト"));
  EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("\x83\x5C"));          // CP932 ソ
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(isValidUtf8("\xE3\x81"));          // cut short
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

TEST(TextEncoding, Cp932RoundTripAndBrokenBytes) {
  EXPECT_EQ(cp932ToUtf8("\x83\x5C\x95\x5C"), "ソ表");
  EXPECT_EQ(utf8ToCp932("ソ表\\"), std::string("\x83\x5C\x95\x5C\x5C"));
  EXPECT_EQ(cp932ToUtf8("a\x83"), "a\xEF\xBF\xBD");  // a lead byte without its trail
  EXPECT_TRUE(isValidUtf8(cp932ToUtf8("\xFF\xFE\x80\xA0")));
  EXPECT_FALSE(utf8ToCp932("😀").has_value());
}

}  // namespace
}  // namespace pelorix
