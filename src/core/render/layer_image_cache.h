// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "base/log_sink.h"
#include "imageio/dib_image.h"
#include "model/project.h"
#include "render/picture_store.h"

namespace pelorix {

// Where an image name of a source is found: an absolute path as it is; a relative name beside
// the project file first, then in the current folder; a Windows-style path (drive letter,
// backslashes) that is found nowhere by its base name beside the project file. When nothing
// exists the first place looked at is returned, so the load reports it.
std::string resolveImagePath(const std::string& file, const std::string& projectFolder);

// The last decoded picture of each layer slot, in the compositor's 32-bit form, kept until the
// layer shows another file. A slot is valid for a source when the source's file resolves to the
// path the slot was loaded from; nothing else refreshes it (a file replaced on disk keeps
// showing the old picture until the layer shows another file). Pictures come from a store,
// shared with other caches (the workers of a conversion) or the cache's own.
class LayerImageCache {
 public:
  LayerImageCache() = default;
  // Decoded pictures are taken from `store`, shared with other caches; null: a store of its own.
  void setStore(PictureStore* store) { store_ = store ? store : &ownStore_; }

  // Makes sure slot `layer` holds the picture of `file` (source `sourceIndex` of that layer),
  // with its transparency when `keepAlpha`, decoding it when needed; for a moving picture the
  // frame of its own clock, `clock` seconds since the source began. Failures go to `log` and
  // empty the slot.
  bool ensure(int layer, int sourceIndex, const std::string& file, const std::string& projectFolder,
              LogSink& log, bool keepAlpha = false, double clock = 0.0);
  // The rate of numbered series, which have no timing of their own: the project's.
  void setSeriesRate(double fps) { seriesRate_ = fps; }
  // Whether the slot shows an earlier frame than its clock asks for, because a frame of its
  // animation could not be decoded.
  bool degraded(int layer) const { return slots_[static_cast<size_t>(layer)].degraded; }

  // Decodes the picture ensure() will ask for next in slot `layer`, unless another user of the
  // store is decoding it now: workers that start together then decode different pictures
  // instead of waiting for one another. Logs nothing; ensure() takes the result and reports it.
  void prefetch(int layer, const std::string& file, const std::string& projectFolder,
                bool keepAlpha);

  // The picture of a slot: 32 bits per pixel, straight alpha.
  const DibImage& image(int layer) const;
  // The decoded picture itself, whose identity tells one picture from another (null when empty).
  const std::shared_ptr<const CachedPicture>& picture(int layer) const {
    return slots_[static_cast<size_t>(layer)].picture;
  }
  // Whether the slot shows a moving picture: it may change at every frame.
  bool moving(int layer) const { return slots_[static_cast<size_t>(layer)].moving != nullptr; }
  // Whether the slot's picture has pixels that are not opaque (only when kept).
  bool hasAlpha(int layer) const;
  // The source file name the slot was loaded for; empty when the slot is empty.
  const std::string& name(int layer) const { return slots_[static_cast<size_t>(layer)].name; }
  // How many files this cache decoded (its store's count when it has its own).
  long decodeCount() const { return store_->decodeCount(); }
  void clear();

 private:
  struct Fetched {
    std::string name, folder, path;
    bool keepAlpha = false;
    PictureStore::Result result;
    bool matches(const std::string& n, const std::string& f, bool alpha) const {
      return name == n && folder == f && keepAlpha == alpha;
    }
  };
  struct Slot {
    std::shared_ptr<const CachedPicture> picture;
    std::optional<Fetched> fetched;  // decoded ahead by prefetch()
    // The same name from the same project is the same file: no need to look on disk again.
    bool holds(const std::string& n, const std::string& f, bool alpha) const {
      return picture && name == n && folder == f && keepAlpha == alpha;
    }
    std::string name;
    std::string folder;  // the project folder the name was resolved against
    std::string path;
    bool keepAlpha = false;
    std::shared_ptr<const MovingPicture> moving;  // null for a still picture
    int64_t frame = 0;
    bool degraded = false;
  };
  bool ensureFrame(Slot& slot, int layer, int sourceIndex, const std::string& file, double clock,
                   LogSink& log);
  std::array<Slot, kMaxLayers> slots_;
  PictureStore ownStore_;
  PictureStore* store_ = &ownStore_;
  double seriesRate_ = 30.0;
};

}  // namespace pelorix
