// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnails.h"

#include <algorithm>
#include <cmath>

#include "imageio/dib_image.h"
#include "imageio/frame_source.h"
#include "imageio/pixel_convert.h"
#include "model/project.h"
#include "render/layer_image_cache.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

// The picture the block shows halfway through: a still, or the frame of a moving picture.
bool readShown(const Project& project, const Layer& layer, int sourceIndex, const std::string& path,
               DibImage& picture) {
  ImageError error;
  const std::unique_ptr<FrameSource> moving =
      openFrameSource(path, static_cast<double>(project.fps), error);
  if (!moving) return !error.failed() && !picture.load(path).failed();
  float start = 0.0f;
  for (int i = 0; i < sourceIndex; ++i)
    start += layer.sources[static_cast<size_t>(i)].duration;
  const float middle = start + layer.sources[static_cast<size_t>(sourceIndex)].duration / 2.0f;
  const int64_t frame = moving->timing().frameAt(sourceClock(layer, sourceIndex, middle));
  return !moving->decode(frame, picture).failed();
}

}  // namespace

Thumbnail sourceThumbnail(const Project& project, int layerIndex, int sourceIndex,
                          const std::string& projectFolder, int height) {
  Thumbnail thumb;
  if (layerIndex < 0 || layerIndex >= project.layerCount || height <= 0) return thumb;
  const Layer& layer = project.layers[static_cast<size_t>(layerIndex)];
  if (sourceIndex < 0 || sourceIndex >= static_cast<int>(layer.sources.size())) return thumb;
  DibImage picture;
  const std::string path =
      resolveImagePath(layer.sources[static_cast<size_t>(sourceIndex)].file, projectFolder);
  if (!readShown(project, layer, sourceIndex, path, picture) || picture.width() <= 0 ||
      picture.height() <= 0) {
    return thumb;
  }
  std::vector<uint8_t> rgba;
  readPixels(picture, PixelOrder::Rgba, rgba);
  const int w = picture.width();
  const int h = picture.height();
  if ((layer.effects & effectColorKey) != 0) {
    const KeyColor& key = layer.keyColor;
    for (size_t p = 0; p + 3 < rgba.size(); p += 4) {
      if (rgba[p] == key.red && rgba[p + 1] == key.green && rgba[p + 2] == key.blue)
        rgba[p + 3] = 0;
    }
  }
  // Nearest pixels: a thumbnail a row high needs no filter, and keyed pixels stay clear.
  thumb.height = std::min(height, h);
  thumb.width = std::max(1, static_cast<int>(std::lround(double(w) * thumb.height / h)));
  thumb.rgba.resize(size_t(thumb.width) * size_t(thumb.height) * 4);
  for (int y = 0; y < thumb.height; ++y) {
    const int sy = std::min(h - 1, static_cast<int>((y + 0.5) * h / thumb.height));
    for (int x = 0; x < thumb.width; ++x) {
      const int sx = std::min(w - 1, static_cast<int>((x + 0.5) * w / thumb.width));
      std::copy_n(&rgba[(size_t(sy) * size_t(w) + size_t(sx)) * 4], 4,
                  &thumb.rgba[(size_t(y) * size_t(thumb.width) + size_t(x)) * 4]);
    }
  }
  return thumb;
}

}  // namespace pelorix
