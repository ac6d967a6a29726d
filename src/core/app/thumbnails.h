// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelorix {

struct Project;

// A small picture of a source for the timeline's blocks: RGBA rows, straight alpha.
struct Thumbnail {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
  bool empty() const { return rgba.empty(); }
};

// Source `sourceIndex` of layer `layerIndex` as its block shows it halfway through (a moving
// picture's frame of that moment), `height` pixels high, with the layer's key colour
// see-through when the layer keys. Empty when the file cannot be read.
Thumbnail sourceThumbnail(const Project& project, int layerIndex, int sourceIndex,
                          const std::string& projectFolder, int height);

}  // namespace pelorix
