// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/project.h"
#include "base/c_locale.h"
#include "base/i18n.h"

#include <utility>

namespace pelorix {

Layer freshLayer() {
  return Layer{};
}

void scaleComposition(Project& project, double factor) {
  if (factor == 1.0) return;
  project.motion.spatialScale *= factor;
  const auto f = static_cast<float>(factor);
  for (Layer& layer : project.layers) {
    for (Source& source : layer.sources) {
      source.x *= f;
      source.y *= f;
      source.scale *= f;
    }
  }
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
  motion = ProjectMotion{};
}

void Project::refreshMotion() {
  const double scale = motion.spatialScale;
  motion = parseMotion(extensions);
  motion.spatialScale = scale;
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
    if (isMotionKey(key)) refreshMotion();
    return;
  }
  if (!value.empty()) extensions.emplace_back(std::string(key), value);
  if (isMotionKey(key)) refreshMotion();
}

namespace {

// Whether following the parents from layer `index` comes back to it.
bool onCircle(const Project& project, int index) {
  int at = index;
  for (int step = 0; step <= kMaxLayers; ++step) {
    const LayerMotion* motion =
        project.motion.layer(project.layers[static_cast<size_t>(at)].number);
    if (!motion || motion->parent == 0) return false;
    at = project.findLayerByNumber(motion->parent);
    if (at < 0) return false;
    if (at == index) return true;
  }
  return false;  // a circle further up, which does not pass here
}

}  // namespace

int Project::parentIndex(int index) const {
  if (index < 0 || index >= layerCount || motion.layers.empty()) return -1;
  const LayerMotion* own = motion.layer(layers[static_cast<size_t>(index)].number);
  if (!own || own->parent == 0) return -1;
  const int parent = findLayerByNumber(own->parent);
  if (parent < 0 || parent == index || onCircle(*this, index)) return -1;
  return parent;
}

std::vector<std::string> Project::motionProblems() const {
  std::vector<std::string> problems = motion.problems;
  std::vector<int> circle;
  for (int i = 0; i < layerCount; ++i) {
    const int number = layers[static_cast<size_t>(i)].number;
    const LayerMotion* own = motion.layer(number);
    if (!own || own->parent == 0) continue;
    if (findLayerByNumber(own->parent) < 0) {
      problems.push_back(formatC(_("レイヤー %d の親 %d はありません (親なしとして扱います)。"),
                                 number, own->parent));
    } else if (own->parent == number || onCircle(*this, i)) {
      circle.push_back(number);
    }
  }
  if (!circle.empty()) {
    std::string numbers;
    for (int number : circle)
      numbers += (numbers.empty() ? "" : ", ") + std::to_string(number);
    problems.push_back(formatC(_("レイヤー %s の親が輪になっています (これらの親は使いません)。"),
                               numbers.c_str()));
  }
  return problems;
}

std::string Project::parentProblem(int layer, int parent) const {
  // Up from the parent: reaching the layer would make a circle.
  for (int at = parent, steps = 0; at != 0 && steps <= kMaxLayers; ++steps) {
    if (at == layer)
      return formatC(_("レイヤー %d の親を %d にすると親が輪になります。"), layer, parent);
    const LayerMotion* layerMotion = motion.layer(at);
    at = layerMotion ? layerMotion->parent : 0;
  }
  return {};
}

void Project::renumberLayerMotion(int from, int to) {
  if (from == to || motion.empty()) return;
  const std::string oldPrefix = formatC("layer%d.", from);
  const std::string newPrefix = formatC("layer%d.", to);
  for (auto& [key, value] : extensions) {
    if (key.rfind(oldPrefix, 0) == 0) key = newPrefix + key.substr(oldPrefix.size());
    if (isMotionKey(key) && key.size() > 7 && key.compare(key.size() - 7, 7, ".parent") == 0 &&
        value == std::to_string(from)) {
      value = std::to_string(to);
    }
  }
  refreshMotion();
}

void Project::removeLayerMotion(int number) {
  if (motion.empty()) return;
  const std::string prefix = formatC("layer%d.", number);
  std::erase_if(extensions, [&](const std::pair<std::string, std::string>& setting) {
    const std::string& key = setting.first;
    return key.rfind(prefix, 0) == 0 ||
           (isMotionKey(key) && key.size() > 7 && key.compare(key.size() - 7, 7, ".parent") == 0 &&
            setting.second == std::to_string(number));
  });
  refreshMotion();
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
