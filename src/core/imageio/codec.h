// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imageio/dib_image.h"
#include "imageio/image_error.h"

namespace pelorix {

// One image file format: recognises its files by content, decodes them into a DibImage of the
// depth class the format gives (palette pictures indexed, plain RGB 24 bits, alpha 32 bits with
// hasAlpha, deep or CMYK pictures 32-bit RGB), and encodes any DibImage.
// Decoders never trust a header: they check the image limits before allocating and return an
// error for truncated or corrupt data, leaving `out` untouched.
class ImageCodec {
 public:
  virtual ~ImageCodec() = default;
  virtual const char* name() const = 0;
  // What file dialogs call the files, marked for the catalogue (translate with _()).
  virtual const char* label() const = 0;
  // The file name extensions of the format, without the dot, the usual one first.
  virtual std::span<const std::string_view> extensions() const = 0;
  virtual bool recognises(std::span<const uint8_t> head) const = 0;
  virtual ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const = 0;
  // The picture's size from the start of its file, without decoding; false when the start
  // does not tell.
  virtual bool probe(std::span<const uint8_t> head, int& width, int& height) const = 0;
  virtual ImageError encode(const DibImage& image, const ImageEncodeOptions& options,
                            std::vector<uint8_t>& out) const = 0;
};

// The text from the last dot of the last path component, dot included; empty without one.
std::string_view fileExtension(std::string_view path);

// Every codec, in the order file dialogs list them (files are recognised by content that no two
// formats share).
std::span<const ImageCodec* const> imageCodecs();
// The codec for an extension ("png" or ".PNG"; letters A-Z folded), or null.
const ImageCodec* codecForExtension(std::string_view extension);
// The codec whose files start like `bytes`, or null.
const ImageCodec* codecForContent(std::span<const uint8_t> bytes);

// The size of the picture in a file, read from its first bytes (the whole file for a TIFF whose
// directory lies further on); false when the file cannot be read or the size not told.
bool probeImageSize(const std::string& path, int& width, int& height);

// The codecs, for the registry.
const ImageCodec& bmpCodec();
const ImageCodec& pngCodec();
const ImageCodec& jpegCodec();
const ImageCodec& gifCodec();
const ImageCodec& webpCodec();
const ImageCodec& tiffCodec();

// Shared helpers of the codecs.
ImageError tooLarge(int64_t width, int64_t height);
ImageError outOfMemory();
// A grey ramp of `count` entries (2 gives black and white, 256 every level).
void setGreyColorTable(DibImage& image, int count);

}  // namespace pelorix
