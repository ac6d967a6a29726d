// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "model/project.h"

namespace pelorix {

// Layer indices in the order the layer tree lists them: by layer number, compared as numbers;
// layers with equal numbers keep their slot order.
std::vector<int> treeOrder(const Project& project);

// The visible layers in tree order (drawn first to last, back to front) and the animation
// length, the largest totalDuration among them.
struct DrawList {
  std::vector<int> layers;
  float totalTime = 0.0f;
};

DrawList buildDrawList(const Project& project);

}  // namespace pelorix
