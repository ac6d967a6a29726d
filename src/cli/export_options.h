// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>

#include "output/format_options.h"

namespace CLI {
class App;
}

namespace pelorix {
struct ConversionSettings;
}

namespace pelorix::cli {

// What render takes beyond the frames and the place: the encoder's settings, another size or
// rate, the sound track.
struct ExportOptions {
  // The encoder settings as given, by the format table's rows (a switch as "1").
  std::map<FormatOption, std::string> given;
  std::map<FormatOption, bool> switches;
  std::string size;
  double scale = 0.0;
  std::string fps;
  std::string audio;
  double audioOffset = 0.0;
  double audioVolume = 1.0;
  bool noAudio = false;
  const CLI::App* command = nullptr;
};

void addExportOptions(CLI::App& command, ExportOptions& options);
// Puts the options into the settings; the usage error's text when a value is wrong.
std::string applyExportOptions(const ExportOptions& options, ConversionSettings& settings);

}  // namespace pelorix::cli
