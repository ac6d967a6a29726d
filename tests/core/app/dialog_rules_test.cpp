// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialog_rules.h"
#include "app/file_filters.h"
#include "model/project.h"

#include <gtest/gtest.h>

namespace pelorix {
namespace {

TEST(DialogRules, LayerNumberTakesTheLeadingInteger) {
  EXPECT_EQ(leadingInteger("12abc"), 12);
  EXPECT_EQ(leadingInteger(" -3"), -3);
  EXPECT_EQ(leadingInteger("+7"), 7);
  EXPECT_FALSE(leadingInteger("").has_value());
  EXPECT_FALSE(leadingInteger("abc").has_value());
  EXPECT_FALSE(leadingInteger("-").has_value());
  EXPECT_FALSE(leadingInteger("99999999999").has_value());
}

TEST(DialogRules, ColourChannelsAreBytes) {
  EXPECT_EQ(leadingByte("255"), 255);
  EXPECT_EQ(leadingByte("0"), 0);
  EXPECT_EQ(leadingByte("12 "), 12);
  EXPECT_FALSE(leadingByte("256").has_value());
  EXPECT_FALSE(leadingByte("-1").has_value());
  EXPECT_FALSE(leadingByte("").has_value());
  EXPECT_FALSE(leadingByte("1000").has_value());
}

TEST(DialogRules, ProjectNumbersAreWholeIntegers) {
  EXPECT_EQ(wholeInteger(" 640 "), 640);
  EXPECT_EQ(wholeInteger("-5"), -5);
  EXPECT_EQ(wholeInteger("0"), 0);
  EXPECT_FALSE(wholeInteger("12.5").has_value());
  EXPECT_FALSE(wholeInteger("12abc").has_value());
  EXPECT_FALSE(wholeInteger("").has_value());
}

TEST(DialogRules, OutputFormatsComeFromTheTable) {
  EXPECT_FALSE(outputFormatProblem("png", 0));
  EXPECT_FALSE(outputFormatProblem("JPEG", 0));
  EXPECT_FALSE(outputFormatProblem("mkv", 0));
  EXPECT_FALSE(outputFormatProblem("gif", projectAnimatedFile));
  const auto problem = outputFormatProblem("avi", 0);
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find("avi"), std::string::npos);
  EXPECT_NE(problem->find("mp4"), std::string::npos);
  EXPECT_TRUE(outputFormatProblem("", 0));
}

TEST(DialogRules, SourceNumbersAndStoredPaths) {
  EXPECT_EQ(sourceNumber("abc"), 0.0f);
  EXPECT_EQ(sourceNumber("2"), 2.0f);
  EXPECT_EQ(sourceNumber(" 0.03x"), 0.03f);
  EXPECT_EQ(storedImagePath("/p/proj/img/a.png", "/p/proj/"), "img/a.png");
  EXPECT_EQ(storedImagePath("/elsewhere/a.png", "/p/proj/"), "/elsewhere/a.png");
  EXPECT_EQ(storedImagePath("/p/project2/a.png", "/p/proj"), "/p/project2/a.png");
  EXPECT_EQ(storedImagePath("/p/proj/a.png", "/p/proj"), "a.png");
}

// The browsers open where the fields point: the filter of the file name pattern, and a relative
// save folder below the project folder.
TEST(DialogRules, BrowsersStartWhereTheFieldsPoint) {
  const std::vector<FileFilter> filters = pictureFilters();
  EXPECT_EQ(filters[static_cast<size_t>(filterForPattern(filters, "*.png"))].text(),
            "PNG 画像 (*.png)");
  EXPECT_EQ(filters[static_cast<size_t>(filterForPattern(filters, "*.JPEG"))].text(),
            "JPEG 画像 (*.jpg *.jpeg *.jpe *.jfif)");
  EXPECT_EQ(filterForPattern(filters, "*.bmp"), 0);
  EXPECT_EQ(filterForPattern(filters, "*.tiff"), 5);  // TIFF is read too
  EXPECT_EQ(filters[static_cast<size_t>(filterForPattern(filters, ""))].text(),
            "すべてのファイル (*)");
  EXPECT_EQ(filterForPattern(filters, "*.xyz"), static_cast<int>(filters.size()) - 1);
  EXPECT_EQ(frameFilters().front().text(), "ビットマップ画像 (*.bmp *.dib)");
  EXPECT_EQ(folderBrowserStart("out", "/p/proj/"), "/p/proj/out");
  EXPECT_EQ(folderBrowserStart("/abs/out", "/p/proj/"), "/abs/out");
  EXPECT_EQ(folderBrowserStart("", "/p/proj/"), "/p/proj/");
}

}  // namespace
}  // namespace pelorix
