// SPDX-License-Identifier: GPL-3.0-or-later
// Moving pictures: their timing, which kind a file is, and numbered series.
#include "imageio/frame_source.h"

#include <dirent.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

// A PNG whose animation control chunk comes before its picture data is animated.
bool isAnimatedPng(std::string_view head) {
  for (size_t at = 8; at + 8 <= head.size();) {
    const uint32_t length = static_cast<uint32_t>(static_cast<uint8_t>(head[at])) << 24 |
                            static_cast<uint32_t>(static_cast<uint8_t>(head[at + 1])) << 16 |
                            static_cast<uint32_t>(static_cast<uint8_t>(head[at + 2])) << 8 |
                            static_cast<uint8_t>(head[at + 3]);
    const std::string_view type = head.substr(at + 4, 4);
    if (type == "acTL") return true;
    if (type == "IDAT") return false;
    at += 12 + static_cast<size_t>(length);
  }
  return false;
}

// A WebP with the extended header's animation flag.
bool isAnimatedWebp(std::string_view head) {
  return head.size() >= 21 && head.compare(12, 4, "VP8X") == 0 && (head[20] & 0x02) != 0;
}

// A numbered series: the files of a folder named prefix + N digits + suffix.
class SeriesFrames final : public FrameSource {
 public:
  const char* kind() const override { return N_("連番画像"); }

  // The files of the pattern in the order of their numbers, without reading any.
  std::vector<std::string> files(const std::string& pattern) {
    setPattern(pattern);
    scan();
    std::vector<std::string> all;
    for (const auto& [number, file] : numbers_)
      all.push_back(file);
    return all;
  }

  bool open(const std::string& pattern, double rate, ImageError& error) {
    setPattern(pattern);
    scan();
    if (!tooLarge_.empty()) {
      error = ImageError(E_FAIL, formatC(_("連番画像 %s の番号が大きすぎます"), tooLarge_.c_str()));
      return false;
    }
    if (numbers_.empty()) {
      error = ImageError(E_FAIL, formatC(_("連番画像 %s のファイルがありません"), pattern.c_str()));
      return false;
    }
    const int64_t span = numbers_.rbegin()->first - numbers_.begin()->first;
    const int64_t count = span < INT64_MAX ? span + 1 : span;
    timing_ = FrameTiming::uniform(count, rate > 0.0 ? rate : 30.0);
    DibImage firstPicture;
    if (ImageError read = decode(0, firstPicture); read.failed()) {
      error = read;
      return false;
    }
    width_ = firstPicture.width();
    height_ = firstPicture.height();
    return true;
  }

  ImageError decode(int64_t k, DibImage& out) override {
    // A number that is missing shows the last one present before it.
    auto at = numbers_.upper_bound(numbers_.begin()->first + k);
    --at;
    DibImage picture;
    if (ImageError loaded = picture.load(at->second); loaded.failed()) return loaded;
    out.destroy();
    if (!convertTo32(picture, out, true)) return outOfMemory();
    return {};
  }

 private:
  void setPattern(const std::string& pattern) {
    const size_t slash = pattern.find_last_of('/');
    folder_ = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    const std::string name = pattern.substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t first = name.find('#');
    size_t end = name.find_first_not_of('#', first);
    if (end == std::string::npos) end = name.size();
    prefix_ = name.substr(0, first);
    digits_ = end - first;
    suffix_ = name.substr(end);
    numbers_.clear();
  }

  void scan() {
    DIR* dir = ::opendir(folder_.empty() ? "." : folder_.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() != prefix_.size() + digits_ + suffix_.size() ||
          name.compare(0, prefix_.size(), prefix_) != 0 ||
          name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0) {
        continue;
      }
      const std::string number = name.substr(prefix_.size(), digits_);
      if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        continue;
      int64_t value = 0;
      const auto read = std::from_chars(number.data(), number.data() + number.size(), value);
      if (read.ec != std::errc()) {
        tooLarge_ = folder_ + name;  // beyond what a frame number can be
        continue;
      }
      numbers_[value] = folder_ + name;
    }
    ::closedir(dir);
  }

  std::string folder_, prefix_, suffix_;
  size_t digits_ = 0;
  std::map<int64_t, std::string> numbers_;  // the numbers present and their files
  std::string tooLarge_;                    // a file whose number does not fit
};

}  // namespace

int64_t FrameTiming::frameAt(double clock) const {
  if (frames <= 1 || !(duration > 0.0) || !(clock > 0.0)) return 0;
  const double looped = std::fmod(clock, duration);
  if (starts.empty()) {
    return std::clamp<int64_t>(static_cast<int64_t>(std::floor(looped * rate + 1e-9)), 0,
                               frames - 1);
  }
  const auto after = std::upper_bound(starts.begin(), starts.end(), looped);
  return std::max<int64_t>(0, after - starts.begin() - 1);
}

FrameTiming FrameTiming::uniform(int64_t frames, double rate) {
  FrameTiming timing;
  timing.frames = std::max<int64_t>(1, frames);
  timing.rate = rate;
  timing.duration = static_cast<double>(timing.frames) / rate;
  return timing;
}

