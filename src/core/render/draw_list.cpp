// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/draw_list.h"

#include <algorithm>
#include <numeric>

namespace pelorix {

std::vector<int> treeOrder(const Project& project) {
  std::vector<int> order(static_cast<size_t>(std::max(0, project.layerCount)));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&project](int a, int b) {
    return project.layers[static_cast<size_t>(a)].number <
           project.layers[static_cast<size_t>(b)].number;
  });
  return order;
}

DrawList buildDrawList(const Project& project) {
  DrawList list;
  for (int index : treeOrder(project)) {
    const Layer& layer = project.layers[static_cast<size_t>(index)];
    if (layer.visible == 0) continue;
    if (layer.totalDuration > list.totalTime) list.totalTime = layer.totalDuration;
    list.layers.push_back(index);
  }
  return list;
}

}  // namespace pelorix
