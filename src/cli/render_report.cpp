#include "render_report.h"

#include <iostream>

#include "base/c_locale.h"
#include "output/output_files.h"

namespace pelorix::cli {

bool isFailureLine(const std::string& line) {
  for (const char* start : {"Load image failed", "Save image failed", "DIB変換に失敗"}) {
    if (line.rfind(start, 0) == 0) return true;
  }
  return line == kGifRefused;
}

bool reportMissingPictures(int frames, const std::vector<ConversionSummary::Missing>& missing) {
  if (frames == 0 || missing.empty()) return false;
  std::string list;
  for (const ConversionSummary::Missing& picture : missing) {
    if (!list.empty()) list += ", ";
    list += formatC("%s (layer %d, %d %s)", picture.file.c_str(), picture.layerNumber,
                    picture.frames, picture.frames == 1 ? "frame" : "frames");
  }
  std::cerr << formatC("pelorix-cli: %d %s written with missing pictures: %s\n", frames,
                       frames == 1 ? "frame was" : "frames were", list.c_str());
  return true;
}

}  // namespace pelorix::cli