FrameTiming FrameTiming::fromLengths(const std::vector<double>& lengths) {
  FrameTiming timing;
  timing.frames = static_cast<int64_t>(lengths.size());
  for (double length : lengths) {
    timing.starts.push_back(timing.duration);
    timing.duration += length > 0.0 ? length : 0.01;
  }
  return timing;
}

bool reuseOrCreate(DibImage& image, int width, int height, int flags) {
  const bool alpha = (flags & kCreateAlpha) != 0;
  if (!image.empty() && image.width() == width && image.height() == height &&
      image.bitsPerPixel() == 32 && !image.bottomUp() && image.hasAlpha() == alpha &&
      image.padded24() == ((flags & kCreatePadded24) != 0) && !image.premultiplied()) {
    return true;
  }
  image.destroy();
  return image.create(width, -height, 32, BI_RGB, nullptr, flags);
}

ImageError copyCanvas(const std::vector<uint32_t>& canvas, int width, int height, DibImage& out) {
  if (!reuseOrCreate(out, width, height, kCreateAlpha)) return outOfMemory();
  for (int y = 0; y < height; ++y) {
    std::memcpy(out.row(y), canvas.data() + static_cast<size_t>(y) * width,
                static_cast<size_t>(width) * 4);
  }
  return {};
}

bool isSeriesName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return path.find('#', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

namespace {

// An animation whose whole file is read into memory and decoded from there.
template <std::unique_ptr<FrameSource> (*decoder)(std::string, ImageError&)>
std::unique_ptr<FrameSource> openWhole(const std::string& path, double, ImageError& error) {
  FileError failure;
  std::optional<std::string> all = readFileBytes(path, &failure, uint64_t{1} << 31);
  if (!all) {
    error = ImageError(E_FAIL, failure.message);
    return nullptr;
  }
  return decoder(std::move(*all), error);
}

std::unique_ptr<FrameSource> openSeries(const std::string& path, double rate, ImageError& error) {
  auto series = std::make_unique<SeriesFrames>();
  if (!series->open(path, rate, error)) return nullptr;
  return series;
}

std::unique_ptr<FrameSource> openVideo(const std::string& path, double, ImageError& error) {
  std::unique_ptr<FrameSource> video = openVideoFrames(path, error);
  if (!video && error.failed()) {
    error = ImageError(error.code(), formatC(_("%s は画像ではありません (%s)"), path.c_str(),
                                             error.errorMessage().c_str()));
  }
  return video;
}

constexpr std::string_view kGif[] = {"gif"};
constexpr std::string_view kWebp[] = {"webp"};
constexpr std::string_view kApng[] = {"png", "apng"};
// The video files users usually have; any file the video module reads works.
constexpr std::string_view kVideos[] = {"mp4", "webm", "mov",  "mkv", "avi",
                                        "m4v", "mpg",  "mpeg", "ogv"};

const MovingSourceKind kKinds[] = {
    {N_("連番画像"),
     {},
     false,
     [](const std::string& path, const ImageCodec*, std::string_view) {
       return isSeriesName(path);
     },
     openSeries},
    {N_("アニメーション GIF"), kGif, true,
     [](const std::string&, const ImageCodec* codec, std::string_view) {
       return codec == &gifCodec();
     },
     openWhole<openGifFrames>},
    {N_("アニメーション WebP"), kWebp, true,
     [](const std::string&, const ImageCodec* codec, std::string_view head) {
       return codec == &webpCodec() && isAnimatedWebp(head);
     },
     openWhole<openWebpFrames>},
    {N_("アニメーション PNG (APNG)"), kApng, true,
     [](const std::string&, const ImageCodec* codec, std::string_view head) {
       return codec == &pngCodec() && isAnimatedPng(head);
     },
     openWhole<openApngFrames>},
    {N_("動画"), kVideos, true,
     [](const std::string&, const ImageCodec* codec, std::string_view) { return codec == nullptr; },
     openVideo},
};

// The first kind that `path` is; null for a still picture or an unreadable file.
const MovingSourceKind* kindOf(const std::string& path) {
  if (isSeriesName(path)) return &kKinds[0];
  const std::optional<std::string> head = readFilePrefix(path, 4096, nullptr);
  if (!head) return nullptr;
  const ImageCodec* codec =
      codecForContent({reinterpret_cast<const uint8_t*>(head->data()), head->size()});
  for (const MovingSourceKind& kind : kKinds) {
    if (kind.matches(path, codec, *head)) return &kind;
  }
  return nullptr;
}

}  // namespace

std::span<const MovingSourceKind> movingSourceKinds() {
  return kKinds;
}

bool mayMove(const std::string& path) {
  return kindOf(path) != nullptr;
}

bool probeFrameSize(const std::string& path, int& width, int& height) {
  if (!isSeriesName(path)) return probeImageSize(path, width, height);
  const std::vector<std::string> files = seriesFiles(path);
  return !files.empty() && probeImageSize(files.front(), width, height);
}

std::vector<std::string> seriesFiles(const std::string& pattern) {
  SeriesFrames series;
  return series.files(pattern);
}

std::unique_ptr<FrameSource> openFrameSource(const std::string& path, double seriesRate,
                                             ImageError& error) {
  error = {};
  const MovingSourceKind* kind = kindOf(path);
  return kind ? kind->open(path, seriesRate, error) : nullptr;  // none: a still picture
}

}  // namespace pelorix
