// SPDX-License-Identifier: GPL-3.0-or-later
// Joining the parts of an animated GIF, WebP or PNG (output/parts.h does the checks).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix {

struct AnimationPart {
  std::string path;
  std::string bytes;    // the whole file
  std::string comment;  // where it sits in its render ("" when it does not say)
  int width = 0;
  int height = 0;
  int frames = 0;       // -1 when the format does not keep one frame for each of the render
  std::string streams;  // what one reader must share between the parts
};

// `format` is the format's name: "gif", "webp" or "apng". "" or why the part cannot be read.
std::string readAnimationPart(std::string_view format, AnimationPart& part);
// The parts, in order, as one file of `frames` frames with `comment`, into `out`; "" or why not.
std::string joinAnimationParts(std::string_view format, const std::vector<AnimationPart>& parts,
                               const std::string& comment, int frames, std::vector<uint8_t>& out);

}  // namespace pelorix
