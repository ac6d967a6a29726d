// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imageio/image_error.h"

namespace pelorix {

class ImageCodec;

// Absolute row size in bytes of a DibImage of this width and depth (rows are padded to 4 bytes).
int dibPitch(int width, int bitsPerPixel);

// Compression values of create(): plain RGB, or 16/32-bit pixels described by three masks.
inline constexpr int BI_RGB = 0;
inline constexpr int BI_BITFIELDS = 3;

// create() flags for 32-bit pictures.
// The pixels carry alpha (blue, green, red, alpha bytes).
inline constexpr int kCreateAlpha = 1;
// With kCreateAlpha: the colours are premultiplied by alpha (the compositor's transparent
// frames). Readers of the rows get straight alpha; files without alpha get the colours as they
// are, that is the picture over black.
inline constexpr int kCreatePremultiplied = 2;
// Without kCreateAlpha: a 24-bit picture kept in 32-bit pixels whose fourth byte is unused (the
// compositor's frames). Every file type stores it as 24 bits.
inline constexpr int kCreatePadded24 = 4;

// A colour table entry, in memory order blue, green, red, reserved.
struct RgbQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
  friend bool operator==(const RgbQuad&, const RgbQuad&) = default;
};

// What an image codec is told when it writes a picture; the defaults favour speed at a sound
// size. Formats that write more (videos, animations) extend it in output/encode_options.h.
struct ImageEncodeOptions {
  int quality = 90;  // JPEG and WebP, 1..100
  // PNG compression: 0 ISA-L deflate with the SUB filter (fastest); 1 the same with SUB or UP
  // chosen per row; 2-7 libdeflate at that level with SUB or UP per row (smaller, slower); 8
  // and 9 the same as 7.
  int pngLevel = 1;
};

// Largest picture any decoder or create() accepts; checked before allocating.
struct ImageLimits {
  int maxSide = 65535;
  uint64_t maxPixels = uint64_t{1} << 28;
};
ImageLimits imageLimits();
void setImageLimits(const ImageLimits& limits);  // fuzz targets lower them
bool withinImageLimits(int64_t width, int64_t height);

// The one bitmap record: a device-independent picture with 1, 4, 8, 16, 24 or 32 bits per
// pixel. Row r of the picture starts at bits() + r * pitch(); pitch() is negative for a
// bottom-up picture (created with a positive height), so walking by pitch always goes down.
// Rows are padded to 4 bytes. Pictures of 8 bits or fewer carry a 256-entry colour table.
// Moves, never copies by accident; clone() copies on purpose.
class DibImage {
 public:
  DibImage() = default;
  ~DibImage() = default;
  DibImage(DibImage&& other) noexcept;
  DibImage& operator=(DibImage&& other) noexcept;
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  // An all-zero picture. A negative height makes a top-down picture. Expects an empty record;
  // false (record left empty) when the values are invalid, too large, or memory is short.
  bool create(int width, int height, int bitsPerPixel, int compression = BI_RGB,
              const uint32_t* masks = nullptr, int flags = 0);
  // False when the record was already empty.
  bool destroy();
  // Decodes a file (the format is recognised by its content). On failure the record is left
  // as it was.
  ImageError load(const std::string& file);
  ImageError loadFromMemory(std::span<const uint8_t> bytes);
  // Writes the picture through the encoder chosen by the file name's extension, atomically.
  ImageError save(const std::string& file, const ImageEncodeOptions& options = {}) const;
  // The same with the encoder chosen by the caller.
  ImageError save(const std::string& file, const ImageCodec& codec,
                  const ImageEncodeOptions& options = {}) const;
  // Encodes into memory with the encoder for `extension` (".png", "jpg", ...).
  ImageError encode(std::string_view extension, const ImageEncodeOptions& options,
                    std::vector<uint8_t>& out) const;
  // Sets colour table entries; returns the number set.
  int setColorTable(int first, int count, const RgbQuad* entries);
  DibImage clone() const;

  bool empty() const { return storage_ == nullptr; }
  uint8_t* bits() { return bits_; }
  const uint8_t* bits() const { return bits_; }
  // A mark the maker of a picture may set to know it again when it comes back (a compositor
  // its own canvas); 0 for a new, emptied or cloned picture. It moves with the pixels.
  uint64_t stamp() const { return stamp_; }
  void setStamp(uint64_t stamp) { stamp_ = stamp; }
  uint8_t* row(int y) { return bits_ + static_cast<ptrdiff_t>(y) * pitch_; }
  const uint8_t* row(int y) const { return bits_ + static_cast<ptrdiff_t>(y) * pitch_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int pitch() const { return pitch_; }
  int bitsPerPixel() const { return bitsPerPixel_; }
  bool isDibSection() const { return storage_ != nullptr; }
  bool hasAlpha() const { return hasAlpha_; }
  bool premultiplied() const { return premultiplied_; }
  bool padded24() const { return padded24_; }
  // The palette index that is transparent (a GIF's), or -1.
  int transparentColor() const { return transparentIndex_; }
  void setTransparentColor(int index) { transparentIndex_ = index; }
  int compression() const { return compression_; }
  const std::array<uint32_t, 3>& masks() const { return masks_; }
  const std::array<RgbQuad, 256>& colorTable() const { return colorTable_; }
  bool bottomUp() const { return pitch_ < 0; }

 private:
  void reset();
  static ImageError writeEncoded(const std::string& file, std::span<const uint8_t> bytes);

  struct FreeDeleter {
    void operator()(uint8_t* p) const;
  };
  std::unique_ptr<uint8_t, FreeDeleter> storage_;
  uint8_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int pitch_ = 0;
  int bitsPerPixel_ = 0;
  int compression_ = BI_RGB;
  bool hasAlpha_ = false;
  bool premultiplied_ = false;
  bool padded24_ = false;
  int transparentIndex_ = -1;
  uint64_t stamp_ = 0;
  std::array<uint32_t, 3> masks_{};
  std::array<RgbQuad, 256> colorTable_{};
};

}  // namespace pelorix
