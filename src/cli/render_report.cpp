// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_report.h"

#include <iostream>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "output/output_files.h"

namespace pelorix::cli {

bool isFailureLine(const std::string& line) {
  for (const char* start : {"Load image failed", "Save image failed"}) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return line == _(kGifRefused);
}

bool reportMissingPictures(int frames, const std::vector<ConversionSummary::Missing>& missing) {
  if (frames == 0 || missing.empty()) return false;
  std::string list;
  for (const ConversionSummary::Missing& picture : missing) {
    if (!list.empty()) list += ", ";
    list +=
        formatC(picture.frames == 1 ? _("%s (layer %d, %d frame)") : _("%s (layer %d, %d frames)"),
                picture.file.c_str(), picture.layerNumber, picture.frames);
  }
  std::cerr << formatC(frames == 1
                           ? _("pelorix-cli: %d frame was written with missing pictures: %s\n")
                           : _("pelorix-cli: %d frames were written with missing pictures: %s\n"),
                       frames, list.c_str());
  return true;
}

}  // namespace pelorix::cli
