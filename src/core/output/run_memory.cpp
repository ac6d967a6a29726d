// SPDX-License-Identifier: GPL-3.0-or-later
// What a run needs of memory: the pictures it decodes (each once, by its header's size), the
// frames of moving pictures, and per worker its canvases; and the refusal when that is too much.
#include <algorithm>
#include <map>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/system_memory.h"
#include "imageio/frame_source.h"
#include "output/run_plan.h"
#include "render/compositor.h"
#include "render/layer_image_cache.h"
#include "render/picture_levels.h"
#include "render/picture_store.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

constexpr double kMiB = 1048576.0;

// The decoded size of each picture, read from the files' headers once.
class PictureSizes {
 public:
  // With `levels`, a still picture counts with its smaller copies.
  PictureSizes(std::string folder, bool levels) : folder_(std::move(folder)), levels_(levels) {}
  // Bytes of the picture a source shows, and its resolved path.
  uint64_t bytes(const Source& source, std::string* path = nullptr) {
    const std::string resolved = resolveImagePath(source.file, folder_);
    if (path) *path = resolved;
    auto known = sizes_.find(resolved);
    if (known == sizes_.end()) {
      int width = 0, height = 0;
      uint64_t size = 0;
      if (probeFrameSize(resolved, width, height)) {
        size = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
        if (levels_ && !mayMove(resolved)) size += pictureLevelBytes(width, height);
      }
      known = sizes_.emplace(resolved, size).first;
    }
    return known->second;
  }

 private:
  std::string folder_;
  bool levels_ = false;
  std::map<std::string, uint64_t> sizes_;
};

// A frame's canvas: the frame's size, or the size it is shown at.
uint64_t frameBytes(const Project& project) {
  return static_cast<uint64_t>(std::max(0, Compositor::canvasWidth(project))) *
         static_cast<uint64_t>(std::max(0, Compositor::canvasHeight(project))) * 4;
}

}  // namespace

MemoryNeed estimateMemory(const Project& project, const std::vector<int>& layers,
                          const std::string& projectFolder, bool keepFrames) {
  // Two bounds, the smaller counts: every picture once (layers share pictures), or each layer's
  // largest twice (a layer holds one picture, and may hold the next while the last is drawn).
  PictureSizes sizes(projectFolder, project.motion.pictureLevels);
  std::map<std::string, uint64_t> distinct;
  uint64_t perLayer = 0;
  for (int index : layers) {
    uint64_t largest = 0;
    for (const Source& source : project.layers[static_cast<size_t>(index)].sources) {
      std::string path;
      const uint64_t bytes = sizes.bytes(source, &path);
      distinct[path] = bytes;
      largest = std::max(largest, bytes);
    }
    perLayer += 2 * largest;
  }
  uint64_t once = 0;
  uint64_t movingBytes = 0;   // what the store holds for the moving pictures
  uint64_t movingFrames = 0;  // a frame of each, held by a worker while it draws
  bool anyMoving = false;
  for (const auto& [path, bytes] : distinct) {
    once += bytes;
    if (!mayMove(path)) continue;
    anyMoving = true;
    movingBytes += movingPictureBytes(bytes);
    movingFrames += bytes;
  }
  MemoryNeed need;
  // A video's frame size is not known from its header: the store's budget stands for it.
  if (anyMoving) movingBytes = std::max(movingBytes, PictureStore::kDefaultFrameBudget);
  need.pictures = std::min(once, perLayer) + movingBytes;
  // The frame, the one before it, the canvas kept after the layers that stay the same, the
  // prepared frame, and the one handed to the preview; and the frames of the moving pictures.
  need.perWorker = frameBytes(project) * (keepFrames ? 6 : 5) + movingFrames + (8u << 20);
  return need;
}

uint64_t frameMemoryNeed(const Project& project, const std::vector<int>& layers, float t,
                         const std::string& projectFolder) {
  PictureSizes sizes(projectFolder, project.motion.pictureLevels);
  std::map<std::string, uint64_t> shown;
  for (int index : layers) {
    const CurrentSource current = currentSourceAt(project, index, t);
    if (!current.found()) continue;
    std::string path;
    const Source& source =
        project.layers[static_cast<size_t>(index)].sources[static_cast<size_t>(current.index)];
    const uint64_t bytes = sizes.bytes(source, &path);
    shown[path] = bytes;
  }
  uint64_t need = 2 * frameBytes(project) + (8u << 20);
  for (const auto& [path, bytes] : shown)
    need += bytes;
  return need;
}

std::string memoryProblem(uint64_t needed, uint64_t available) {
  if (available == 0) available = availableMemory();
  if (available == 0 || needed <= available) return {};
  return formatC(_("この変換には約 %.0f MB のメモリが必要ですが、使えるのは %.0f MB です。"),
                 static_cast<double>(needed) / kMiB, static_cast<double>(available) / kMiB);
}

}  // namespace pelorix
