// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>

#include "base/ascii.h"
#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "imageio/codec.h"

namespace pelorix {
namespace {}  // namespace

std::string_view fileExtension(std::string_view path) {
  const size_t component = path.find_last_of("/\\");
  const std::string_view last =
      component == std::string_view::npos ? path : path.substr(component + 1);
  const size_t dot = last.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : last.substr(dot);
}

std::span<const ImageCodec* const> imageCodecs() {
  static const ImageCodec* const codecs[] = {&bmpCodec(), &jpegCodec(), &gifCodec(),
                                             &pngCodec(), &webpCodec(), &tiffCodec()};
  return codecs;
}

const ImageCodec* codecForExtension(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  if (extension.empty()) return nullptr;
  for (const ImageCodec* codec : imageCodecs()) {
    for (std::string_view known : codec->extensions()) {
      if (equalFolded(extension, known)) return codec;
    }
  }
  return nullptr;
}

const ImageCodec* codecForContent(std::span<const uint8_t> bytes) {
  for (const ImageCodec* codec : imageCodecs()) {
    if (codec->recognises(bytes)) return codec;
  }
  return nullptr;
}

bool probeImageSize(const std::string& path, int& width, int& height) {
  for (const uint64_t length : {uint64_t{1} << 20, uint64_t{1} << 31}) {
    const std::optional<std::string> head = readFilePrefix(path, length, nullptr);
    if (!head) return false;
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(head->data()),
                                         head->size());
    const ImageCodec* codec = codecForContent(bytes);
    if (!codec) return false;
    if (codec->probe(bytes, width, height)) return width > 0 && height > 0;
    if (head->size() < length) return false;  // the whole file did not tell
  }
  return false;
}

ImageError tooLarge(int64_t width, int64_t height) {
  const ImageLimits limits = imageLimits();
  return ImageError(
      E_FAIL, formatC("image too large (%lld x %lld; at most %d per side and %llu "
                      "pixels)",
                      static_cast<long long>(width), static_cast<long long>(height), limits.maxSide,
                      static_cast<unsigned long long>(limits.maxPixels)));
}

ImageError outOfMemory() {
  return ImageError(E_OUTOFMEMORY, "not enough memory for the picture");
}

void setGreyColorTable(DibImage& image, int count) {
  RgbQuad table[256];
  for (int i = 0; i < count; ++i) {
    const auto level = static_cast<uint8_t>(count == 1 ? 0 : i * 255 / (count - 1));
    table[i] = {level, level, level, 0};
  }
  image.setColorTable(0, count, table);
}

}  // namespace pelorix
