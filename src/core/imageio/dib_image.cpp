// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageio/dib_image.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/atomic_file.h"
#include "imageio/codec.h"

namespace pelorix {
namespace {

// Bytes allocated beyond the last row, so vector code may read a few bytes past a pixel.
constexpr size_t kSlack = 64;

// Image files beyond this size are not read at all.
constexpr int64_t kMaxFileBytes = int64_t{1} << 31;

std::atomic<int> gMaxSide{65535};
std::atomic<uint64_t> gMaxPixels{uint64_t{1} << 28};

bool validDepth(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      return true;
    default:
      return false;
  }
}

}  // namespace

ImageLimits imageLimits() {
  return {gMaxSide.load(), gMaxPixels.load()};
}

void setImageLimits(const ImageLimits& limits) {
  gMaxSide = limits.maxSide;
  gMaxPixels = limits.maxPixels;
}

bool withinImageLimits(int64_t width, int64_t height) {
  const ImageLimits limits = imageLimits();
  return width > 0 && height > 0 && width <= limits.maxSide && height <= limits.maxSide &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= limits.maxPixels;
}

void DibImage::FreeDeleter::operator()(uint8_t* p) const {
  std::free(p);
}

DibImage::DibImage(DibImage&& other) noexcept {
  *this = std::move(other);
}

DibImage& DibImage::operator=(DibImage&& other) noexcept {
  if (this != &other) {
    storage_ = std::move(other.storage_);
    bits_ = other.bits_;
    width_ = other.width_;
    height_ = other.height_;
    pitch_ = other.pitch_;
    bitsPerPixel_ = other.bitsPerPixel_;
    compression_ = other.compression_;
    hasAlpha_ = other.hasAlpha_;
    premultiplied_ = other.premultiplied_;
    padded24_ = other.padded24_;
    transparentIndex_ = other.transparentIndex_;
    stamp_ = other.stamp_;
    masks_ = other.masks_;
    colorTable_ = other.colorTable_;
    other.reset();
  }
  return *this;
}

void DibImage::reset() {
  storage_.reset();
  bits_ = nullptr;
  width_ = height_ = pitch_ = bitsPerPixel_ = 0;
  compression_ = BI_RGB;
  hasAlpha_ = false;
  premultiplied_ = padded24_ = false;
  transparentIndex_ = -1;
  stamp_ = 0;
  masks_ = {};
  colorTable_ = {};
}

int dibPitch(int width, int bitsPerPixel) {
  return static_cast<int>((static_cast<int64_t>(width) * bitsPerPixel + 31) / 32 * 4);
}

bool DibImage::create(int width, int height, int bitsPerPixel, int compression,
                      const uint32_t* masks, int flags) {
  const bool topDown = height < 0;
  const int64_t rows64 = topDown ? -static_cast<int64_t>(height) : height;
  if (!validDepth(bitsPerPixel) || !withinImageLimits(width, rows64)) return false;
  const int rows = static_cast<int>(rows64);
  if (compression != BI_RGB && compression != BI_BITFIELDS) return false;
  if (compression == BI_BITFIELDS && (bitsPerPixel != 16 && bitsPerPixel != 32)) return false;
  const int absPitch = dibPitch(width, bitsPerPixel);
  const size_t bytes = static_cast<size_t>(absPitch) * static_cast<size_t>(rows) + kSlack;
  // calloc hands out zero pages lazily, so a large all-black picture costs little up front.
  auto* memory = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!memory) return false;
  reset();
  storage_.reset(memory);
  width_ = width;
  height_ = rows;
  bitsPerPixel_ = bitsPerPixel;
  compression_ = compression;
  if (compression == BI_BITFIELDS && masks) masks_ = {masks[0], masks[1], masks[2]};
  if (topDown) {
    bits_ = memory;
    pitch_ = absPitch;
  } else {
    bits_ = memory + static_cast<size_t>(absPitch) * static_cast<size_t>(rows - 1);
    pitch_ = -absPitch;
  }
  hasAlpha_ = bitsPerPixel == 32 && (flags & kCreateAlpha) != 0;
  premultiplied_ = hasAlpha_ && (flags & kCreatePremultiplied) != 0;
  padded24_ =
      bitsPerPixel == 32 && !hasAlpha_ && compression == BI_RGB && (flags & kCreatePadded24) != 0;
  return true;
}

