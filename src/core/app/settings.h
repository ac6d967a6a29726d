// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelorix {

// An INI text read and written with the rules of the private-profile functions: "[section]"
// and "key=value" lines, names compared without regard to ASCII letter case, values trimmed and
// stripped of one pair of surrounding quotes. Writing a key replaces its line in place or adds
// it at the end of its section (a missing section is added at the end); every other line of the
// file is kept as it was.
class ProfileFile {
 public:
  // False when the file cannot be read; the profile is then empty.
  bool load(const std::string& path);
  bool save(const std::string& path, std::string* error = nullptr) const;

  std::optional<std::string> value(const std::string& section, const std::string& key) const;
  // The integer rules of the profile functions: the leading decimal number (0 when there is
  // none); the default when the key is missing.
  int readInt(const std::string& section, const std::string& key, int defaultValue) const;
  std::string readString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  void write(const std::string& section, const std::string& key, const std::string& value);
  // Takes a key's line out, if it is there.
  void erase(const std::string& section, const std::string& key);
  // Every key and value of a section, in their order.
  std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;

 private:
  std::vector<std::string> lines_;
};

// The main window's place on screen, as the ten numbers of the "ポジション" key: flags, show
// command, minimised x and y, maximised x and y, normal rectangle left, top, right, bottom.
struct WindowPlacement {
  unsigned flags = 0;
  unsigned showCmd = 1;  // 1 normal, 3 maximised
  int minX = -1, minY = -1, maxX = -1, maxY = -1;
  int left = 0, top = 0, right = 0, bottom = 0;
  bool maximized() const { return showCmd == 3 || (flags & 2) != 0; }
};

// Only a text with all ten numbers gives a placement.
std::optional<WindowPlacement> parsePlacement(const std::string& text);
std::string formatPlacement(const WindowPlacement& placement);

// The values kept in the settings file, section "環境".
struct Settings {
  int debugLevel = 0;                               // "debug", only read
  std::string projectFileName;                      // "前のプロジェクト"
  std::string projectFolder;                        // "前のフォルダ"
  int fitToScreen = 0;                              // "画面フィット"
  std::optional<WindowPlacement> placement;         // "ポジション"
  int refuseGif = 1;                                // "GIFGIF", only read
  std::optional<WindowPlacement> previewPlacement;  // "出力画面ポジション"
  int previewShown = 0;                             // "出力画面表示"
  std::string language;  // "言語": "ja", "en", ... or empty for the environment's; only read
  // Section "Pelorix": what the desktop application adds.
  std::vector<std::string> recentProjects;  // "recent1" ... "recent8", newest first
  int onionFrames = 2;                      // "onionFrames": frames each side, 1 to 3
  int timelineShown = 1;                    // "timelineShown"
  // Section "export": the last export choices of each project, by its path.
  std::vector<std::pair<std::string, std::string>> exportChoices;
};

inline constexpr int kRecentProjects = 8;

Settings readSettings(const ProfileFile& profile);
// Writes the four written keys in their order; "ポジション" only when a placement is known.
void writeSettings(ProfileFile& profile, const Settings& settings);

// $XDG_CONFIG_HOME/pelorix/pelorix.txt, or ~/.config/pelorix/pelorix.txt.
std::string defaultSettingsPath();

}  // namespace pelorix
