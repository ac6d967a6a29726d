// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/ascii.h"
#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/paths.h"
#include "model/project_file.h"

namespace pelorix {
namespace {

constexpr const char* kSection = "環境";
constexpr const char* kOwnSection = "Pelorix";
constexpr const char* kExportSection = "export";

std::string trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// The section name of a "[name]" line, if it is one.
std::optional<std::string> sectionOf(const std::string& line) {
  const std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  const size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return trim(t.substr(1, close - 1));
}

// The key of a "key=value" line, if it is one.
std::optional<std::string> keyOf(const std::string& line) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  return trim(line.substr(0, equals));
}

// The value of a "key=value" line: trimmed, one pair of surrounding quotes taken off.
std::string valueOf(const std::string& line) {
  std::string text = trim(line.substr(line.find('=') + 1));
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace

bool ProfileFile::load(const std::string& path) {
  lines_.clear();
  const std::optional<std::string> data = readFileBytes(path, nullptr);
  if (!data) return false;
  LineReader reader(*data);
  std::string line;
  while (reader.next(line))
    lines_.push_back(line);
  return true;
}

bool ProfileFile::save(const std::string& path, std::string* error) const {
  std::string text;
  for (const std::string& line : lines_)
    text += line + "\n";
  const std::string folder = folderOf(path);
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
  }
  FileError failure;
  const bool ok =
      writeFileAtomically(path, {reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                          Durability::Flush, &failure);
  if (!ok && error) *error = failure.message;
  return ok;
}

std::optional<std::string> ProfileFile::value(const std::string& section,
                                              const std::string& key) const {
  bool inSection = false;
  for (const std::string& line : lines_) {
    if (const auto name = sectionOf(line)) {
      inSection = equalFolded(*name, section);
      continue;
    }
    if (!inSection) continue;
    const auto lineKey = keyOf(line);
    if (lineKey && equalFolded(*lineKey, key)) return valueOf(line);
  }
  return std::nullopt;
}

void ProfileFile::erase(const std::string& section, const std::string& key) {
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (const auto name = sectionOf(lines_[i])) {
      inSection = equalFolded(*name, section);
    } else if (const auto lineKey = keyOf(lines_[i]);
               inSection && lineKey && equalFolded(*lineKey, key)) {
      lines_.erase(lines_.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
  }
}

std::vector<std::pair<std::string, std::string>> ProfileFile::entries(
    const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> found;
  bool inSection = false;
  for (const std::string& line : lines_) {
    if (const auto name = sectionOf(line)) {
      inSection = equalFolded(*name, section);
    } else if (const auto key = keyOf(line); inSection && key) {
      found.emplace_back(*key, valueOf(line));
    }
  }
  return found;
}

int ProfileFile::readInt(const std::string& section, const std::string& key,
                         int defaultValue) const {
  const auto text = value(section, key);
  return text ? cAtoi(*text) : defaultValue;
}

std::string ProfileFile::readString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) const {
  return value(section, key).value_or(defaultValue);
}

void ProfileFile::write(const std::string& section, const std::string& key,
                        const std::string& text) {
  const std::string line = key + "=" + text;
  int sectionEnd = -1;  // index after the last line of the section
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (const auto name = sectionOf(lines_[i])) {
      inSection = equalFolded(*name, section);
      if (inSection) sectionEnd = static_cast<int>(i) + 1;
      continue;
    }
    if (!inSection) continue;
    const auto lineKey = keyOf(lines_[i]);
    if (lineKey && equalFolded(*lineKey, key)) {
      lines_[i] = line;
      return;
    }
    if (!trim(lines_[i]).empty()) sectionEnd = static_cast<int>(i) + 1;
  }
  if (sectionEnd < 0) {
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
    return;
  }
  lines_.insert(lines_.begin() + sectionEnd, line);
}

std::optional<WindowPlacement> parsePlacement(const std::string& text) {
  WindowPlacement p;
  char end = 0;
  const int read =
      std::sscanf(text.c_str(), "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d%c", &p.flags, &p.showCmd, &p.minX,
                  &p.minY, &p.maxX, &p.maxY, &p.left, &p.top, &p.right, &p.bottom, &end);
  if (read < 10) return std::nullopt;
  return p;
}

std::string formatPlacement(const WindowPlacement& p) {
  return formatC("%u,%u,%d,%d,%d,%d,%d,%d,%d,%d", p.flags, p.showCmd, p.minX, p.minY, p.maxX,
                 p.maxY, p.left, p.top, p.right, p.bottom);
}

Settings readSettings(const ProfileFile& profile) {
  Settings s;
  s.debugLevel = profile.readInt(kSection, "debug", 0);
  s.projectFileName = profile.readString(kSection, "前のプロジェクト", "");
  s.projectFolder = profile.readString(kSection, "前のフォルダ", "");
  s.fitToScreen = profile.readInt(kSection, "画面フィット", 0);
  s.placement = parsePlacement(profile.readString(kSection, "ポジション", ""));
  s.refuseGif = profile.readInt(kSection, "GIFGIF", 1);
  s.previewPlacement = parsePlacement(profile.readString(kSection, "出力画面ポジション", ""));
  s.previewShown = profile.readInt(kSection, "出力画面表示", 0);
  s.language = profile.readString(kSection, "言語", "");
  for (int i = 1; i <= kRecentProjects; ++i) {
    const std::string path = profile.readString(kOwnSection, formatC("recent%d", i), "");
    if (!path.empty()) s.recentProjects.push_back(path);
  }
  s.onionFrames = std::clamp(profile.readInt(kOwnSection, "onionFrames", 2), 1, 3);
  s.timelineShown = profile.readInt(kOwnSection, "timelineShown", 1);
  s.exportChoices = profile.entries(kExportSection);
  return s;
}

void writeSettings(ProfileFile& profile, const Settings& s) {
  profile.write(kSection, "前のプロジェクト", s.projectFileName);
  profile.write(kSection, "前のフォルダ", s.projectFolder);
  profile.write(kSection, "画面フィット", formatC("%d", s.fitToScreen));
  if (s.placement) profile.write(kSection, "ポジション", formatPlacement(*s.placement));
  if (s.previewPlacement) {
    profile.write(kSection, "出力画面ポジション", formatPlacement(*s.previewPlacement));
    profile.write(kSection, "出力画面表示", formatC("%d", s.previewShown));
  }
  for (int i = 1; i <= kRecentProjects; ++i) {
    const size_t at = static_cast<size_t>(i - 1);
    if (at < s.recentProjects.size()) {
      profile.write(kOwnSection, formatC("recent%d", i), s.recentProjects[at]);
    } else {
      profile.erase(kOwnSection, formatC("recent%d", i));
    }
  }
  profile.write(kOwnSection, "onionFrames", formatC("%d", s.onionFrames));
  profile.write(kOwnSection, "timelineShown", formatC("%d", s.timelineShown));
  for (const auto& [project, choices] : s.exportChoices)
    profile.write(kExportSection, project, choices);
}

std::string defaultSettingsPath() {
  // XDG: an absolute XDG_CONFIG_HOME, else ~/.config; the home folder from HOME, else from the
  // user database (never the working folder).
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/pelorix/pelorix.txt";
  std::string home;
  if (const char* variable = std::getenv("HOME"); variable && *variable) {
    home = variable;
  } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
    home = user->pw_dir;
  }
  if (home.empty()) home = "/tmp";
  return home + "/.config/pelorix/pelorix.txt";
}

}  // namespace pelorix
