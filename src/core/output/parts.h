// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of one render made on many machines (`render --frames A-B -o part.mkv`) and how they
// are put together into one file without encoding a frame again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix {

struct RunPlan;

// Where a file sits in its render, written into the file (a video's comment): its first frame,
// how many it holds, how many the whole animation has, and the settings every part of one
// render shares (the project's bytes, the encoder's and the sound's settings).
struct PartTag {
  int first = 0;
  int frames = 0;
  int total = 0;
  std::string settings;
};
PartTag partTagOf(const RunPlan& plan);
// Animated WebP keeps it in a chunk of this name; APNG in an iTXt chunk with this keyword.
inline constexpr char kWebpPartChunk[] = "PXPT";
inline constexpr char kPngPartKeyword[] = "Pelorix part";
// Appends the iTXt chunk of a PNG that holds `comment`.
void appendPartText(std::vector<uint8_t>& png, const std::string& comment);
std::string partComment(const PartTag& tag);
std::optional<PartTag> parsePartComment(std::string_view comment);

// Joins `parts` (in any order) into `output`, whose extension names a video container of the
// parts' kind. "" when the output is complete; otherwise why not (naming the part), with
// nothing left under the output's name. `log` gets what the join did.
std::string joinParts(const std::vector<std::string>& parts, const std::string& output,
                      std::vector<std::string>& log);

}  // namespace pelorix
