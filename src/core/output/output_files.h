// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "base/atomic_file.h"
#include "base/i18n.h"
#include "base/log_sink.h"
#include "imageio/dib_image.h"
#include "imageio/image_error.h"

namespace pelorix {

// The message of refused GIF output (while the GIFGIF setting is on), to be translated with _().
inline constexpr const char* kGifRefused = N_("GIF保存は現在サポート外です。");

// "Save image failed:\n%x - %s" for a failed operation.
std::string saveFailedMessage(const ImageError& error);

// The name of frame `index`: folder, a separator unless the folder is empty or ends in one,
// base name, the index with at least four digits, a dot unless the format starts with one, and
// the format.
std::string frameFileName(const std::string& folder, const std::string& baseName, int index,
                          const std::string& format);

// A name pattern of numbered files ("shot%04d.png", as ffmpeg's image2 names them): exactly one
// %d, %Nd or %0Nd (N up to 10), "%%" for a percent sign. Empty when it is one, else why not.
std::string namePatternProblem(std::string_view pattern);
// The name of frame `index` by a valid pattern.
std::string expandNamePattern(std::string_view pattern, int index);

// "トータルタイム　%.2f　画面数　%.0f"
std::string totalTimeLine(float totalTime, float fps);

// Creates a folder with every missing level; false with `error` naming the folder and the cause.
bool makeFolders(const std::string& folder, FileError* error);

struct ScreenSaveResult {
  bool written = false;
  // The text for a message box when the save was refused or failed; empty on success.
  std::string message;
};

// Writes one frame to `path`, the type chosen by the extension: refuses GIF while `refuseGif`
// is set, creates at most two missing folder levels (logging the parent it made, and the folder
// when debugLevel is above 2), logs the full path, and reports a failed save.
ScreenSaveResult saveFrameToFile(const std::string& path, const DibImage& image, bool refuseGif,
                                 int debugLevel, LogSink& log,
                                 const ImageEncodeOptions& options = {});

}  // namespace pelorix
