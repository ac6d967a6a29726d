// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture_store.h"

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

// Frames a moving picture decodes beyond the one asked for, for the workers that come next.
constexpr int64_t kFramesAhead = 2;
// What one moving picture keeps at most: this many frames, or more of them while they fit in
// kSourceBytes (a short animation of small frames loops without decoding again).
constexpr uint64_t kFramesOfLargeSource = 8;
constexpr uint64_t kSourceBytes = uint64_t{16} << 20;

uint64_t bytesOf(const CachedPicture& picture) {
  return static_cast<uint64_t>(std::abs(picture.image.pitch())) *
         static_cast<uint64_t>(picture.image.height());
}

void dropAlpha(DibImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    uint8_t* row = image.row(y);
    for (int x = 0; x < image.width(); ++x)
      row[4 * x + 3] = 255;
  }
}

bool anyTransparent(const DibImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* row = image.row(y);
    for (int x = 0; x < image.width(); ++x) {
      if (row[4 * x + 3] != 255) return true;
    }
  }
  return false;
}

}  // namespace

// A moving picture's decoder and what its frames did.
struct PictureStore::Moving {
  std::mutex mutex;  // the decoder, one worker at a time
  std::unique_ptr<FrameSource> source;
  std::shared_ptr<const MovingPicture> info;
  int64_t lastGood = -1;  // the last frame decoded
  int64_t failedAt = -1;  // the first frame that could not be
  bool reported = false;
  ImageError error;  // why the file is no picture at all
};

ImageError convertPicture(DibImage decoded, bool keepAlpha, CachedPicture& out) {
  out.fileDepth = decoded.bitsPerPixel();
  out.converted = decoded.bitsPerPixel() != 24;
  // A picture that has no alpha channel, or a transparent palette entry, has no transparency.
  const bool mayHaveAlpha =
      !decoded.padded24() && (decoded.bitsPerPixel() != 24 || decoded.transparentColor() >= 0);
  if (decoded.bitsPerPixel() == 32 && decoded.compression() == BI_RGB && !decoded.premultiplied() &&
      (decoded.hasAlpha() || decoded.padded24())) {
    out.image = std::move(decoded);  // already the compositor's form
  } else if (!convertTo32(decoded, out.image, true)) {
    return ImageError(E_OUTOFMEMORY, "not enough memory for the picture");
  }
  // Transparency counts when some pixel is not opaque; without keepAlpha it is dropped.
  out.fileAlpha = mayHaveAlpha && anyTransparent(out.image);
  out.alpha = keepAlpha && out.fileAlpha;
  if (out.fileAlpha && !keepAlpha) dropAlpha(out.image);
  return {};
}

ImageError decodePicture(const std::string& path, bool keepAlpha, CachedPicture& out) {
  DibImage decoded;
  ImageError loaded = decoded.load(path);
  if (loaded.failed()) return loaded;
  return convertPicture(std::move(decoded), keepAlpha, out);
}

PictureStore::PictureStore(bool reportOnce) : reportOnce_(reportOnce) {}
PictureStore::~PictureStore() = default;