bool DibImage::destroy() {
  if (empty()) return false;
  reset();
  return true;
}

int DibImage::setColorTable(int first, int count, const RgbQuad* entries) {
  if (first < 0 || first >= 256 || count <= 0 || !entries) return 0;
  const int n = std::min(count, 256 - first);
  for (int i = 0; i < n; ++i)
    colorTable_[static_cast<size_t>(first + i)] = entries[i];
  return n;
}

DibImage DibImage::clone() const {
  DibImage copy;
  if (empty()) return copy;
  const uint32_t* maskPtr = compression_ == BI_BITFIELDS ? masks_.data() : nullptr;
  const int flags = (hasAlpha_ ? kCreateAlpha : 0) | (premultiplied_ ? kCreatePremultiplied : 0) |
                    (padded24_ ? kCreatePadded24 : 0);
  if (!copy.create(width_, bottomUp() ? height_ : -height_, bitsPerPixel_, compression_, maskPtr,
                   flags)) {
    return copy;
  }
  const size_t rowBytes = static_cast<size_t>(dibPitch(width_, bitsPerPixel_));
  for (int y = 0; y < height_; ++y)
    std::memcpy(copy.row(y), row(y), rowBytes);
  copy.colorTable_ = colorTable_;
  copy.transparentIndex_ = transparentIndex_;
  return copy;
}

ImageError DibImage::load(const std::string& file) {
  FileError error;
  const std::optional<std::string> data = readFileBytes(file, &error, kMaxFileBytes);
  if (!data) {
    if (error.error == EFBIG) return ImageError(E_FAIL, file + ": image file too large");
    return ImageError(E_FAIL, error.message);
  }
  ImageError result =
      loadFromMemory({reinterpret_cast<const uint8_t*>(data->data()), data->size()});
  if (result.failed()) return ImageError(result.code(), file + ": " + result.errorMessage());
  return result;
}

ImageError DibImage::loadFromMemory(std::span<const uint8_t> bytes) {
  const ImageCodec* codec = codecForContent(bytes);
  if (!codec) return ImageError(E_FAIL, "not a picture format that can be read");
  DibImage decoded;
  ImageError result = codec->decode(bytes, decoded);
  if (result.failed()) return result;
  *this = std::move(decoded);
  return result;
}

ImageError DibImage::encode(std::string_view extension, const ImageEncodeOptions& options,
                            std::vector<uint8_t>& out) const {
  if (empty()) return ImageError(E_FAIL, "there is no picture to save");
  const ImageCodec* codec = codecForExtension(extension);
  if (!codec) {
    return ImageError(E_FAIL, extension.empty()
                                  ? std::string("no image type: the file name has no extension")
                                  : "no encoder for the extension " + std::string(extension));
  }
  return codec->encode(*this, options, out);
}

ImageError DibImage::save(const std::string& file, const ImageEncodeOptions& options) const {
  std::vector<uint8_t> bytes;
  ImageError result = encode(fileExtension(file), options, bytes);
  if (result.failed()) return result;
  return writeEncoded(file, bytes);
}

ImageError DibImage::save(const std::string& file, const ImageCodec& codec,
                          const ImageEncodeOptions& options) const {
  if (empty()) return ImageError(E_FAIL, "there is no picture to save");
  std::vector<uint8_t> bytes;
  ImageError result = codec.encode(*this, options, bytes);
  if (result.failed()) return result;
  return writeEncoded(file, bytes);
}

ImageError DibImage::writeEncoded(const std::string& file, std::span<const uint8_t> bytes) {
  ImageError result;
  FileError error;
  if (!writeFileAtomically(file, bytes, Durability::Flush, &error)) {
    return ImageError(E_FAIL, error.message);
  }
  return result;
}

}  // namespace pelorix
