// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture_store.h"

#include "imageio/pixel_convert.h"

namespace pelorix {

ImageError decodePicture(const std::string& path, bool keepAlpha, CachedPicture& out) {
  DibImage decoded;
  ImageError loaded = decoded.load(path);
  if (loaded.failed()) return loaded;
  out.fileDepth = decoded.bitsPerPixel();
  out.converted = decoded.bitsPerPixel() != 24;
  if (!convertTo32(decoded, out.image, true)) {
    return ImageError(E_OUTOFMEMORY, "not enough memory for the picture");
  }
  // Transparency counts when some pixel is not opaque; without keepAlpha it is dropped. A
  // 24-bit file has none.
  out.fileAlpha = false;
  const bool mayHaveAlpha = decoded.bitsPerPixel() != 24 || decoded.transparentColor() >= 0;
  for (int y = 0; mayHaveAlpha && y < out.image.height() && !out.fileAlpha; ++y) {
    const uint8_t* row = out.image.row(y);
    for (int x = 0; x < out.image.width(); ++x) {
      if (row[4 * x + 3] != 255) {
        out.fileAlpha = true;
        break;
      }
    }
  }
  out.alpha = keepAlpha && out.fileAlpha;
  if (out.fileAlpha && !keepAlpha) {
    for (int y = 0; y < out.image.height(); ++y) {
      uint8_t* row = out.image.row(y);
      for (int x = 0; x < out.image.width(); ++x)
        row[4 * x + 3] = 255;
    }
  }
  return {};
}

PictureStore::Result PictureStore::get(const std::string& path, bool keepAlpha, bool wait) {
  const std::pair<std::string, bool> key(path, keepAlpha);
  std::unique_lock lock(mutex_);
  for (;;) {
    Entry& entry = entries_[key];
    if (auto picture = entry.picture.lock()) return {std::move(picture), {}, false};
    if (entry.pending) {
      if (!wait) return {nullptr, {}, false, true};
      const std::shared_ptr<Pending> pending = entry.pending;
      decoded_.wait(lock, [&pending] { return pending->done; });
      if (pending->error.failed()) return {nullptr, pending->error, false};
      continue;  // the picture is there now (unless it was dropped again at once)
    }
    auto pending = std::make_shared<Pending>();
    entry.pending = pending;
    ++decodes_;
    lock.unlock();
    auto picture = std::make_shared<CachedPicture>();
    const ImageError error = decodePicture(path, keepAlpha, *picture);
    lock.lock();
    Entry& after = entries_[key];
    after.pending.reset();
    pending->done = true;
    pending->error = error;
    if (!error.failed()) after.picture = picture;
    decoded_.notify_all();
    const bool report = !reportOnce_ || reported_.insert(key).second;
    if (error.failed()) return {nullptr, error, report};
    return {std::move(picture), {}, report};
  }
}

long PictureStore::decodeCount() const {
  std::lock_guard lock(mutex_);
  return decodes_;
}

}  // namespace pelorix
