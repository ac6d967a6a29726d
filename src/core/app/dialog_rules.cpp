// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialog_rules.h"

#include <climits>
#include <cstdlib>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "model/project.h"
#include "output/formats.h"

namespace pelorix {
namespace {

size_t skipBlanks(const std::string& text, size_t i) {
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    ++i;
  return i;
}

// Digits of a decimal integer at `i` (with an optional sign when `sign` is set): the end, or
// npos when there are none.
size_t integerEnd(const std::string& text, size_t i, bool sign) {
  if (sign && i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  const size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9')
    ++i;
  return i == digits ? std::string::npos : i;
}

std::optional<int> toInt(const std::string& digits) {
  const long long value = std::strtoll(digits.c_str(), nullptr, 10);
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

std::optional<int> leadingInteger(const std::string& text) {
  const size_t start = skipBlanks(text, 0);
  const size_t end = integerEnd(text, start, true);
  if (end == std::string::npos) return std::nullopt;
  return toInt(text.substr(start, end - start));
}

std::optional<int> leadingByte(const std::string& text) {
  const size_t start = skipBlanks(text, 0);
  const size_t end = integerEnd(text, start, false);
  if (end == std::string::npos || end - start > 3) return std::nullopt;
  const int value = std::atoi(text.substr(start, end - start).c_str());
  if (value > 255) return std::nullopt;
  return value;
}

std::optional<int> wholeInteger(const std::string& text) {
  const size_t start = skipBlanks(text, 0);
  const size_t end = integerEnd(text, start, true);
  if (end == std::string::npos || skipBlanks(text, end) != text.size()) return std::nullopt;
  return toInt(text.substr(start, end - start));
}

float sourceNumber(const std::string& text) {
  return narrowToFloat(cAtof(text));
}

std::optional<std::string> outputFormatProblem(const std::string& format, int projectOptions) {
  if (formatOfProject(format, (projectOptions & projectAnimatedFile) != 0)) return std::nullopt;
  return formatC(_("出力形式「%s」には対応していません。使える形式: %s, %s"), format.c_str(),
                 formatNames(OutputKind::Series).c_str(), formatNames(OutputKind::OneFile).c_str());
}

std::string folderBrowserStart(const std::string& saveFolder, const std::string& projectFolder) {
  if (saveFolder.empty()) return projectFolder;
  if (saveFolder.front() == '/') return saveFolder;
  return joinPath(projectFolder, saveFolder);
}

std::string storedImagePath(const std::string& picked, const std::string& projectFolder) {
  if (projectFolder.empty()) return picked;
  const std::string folder = projectFolder.back() == '/' ? projectFolder : projectFolder + "/";
  if (picked.size() > folder.size() && picked.compare(0, folder.size(), folder) == 0) {
    return picked.substr(folder.size());
  }
  return picked;
}

}  // namespace pelorix
