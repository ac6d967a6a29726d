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

// Each format's reader of one part ("" or why it cannot be read) and its join of the parts, in
// order, as one file of `frames` frames with `comment` into `out` ("" or why not). The format
// table (formats.cpp) names them in its rows.
std::string readGifPart(AnimationPart& part);
std::string readWebpPart(AnimationPart& part);
std::string readApngPart(AnimationPart& part);
std::string joinGifParts(const std::vector<AnimationPart>& parts, const std::string& comment,
                         int frames, std::vector<uint8_t>& out);
std::string joinWebpParts(const std::vector<AnimationPart>& parts, const std::string& comment,
                          int frames, std::vector<uint8_t>& out);
std::string joinApngParts(const std::vector<AnimationPart>& parts, const std::string& comment,
                          int frames, std::vector<uint8_t>& out);

}  // namespace pelorix
