// SPDX-License-Identifier: GPL-3.0-or-later
// What each file of a render says of its place in the whole, so that files made on many
// machines can be put together (output/parts.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix {

// Where a file sits in its render, written into the file (a video's comment): its first frame,
// how many it holds, how many the whole animation has, and the settings every part of one
// render shares (the project's bytes, the encoder's and the sound's settings).
struct PartTag {
  int first = 0;
  int frames = 0;
  int total = 0;
  std::string settings;
};
// Animated WebP keeps it in a chunk of this name; APNG in an iTXt chunk with this keyword.
inline constexpr char kWebpPartChunk[] = "PXPT";
inline constexpr char kPngPartKeyword[] = "Pelorix part";
// Appends the iTXt chunk of a PNG that holds `comment`.
void appendPartText(std::vector<uint8_t>& png, const std::string& comment);
std::string partComment(const PartTag& tag);
std::optional<PartTag> parsePartComment(std::string_view comment);

}  // namespace pelorix
