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

namespace pelorix {

bool conversionRefusesGif(const std::string& outputFormat, bool refuseGif) {
  return refuseGif && (outputFormat == "gif" || outputFormat == "GIF");
}

bool screenSaveRefusesGif(const std::string& path, bool refuseGif) {
  const std::string_view extension = fileExtension(path);
  return refuseGif && (extension == ".gif" || extension == ".GIF");
}

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
                                 int debugLevel, LogSink& log, const EncodeOptions& options) {
  ScreenSaveResult result;
  if (screenSaveRefusesGif(path, refuseGif)) {
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
