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

std::string terminalText(const std::string& line) {
  const std::string save = "Save image failed:\n";
  const std::string load = "Load image failed:";
  if (line.rfind(save, 0) == 0) {
    // "Save image failed:\n80004005 - cause"
    const size_t dash = line.find(" - ", save.size());
    return "pelorix-cli: " + line.substr(dash == std::string::npos ? save.size() : dash + 3);
  }
  if (line.rfind(load, 0) == 0) {
    // "Load image failed:layer:source:file : 80004005-cause"
    const size_t fileAt = line.find(':', line.find(':', load.size()) + 1) + 1;
    const size_t split = line.rfind(" : ");
    const size_t dash = split == std::string::npos ? std::string::npos : line.find('-', split);
    if (fileAt > 0 && split != std::string::npos && dash != std::string::npos && fileAt <= split) {
      return formatC(_("pelorix-cli: picture %s: %s"), line.substr(fileAt, split - fileAt).c_str(),
                     line.substr(dash + 1).c_str());
    }
  }
  if (line == _(kGifRefused)) {
    return line + "\n" + _("pelorix-cli: GIF files are written with --allow-gif");
  }
  return line;
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