PictureStore::Result PictureStore::get(const std::string& path, bool keepAlpha, bool wait) {
  const std::pair<std::string, bool> key(path, keepAlpha);
  std::unique_lock lock(mutex_);
  for (;;) {
    Entry& entry = entries_[key];
    if (auto picture = entry.picture.lock()) return Result::of(std::move(picture));
    if (entry.pending) {
      if (!wait) {
        Result busy;
        busy.elsewhere = true;
        return busy;
      }
      const std::shared_ptr<Pending> pending = entry.pending;
      decoded_.wait(lock, [&pending] { return pending->done; });
      if (pending->error.failed()) return Result::failure(pending->error);
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
    if (error.failed()) return Result::failure(error, report);
    return Result::of(std::move(picture), report);
  }
}

std::shared_ptr<const MovingPicture> PictureStore::moving(const std::string& path,
                                                          double seriesRate, ImageError* error,
                                                          std::string* note) {
  // An entry's lock is never taken while the store's is held (decoding takes them the other
  // way round): a new entry is locked before it is offered (`opening`, declared after `fresh`,
  // lets go of it first).
  std::shared_ptr<Moving> entry;
  std::shared_ptr<Moving> fresh;
  std::unique_lock<std::mutex> opening;
  for (bool offered = false; !entry;) {
    if (offered && !fresh) {
      fresh = std::make_shared<Moving>();
      opening = std::unique_lock(fresh->mutex);
    }
    std::lock_guard lock(mutex_);
    auto known = moving_.find(path);
    if (known != moving_.end() && !known->second) return nullptr;  // a still picture
    if (known != moving_.end()) {
      entry = known->second;
      if (opening.owns_lock()) opening.unlock();
    } else if (fresh) {
      // Looked at by this call; the others wait on its lock until it is done.
      entry = fresh;
      moving_[path] = entry;
    }
    offered = true;
  }
  if (!opening.owns_lock()) {
    std::lock_guard looked(entry->mutex);
    if (error) *error = entry->error;
    return entry->info;
  }
  entry->source = openFrameSource(path, seriesRate, entry->error);
  if (error) *error = entry->error;
  if (!entry->source) {
    // A still picture, or a file that is none (its load says so again). Those waiting see no
    // source and no error, which says the same; the store's lock is never taken while an
    // entry's is held.
    if (!entry->error.failed()) {
      opening.unlock();
      std::lock_guard lock(mutex_);
      moving_[path] = nullptr;
    }
    return nullptr;
  }
  auto info = std::make_shared<MovingPicture>();
  info->timing = entry->source->timing();
  info->kind = entry->source->kind();
  info->width = entry->source->width();
  info->height = entry->source->height();
  entry->info = info;
  if (note) {
    *note = formatC(_("%s: %s、%lld 画面、%.2f 秒"), path.c_str(), _(info->kind.c_str()),
                    static_cast<long long>(info->timing.frames), info->timing.duration);
  }
  return info;
}

std::shared_ptr<const CachedPicture> PictureStore::keptFrame(const FrameKey& key) {
  const auto found = frameIndex_.find(key);
  if (found == frameIndex_.end()) return nullptr;
  frames_.splice(frames_.begin(), frames_, found->second);  // most recently used
  return found->second->second;
}

void PictureStore::keepFrame(const FrameKey& key, std::shared_ptr<const CachedPicture> picture) {
  if (frameIndex_.count(key) != 0) return;
  const uint64_t bytes = bytesOf(*picture);
  frameBytes_ += bytes;
  frames_.emplace_front(key, std::move(picture));
  frameIndex_[key] = frames_.begin();
  // The least recently used go first; the one just made stays. A source of large frames (a
  // video) keeps no more than it needs to run ahead of the workers: at most kFramesOfLargeSource
  // frames, or kSourceBytes.
  const uint64_t mine =
      std::max<uint64_t>(kFramesOfLargeSource, kSourceBytes / std::max<uint64_t>(bytes, 1));
  uint64_t kept = 0;
  for (auto it = frames_.begin(); it != frames_.end();) {
    if (std::get<0>(it->first) == std::get<0>(key) && ++kept > mine) {
      frameBytes_ -= bytesOf(*it->second);
      frameIndex_.erase(it->first);
      it = frames_.erase(it);
    } else {
      ++it;
    }
  }
  while (frameBytes_ > frameBudget_ && frames_.size() > 1) {
    frameBytes_ -= bytesOf(*frames_.back().second);
    frameIndex_.erase(frames_.back().first);
    frames_.pop_back();
  }
}

PictureStore::Result PictureStore::frame(const std::string& path, bool keepAlpha, int64_t frame) {
  std::shared_ptr<Moving> source;
  {
    std::lock_guard lock(mutex_);
    if (auto kept = keptFrame({path, keepAlpha, frame})) {
      Result result = Result::of(std::move(kept));
      result.shown = frame;
      return result;
    }
    const auto found = moving_.find(path);
    if (found == moving_.end() || !found->second || !found->second->source)
      return Result::failure(ImageError(E_FAIL, path + ": not a moving picture"));
    source = found->second;
  }
  std::lock_guard decoding(source->mutex);
  return decodeFrame(*source, path, keepAlpha, frame);
}

std::shared_ptr<CachedPicture> PictureStore::newFrame() {
  // When the last holder lets it go, its picture goes back to the pool (while the pool lives).
  return std::shared_ptr<CachedPicture>(
      new CachedPicture, [pool = std::weak_ptr<FramePool>(pool_)](CachedPicture* picture) {
        if (auto spares = pool.lock(); spares && !picture->image.empty()) {
          std::lock_guard lock(spares->mutex);
          if (spares->spare.size() < 4) spares->spare.push_back(std::move(picture->image));
        }
        delete picture;
      });
}

DibImage PictureStore::spareFrame() {
  std::lock_guard lock(pool_->mutex);
  if (pool_->spare.empty()) return {};
  DibImage spare = std::move(pool_->spare.back());
  pool_->spare.pop_back();
  return spare;
}

PictureStore::Result PictureStore::decodeFrame(Moving& source, const std::string& path,
                                               bool keepAlpha, int64_t frame) {
  // After a frame that could not be decoded, the last good one stands for the rest.
  const bool beyond = source.failedAt >= 0 && frame >= source.failedAt;
  const int64_t wanted = beyond ? source.lastGood : frame;
  Result result;
  result.shown = wanted;
  result.degraded = beyond;
  const int64_t frames = source.info->timing.frames;
  for (int64_t k = wanted; k >= 0 && k <= wanted + kFramesAhead && k < frames; ++k) {
    const FrameKey key{path, keepAlpha, k};
    {
      std::lock_guard lock(mutex_);
      if (auto kept = keptFrame(key)) {
        if (k == wanted) result.picture = std::move(kept);
        continue;
      }
    }
    if (beyond && k > wanted) break;
    DibImage decoded = spareFrame();
    ImageError error = source.source->decode(k, decoded);
    auto picture = newFrame();
    if (!error.failed()) error = convertPicture(std::move(decoded), keepAlpha, *picture);
    if (error.failed()) {
      if (k > wanted) break;  // reading ahead: the frame asked for is there
      source.failedAt = source.failedAt < 0 ? k : std::min(source.failedAt, k);
      if (!source.reported) {
        source.reported = true;
        result.firstReport =
            formatC(_("%s: 画面 %lld を読めません (%s)。その前の画面を表示します。"), path.c_str(),
                    static_cast<long long>(k), error.errorMessage().c_str());
      }
      if (source.lastGood < 0 || source.lastGood == k) {
        result.error = error;
        return result;
      }
      Result good = decodeFrame(source, path, keepAlpha, source.lastGood);
      good.degraded = true;
      good.firstReport = result.firstReport;
      return good;
    }
    source.lastGood = std::max(source.lastGood, k);
    std::lock_guard lock(mutex_);
    if (k == wanted) {
      result.picture = picture;
      result.decodedHere = true;
    }
    keepFrame(key, std::move(picture));
  }
  return result;
}

void PictureStore::setFrameBudget(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  frameBudget_ = bytes;
}

uint64_t PictureStore::keptFrameBytes() const {
  std::lock_guard lock(mutex_);
  return frameBytes_;
}

long PictureStore::decodeCount() const {
  std::lock_guard lock(mutex_);
  return decodes_;
}

}  // namespace pelorix
