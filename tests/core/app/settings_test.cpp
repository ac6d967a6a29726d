// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace pelorix {
namespace {

TEST(Settings, MissingFileGivesTheDefaultsAndIsCreatedWithTheWrittenKeys) {
  test::TempDir dir;
  ProfileFile profile;
  EXPECT_FALSE(profile.load(dir.file("pelorix.txt")));
  const Settings settings = readSettings(profile);
  EXPECT_EQ(settings.debugLevel, 0);
  EXPECT_EQ(settings.refuseGif, 1);
  EXPECT_FALSE(settings.placement.has_value());
  Settings written = settings;
  written.placement = WindowPlacement{0, 1, -1, -1, -1, -1, 10, 20, 810, 620};
  writeSettings(profile, written);
  ASSERT_TRUE(profile.save(dir.file("sub/pelorix.txt")));
  EXPECT_EQ(test::readFile(dir.file("sub/pelorix.txt")),
            "[環境]\n前のプロジェクト=\n前のフォルダ=\n画面フィット=0\nポジション=0,1,-1,-1,-1,-1,"
            "10,20,810,620\n[Pelorix]\nonionFrames=2\ntimelineShown=1\n");
}

TEST(Settings, HandEditedKeysAreReadAndOtherLinesKept) {
  test::TempDir dir;
  test::writeFile(dir.file("p.txt"),
                  "; my notes\r\n[other]\r\nkey=1\r\n[環境]\r\nGIFGIF = 0\r\ndebug=3x\r\n"
                  "前のフォルダ=\"/home/me/proj/\"\r\nポジション=2,3,0,0\r\n\r\n[last]\r\nz=9\r\n");
  ProfileFile profile;
  ASSERT_TRUE(profile.load(dir.file("p.txt")));
  Settings s = readSettings(profile);
  EXPECT_EQ(s.refuseGif, 0);
  EXPECT_EQ(s.debugLevel, 3);
  EXPECT_EQ(s.projectFolder, "/home/me/proj/");
  EXPECT_FALSE(s.placement.has_value());  // four numbers are not a placement
  s.projectFileName = "a.pxp";
  writeSettings(profile, s);
  profile.save(dir.file("p.txt"));
  EXPECT_EQ(
      test::readFile(dir.file("p.txt")),
      "; my notes\n[other]\nkey=1\n[環境]\nGIFGIF = 0\ndebug=3x\n前のフォルダ=/home/me/proj/\n"
      "ポジション=2,3,0,0\n前のプロジェクト=a.pxp\n画面フィット=0\n\n[last]\nz=9\n"
      "[Pelorix]\nonionFrames=2\ntimelineShown=1\n");
}

// Recent projects (fewer than before: the old entries go), the onion skin's frames (kept within
// 1 to 3) and each project's export choices come back as they were written.
TEST(Settings, RecentProjectsAndExportChoicesComeBack) {
  ProfileFile profile;
  Settings s;
  s.recentProjects = {"/a.pxp", "/b.pxp", "/c.pxp"};
  s.exportChoices = {{"/a.pxp", "format:mp4\tcrf:20"}, {"/b.pxp", "format:gif"}};
  s.onionFrames = 3;
  writeSettings(profile, s);
  s.recentProjects.pop_back();
  writeSettings(profile, s);
  const Settings read = readSettings(profile);
  EXPECT_EQ(read.recentProjects, s.recentProjects);
  EXPECT_EQ(read.exportChoices, s.exportChoices);
  EXPECT_EQ(read.onionFrames, 3);
  profile.write("Pelorix", "onionFrames", "9");
  EXPECT_EQ(readSettings(profile).onionFrames, 3);
}

TEST(Settings, PlacementNeedsAllTenNumbers) {
  EXPECT_FALSE(parsePlacement("").has_value());
  EXPECT_FALSE(parsePlacement("1,2,3,4,5,6,7,8,9").has_value());
  const auto p = parsePlacement("2,3,-1,-1,-8,-8,100,50,900,650");
  ASSERT_TRUE(p.has_value());
  EXPECT_TRUE(p->maximized());
  EXPECT_EQ(p->right, 900);
  EXPECT_EQ(formatPlacement(*p), "2,3,-1,-1,-8,-8,100,50,900,650");
}

TEST(Settings, DefaultPathFollowsXdg) {
  setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  EXPECT_EQ(defaultSettingsPath(), "/tmp/cfg/pelorix/pelorix.txt");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(defaultSettingsPath(), "/home/someone/.config/pelorix/pelorix.txt");
  // A relative XDG_CONFIG_HOME is ignored; without HOME the user database names the home.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(defaultSettingsPath(), "/home/someone/.config/pelorix/pelorix.txt");
  const std::string home = getenv("HOME");
  unsetenv("HOME");
  const std::string path = defaultSettingsPath();
  EXPECT_EQ(path.front(), '/') << path;
  EXPECT_NE(path.find("/.config/pelorix/pelorix.txt"), std::string::npos);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace pelorix
