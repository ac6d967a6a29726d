// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "output/conversion_engine.h"

namespace pelorix::cli {

// Whether a log line of the core reports a failure (printed even with --quiet).
bool isFailureLine(const std::string& line);

// A log line of the core as the command line says it: failures in words ("pelorix-cli: cannot
// read ...: No such file or directory") instead of the log's codes, and the GIF refusal with the
// option that allows it. Other lines stay as they are.
std::string terminalText(const std::string& line);

// The closing line about missing pictures, on stderr: "N frames were written with missing
// pictures: logo.png (layer 2, N frames), ...". True when there were any.
bool reportMissingPictures(int frames, const std::vector<ConversionSummary::Missing>& missing);

}  // namespace pelorix::cli
