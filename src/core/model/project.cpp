// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/project.h"
#include "base/i18n.h"

#include <utility>

namespace pelorix {

Layer freshLayer() {
  return Layer{};
}

void Project::resetProject() {
  for (Layer& layer : layers)
    layer = freshLayer();
  layerCount = 0;
  // Built and moved in: assigning the literals directly trips a false -Wrestrict warning of
  // GCC 12 at -O3 inside std::string.
  name = std::string(_("新規プロジェクト"));
  saveFileName = std::string("new");
  fps = 30.0f;
  outputWidth = 320;
  outputHeight = 240;
  saveFolder = std::string(".");
  outputFormat = std::string("jpg");
  options = 0;
  fileEncoding = TextEncoding::Utf8;
  cp932Originals = {};
  extensions.clear();
  extensionTail.clear();
}

std::string Project::setting(std::string_view key, std::string_view fallback) const {
  for (const auto& [setting, value] : extensions) {
    if (setting == key) return value;
  }
  return std::string(fallback);
}

void Project::setSetting(std::string_view key, const std::string& value) {
  for (auto it = extensions.begin(); it != extensions.end(); ++it) {
    if (it->first != key) continue;
    if (value.empty()) {
      extensions.erase(it);
    } else {
      it->second = value;
    }
    return;
  }
  if (!value.empty()) extensions.emplace_back(std::string(key), value);
}

int Project::addLayer() {
  if (layerCount >= kMaxLayers) return -1;
  layers[static_cast<size_t>(layerCount)] = freshLayer();
  return layerCount++;
}

void Project::removeLayerAt(int index) {
  if (layerCount == 0 || index < 0 || index >= layerCount) return;
  --layerCount;
  for (int j = index; j < layerCount; ++j) {
    layers[static_cast<size_t>(j)] = layers[static_cast<size_t>(j) + 1];
  }
  // The slot that fell out of use keeps stale fields; only its sources are released.
  layers[static_cast<size_t>(layerCount)].sources.clear();
}

int Project::findLayerByNumber(int number) const {
  for (int i = 0; i < layerCount; ++i) {
    if (layers[static_cast<size_t>(i)].number == number) return i;
  }
  return -1;
}

int Project::addSource(int layerIndex, const Source& source) {
  Layer& layer = layers[static_cast<size_t>(layerIndex)];
  layer.sources.push_back(source);
  layer.totalDuration += source.duration;
  return static_cast<int>(layer.sources.size()) - 1;
}

int Project::addSource(int layerIndex, const Source& source, int position) {
  Layer& layer = layers[static_cast<size_t>(layerIndex)];
  layer.sources.insert(layer.sources.begin() + position, source);
  layer.totalDuration += source.duration;
  return position;
}

void Project::removeSourceAt(int layerIndex, int sourceIndex) {
  Layer& layer = layers[static_cast<size_t>(layerIndex)];
  layer.totalDuration -= layer.sources[static_cast<size_t>(sourceIndex)].duration;
  layer.sources.erase(layer.sources.begin() + sourceIndex);
}

void Project::replaceSourceAt(int layerIndex, int sourceIndex, const Source& source) {
  Layer& layer = layers[static_cast<size_t>(layerIndex)];
  Source& old = layer.sources[static_cast<size_t>(sourceIndex)];
  layer.totalDuration += source.duration - old.duration;
  old = source;
}

void Project::moveSource(int layerIndex, int from, int to) {
  auto& sources = layers[static_cast<size_t>(layerIndex)].sources;
  Source moved = std::move(sources[static_cast<size_t>(from)]);
  sources.erase(sources.begin() + from);
  sources.insert(sources.begin() + to, std::move(moved));
}

}  // namespace pelorix
