// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <locale.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pelorix::test {

// A fresh folder below the system temp folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelorix-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  // The folder with a trailing separator, as project folders are kept.
  std::string folder() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool fileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Switches the process to a locale whose decimal separator is a comma for the object's lifetime:
// an installed one, or one built with localedef into a temporary folder. active() is false when
// neither is possible.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() : previous_(setlocale(LC_ALL, nullptr)) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
      if (setlocale(LC_ALL, name)) {
        active_ = true;
        return;
      }
    }
    const std::string target = built_.file("de_DE.UTF-8");
    const std::string command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 && !std::filesystem::exists(target)) return;
    setenv("LOCPATH", built_.path().c_str(), 1);
    active_ = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  ~DecimalCommaLocale() {
    setlocale(LC_ALL, previous_.c_str());
    unsetenv("LOCPATH");
  }
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
  bool active() const { return active_; }

 private:
  std::string previous_;
  TempDir built_;
  bool active_ = false;
};

}  // namespace pelorix::test
