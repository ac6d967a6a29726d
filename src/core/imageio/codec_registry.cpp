// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstring>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "imageio/codec.h"

namespace pelorix {
namespace {

struct ExtensionEntry {
  const char* extension;
  const ImageCodec& (*codec)();
};

// Which encoder an extension selects; the first match wins.
constexpr ExtensionEntry kExtensions[] = {
    {".bmp", bmpCodec},   {".dib", bmpCodec},   {".jpg", jpegCodec},  {".jpeg", jpegCodec},
    {".jpe", jpegCodec},  {".jfif", jpegCodec}, {".png", pngCodec},   {".gif", gifCodec},
    {".webp", webpCodec}, {".tif", tiffCodec},  {".tiff", tiffCodec},
};

char foldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string_view fileExtension(std::string_view path) {
  const size_t component = path.find_last_of("/\\");
  const std::string_view last =
      component == std::string_view::npos ? path : path.substr(component + 1);
  const size_t dot = last.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : last.substr(dot);
}

const ImageCodec* codecForExtension(std::string_view extension) {
  std::string withDot(extension);
  if (withDot.empty()) return nullptr;
  if (withDot.front() != '.') withDot.insert(withDot.begin(), '.');
  for (const ExtensionEntry& entry : kExtensions) {
    if (equalFolded(withDot, entry.extension)) return &entry.codec();
  }
  return nullptr;
}

const ImageCodec* codecForContent(std::span<const uint8_t> bytes) {
  for (const ImageCodec* codec :
       {&bmpCodec(), &pngCodec(), &jpegCodec(), &gifCodec(), &webpCodec(), &tiffCodec()}) {
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
