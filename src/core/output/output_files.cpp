// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/output_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "imageio/codec.h"
#include "output/formats.h"

namespace pelorix {

std::string saveFailedMessage(const ImageError& error) {
  return formatC("Save image failed:\n%x - %s", static_cast<unsigned>(error.code()),
                 error.errorMessage().c_str());
}

std::string frameFileName(const std::string& folder, const std::string& baseName, int index,
                          const std::string& format) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  path += baseName;
  path += formatC("%04d", index);
  if (format.empty() || format.front() != '.') path += '.';
  path += format;
  return path;
}

namespace {

// Walks a pattern: calls `text` with literal pieces and `number` with the width and zero flag of
// its conversions; false at anything else.
template <typename Text, typename Number>
bool walkPattern(std::string_view pattern, Text text, Number number) {
  size_t at = 0;
  while (at < pattern.size()) {
    const size_t percent = pattern.find('%', at);
    text(pattern.substr(at, percent == std::string_view::npos ? percent : percent - at));
    if (percent == std::string_view::npos) break;
    size_t i = percent + 1;
    if (i < pattern.size() && pattern[i] == '%') {
      text("%");
      at = i + 1;
      continue;
    }
    const bool zero = i < pattern.size() && pattern[i] == '0';
    if (zero) ++i;
    int width = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9' && width <= 10)
      width = width * 10 + (pattern[i++] - '0');
    if (i >= pattern.size() || pattern[i] != 'd' || width > 10) return false;
    number(width, zero);
    at = i + 1;
  }
  return true;
}

}  // namespace

std::string namePatternProblem(std::string_view pattern) {
  int numbers = 0;
  if (!walkPattern(
          pattern, [](std::string_view) {}, [&numbers](int, bool) { ++numbers; })) {
    return _("a name pattern takes %d, %4d or %04d (widths up to 10) and %% for a percent sign");
  }
  if (numbers != 1) return _("a name pattern needs exactly one %d (or %04d) for the frame number");
  if (pattern.find('/') != std::string_view::npos && pattern.find('%') > pattern.rfind('/')) {
    return {};
  }
  if (pattern.find('/') != std::string_view::npos) {
    return _("the frame number of a name pattern belongs in the file name, not a folder");
  }
  return {};
}

std::string expandNamePattern(std::string_view pattern, int index) {
  std::string name;
  walkPattern(
      pattern, [&name](std::string_view piece) { name += piece; },
      [&name, index](int width, bool zero) {
        name += zero ? formatC("%0*d", width, index) : formatC("%*d", width, index);
      });
  return name;
}

std::string totalTimeLine(float totalTime, float fps) {
  return formatC(_("トータルタイム　%.2f　画面数　%.0f"), static_cast<double>(totalTime),
                 static_cast<double>(fps * totalTime));
}

bool makeFolders(const std::string& folder, FileError* error) {
  if (folder.empty()) return true;
  std::error_code made;
  std::filesystem::create_directories(folder, made);
  if (made) {
    if (error) {
      *error = {made.value(), formatC(_("cannot create the folder %s: %s"), folder.c_str(),
                                      made.message().c_str())};
    }
    return false;
  }
  if (!std::filesystem::is_directory(folder, made)) {
    if (error) {
      *error = {ENOTDIR, formatC(_("cannot create the folder %s: a file of that name exists"),
                                 folder.c_str())};
    }
    return false;
  }
  return true;
}

ScreenSaveResult saveFrameToFile(const std::string& path, const DibImage& image, bool refuseGif,
                                 int debugLevel, LogSink& log, const ImageEncodeOptions& options) {
  ScreenSaveResult result;
  if (gifFrameRefused(path, refuseGif)) {
    log.appendLog(_(kGifRefused));
    result.message = _(kGifRefused);
    return result;
  }
  const std::string folder = folderOf(path);
  for (int attempt = 0; attempt < 2 && !folder.empty(); ++attempt) {
    if (debugLevel > 2) log.appendLog(folder);
    if (::mkdir(folder.c_str(), 0777) == 0 || errno != ENOENT) break;
    // The parent is missing: make it, then try the folder once more.
    const std::string parent = folderOf(folder.substr(0, folder.size() - 1));
    if (parent.empty()) break;
    ::mkdir(parent.c_str(), 0777);
    log.appendLog(parent);
  }
  log.appendLog(path);
  const ImageError saved = image.save(path, options);
  if (saved.failed()) {
    result.message = saveFailedMessage(saved);
    log.appendLog(result.message);
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace pelorix
