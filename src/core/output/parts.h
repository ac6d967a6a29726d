// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of one render made on many machines (`render --frames A-B -o part.mkv`) and how they
// are put together into one file without encoding a frame again.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "output/part_tag.h"

namespace pelorix {

struct RunPlan;

PartTag partTagOf(const RunPlan& plan);

// Joins `parts` (in any order) into `output`, whose extension names a video container of the
// parts' kind. "" when the output is complete; otherwise why not (naming the part), with
// nothing left under the output's name. `log` gets what the join did.
// A part that is the output itself, or no regular file (a pipe would never end), is refused by
// name. When `*stop` becomes true (a signal) the join gives up and leaves nothing.
std::string joinParts(const std::vector<std::string>& parts, const std::string& output,
                      std::vector<std::string>& log, const std::atomic<bool>* stop = nullptr);

}  // namespace pelorix
