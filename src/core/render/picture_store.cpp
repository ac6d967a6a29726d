// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture_store.h"

#include <algorithm>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

// Frames a moving picture decodes beyond the one asked for, for the workers that come next.
constexpr int64_t kFramesAhead = 2;
// What one moving picture keeps: small frames as many as fit in kSourceBytes (a short animation
// loops without decoding again), large ones up to kFramesOfLargeSource within kLargeSourceBytes
// (a video runs ahead of the workers), and always the one just made. A frame larger than that
// is neither read ahead nor kept as a spare.
constexpr uint64_t kFramesOfLargeSource = 8;
constexpr uint64_t kSourceBytes = uint64_t{16} << 20;
constexpr uint64_t kLargeSourceBytes = uint64_t{64} << 20;
// Spare pictures kept for the next frames of the same size, in all.
constexpr size_t kSpareFrames = 4;
constexpr uint64_t kSpareBytes = uint64_t{64} << 20;

uint64_t framesKept(uint64_t bytes) {
  bytes = std::max<uint64_t>(bytes, 1);
  if (bytes * kFramesOfLargeSource <= kSourceBytes) return kSourceBytes / bytes;
  return std::clamp<uint64_t>(kLargeSourceBytes / bytes, 1, kFramesOfLargeSource);
}

bool readsAhead(uint64_t bytes) {
  return bytes * (1 + kFramesAhead) <= kLargeSourceBytes;
}

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
  bool reported = false;  // a frame that could not be decoded was reported
  ImageError error;       // why the file is no picture at all
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
  // The least recently used go first; the one just made stays.
  const uint64_t mine = framesKept(bytes);
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
          const uint64_t bytes = bytesOf(*picture);
          if (spares->spare.size() < kSpareFrames && spares->bytes + bytes <= kSpareBytes) {
            spares->bytes += bytes;
            spares->spare.push_back(std::move(picture->image));
          }
        }
        delete picture;
      });
}

DibImage PictureStore::spareFrame() {
  std::lock_guard lock(pool_->mutex);
  if (pool_->spare.empty()) return {};
  DibImage spare = std::move(pool_->spare.back());
  pool_->spare.pop_back();
  pool_->bytes -= static_cast<uint64_t>(std::abs(spare.pitch())) * spare.height();
  return spare;
}

std::shared_ptr<const CachedPicture> PictureStore::decodeOne(Moving& source, const FrameKey& key,
                                                             ImageError& error) {
  {
    std::lock_guard lock(mutex_);
    if (auto kept = keptFrame(key)) return kept;
  }
  DibImage decoded = spareFrame();
  error = source.source->decode(std::get<2>(key), decoded);
  auto picture = newFrame();
  if (!error.failed()) error = convertPicture(std::move(decoded), std::get<1>(key), *picture);
  if (error.failed()) return nullptr;
  std::lock_guard lock(mutex_);
  keepFrame(key, picture);
  return picture;
}

PictureStore::Result PictureStore::decodeFrame(Moving& source, const std::string& path,
                                               bool keepAlpha, int64_t frame) {
  // The frame asked for, or the good frame that stands in its place: what shows depends on the
  // file alone, so a part of a render shows what the whole render shows.
  Result result;
  ImageError failure;
  for (int64_t k = frame; k >= 0;) {
    ImageError error;
    std::shared_ptr<const CachedPicture> picture = decodeOne(source, {path, keepAlpha, k}, error);
    if (picture) {
      result.picture = std::move(picture);
      result.shown = k;
      result.degraded = k != frame;
      result.decodedHere = true;
      break;
    }
    if (!failure.failed()) {
      failure = error.failed() ? error : ImageError(E_FAIL, "the frame could not be decoded");
      if (!source.reported) {
        source.reported = true;
        result.firstReport =
            formatC(_("%s: 画面 %lld を読めません (%s)。その前の画面を表示します。"), path.c_str(),
                    static_cast<long long>(frame), failure.errorMessage().c_str());
      }
    }
    k = source.source->standIn(k);
  }
  if (!result.picture) {
    result.error = failure;
    return result;
  }
  // The next frames, for the workers that come next, while they are small enough to keep.
  const int64_t frames = source.info->timing.frames;
  if (!result.degraded && readsAhead(bytesOf(*result.picture))) {
    for (int64_t k = frame + 1; k <= frame + kFramesAhead && k < frames; ++k) {
      ImageError ignored;
      if (!decodeOne(source, {path, keepAlpha, k}, ignored)) break;
    }
  }
  return result;
}

uint64_t movingPictureBytes(uint64_t frameBytes) {
  // An animation's decoder draws each frame on the one before and keeps a copy for the frames
  // that go back to it: two pictures besides those it hands out.
  const uint64_t ahead = readsAhead(frameBytes) ? kFramesAhead : 0;
  return frameBytes * (2 + framesKept(frameBytes) + ahead);
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
