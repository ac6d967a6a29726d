// SPDX-License-Identifier: GPL-3.0-or-later
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
  EXPECT_FALSE(utf8ToCp932("😀").has_value());
}

// Bytes that are not CP932 (a Latin-1 name, a lead byte without its trail) are kept: the text
// is valid UTF-8, saving gives the bytes back, and the file system path is the name on disk.
TEST(TextEncoding, BytesThatAreNotCp932SurviveALoadAndASave) {
  for (const std::string& raw :
       {std::string("caf\xE9.png"), std::string("a\x83"), std::string("\xFF\xFE\x80\xA0"),
        std::string("\x83\x5C\xE9\x95\x5C")}) {
    EXPECT_EQ(utf8ToCp932(cp932ToUtf8(raw)), raw);
  }
  EXPECT_TRUE(hasByteEscapes(cp932ToUtf8("caf\xE9.png")));
  EXPECT_EQ(toFileSystemPath(cp932ToUtf8("caf\xE9.png")), "caf\xE9.png");
  EXPECT_EQ(toFileSystemPath("ソ表.png"), "ソ表.png");
  // Every character a UTF-8 file can hold is text, private-use ones included.
  for (const std::string& typed : {std::string("\xEE\xBE\x80"), std::string("a\xEE\xBF\x81.png"),
                                   std::string("\xEF\xBF\xBD")}) {
    EXPECT_TRUE(isValidUtf8(typed));
    EXPECT_FALSE(hasByteEscapes(typed));
    EXPECT_EQ(toFileSystemPath(typed), typed);
  }
}

}  // namespace
}  // namespace pelorix
