// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialog_rules.h"

#include <climits>
#include <cmath>
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

const char* const kLayerNumberRule = N_("0以外で他と違うレイヤー番号を指定して下さい。");

const NumberField kFieldScale{N_("倍率"), 0.0, 1000.0};
const NumberField kFieldRotation{N_("回転角"), -1e6, 1e6};
const NumberField kFieldDuration{N_("時間（秒）"), 0.0, 86400.0};
const NumberField kFieldOpacity{N_("透明度"), 0.0, 1.0};
const NumberField kFieldWidth{N_("出力サイズ幅"), 1, 65535, true};
const NumberField kFieldHeight{N_("出力サイズ高さ"), 1, 65535, true};
const NumberField kFieldFps{N_("フレームレート（FPS)"), 1, 1000, false, true};
const NumberField kFieldAudioOffset{N_("音声の開始（秒）"), -86400.0, 86400.0};
const NumberField kFieldAudioVolume{N_("音量"), 0.0, 100.0};

static std::string rangeMessage(const NumberField& field) {
  return formatC(field.whole ? _("「%s」には %s から %s までの整数を入れてください。")
                             : _("「%s」には %s から %s までの数を入れてください。"),
                 _(field.label), formatC("%.10g", field.low).c_str(),
                 formatC("%.10g", field.high).c_str());
}

std::optional<double> readNumberField(const std::string& text, const NumberField& field,
                                      std::string& problem) {
  const size_t begin = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  const std::string number = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
  // strtod in the C locale, with nothing left over: "abc", "1.5x" and "" are no numbers.
  double value = 0.0;
  const bool read = field.fraction ? parseRate(number, value) : parseNumber(number, value);
  problem = read ? numberFieldProblem(value, field) : rangeMessage(field);
  if (problem.empty()) return value;
  return std::nullopt;
}

std::string numberFieldProblem(double value, const NumberField& field) {
  if (value >= field.low && value <= field.high && (!field.whole || value == std::floor(value)))
    return {};
  return rangeMessage(field);
}

std::string rateText(float fps) {
  return formatC("%.7g", static_cast<double>(fps));
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
