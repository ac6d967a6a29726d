// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG through the TurboJPEG API of libjpeg-turbo.
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

// TurboJPEG handles are costly to make; each thread keeps one of each kind.
class TjHandle {
 public:
  explicit TjHandle(tjhandle handle) : handle_(handle) {}
  ~TjHandle() {
    if (handle_) tjDestroy(handle_);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle get() const { return handle_; }

 private:
  tjhandle handle_;
};

tjhandle decompressor() {
  thread_local TjHandle handle(tjInitDecompress());
  return handle.get();
}

tjhandle compressor() {
  thread_local TjHandle handle(tjInitCompress());
  return handle.get();
}

ImageError tjFailure(tjhandle handle) {
  return ImageError(E_FAIL, std::string("JPEG: ") + tjGetErrorStr2(handle));
}

// Decoding stops on fatal errors and on a file that ends early; other warnings (stray bytes
// between markers and the like) leave a good picture, as other viewers show it.
bool acceptable(tjhandle handle) {
  return tjGetErrorCode(handle) == TJERR_WARNING &&
         std::strstr(tjGetErrorStr2(handle), "Premature end") == nullptr;
}

class JpegCodec final : public ImageCodec {
 public:
  const char* name() const override { return "JPEG"; }
  const char* label() const override { return N_("JPEG 画像"); }
  std::span<const std::string_view> extensions() const override {
    static constexpr std::string_view kExtensions[] = {"jpg", "jpeg", "jpe", "jfif"};
    return kExtensions;
  }

  bool probe(std::span<const uint8_t> head, int& width, int& height) const override {
    tjhandle tj = decompressor();
    int subsampling = 0, colorspace = 0;
    return tj && tjDecompressHeader3(tj, head.data(), static_cast<unsigned long>(head.size()),
                                     &width, &height, &subsampling, &colorspace) == 0;
  }

  bool recognises(std::span<const uint8_t> head) const override {
    return head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
  }

  ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const override {
    tjhandle tj = decompressor();
    if (!tj) return outOfMemory();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj, bytes.data(), static_cast<unsigned long>(bytes.size()), &width,
                            &height, &subsampling, &colorspace) != 0) {
      return tjFailure(tj);
    }
    // A file cut before its frame header leaves the size at zero: that is damage, not size.
    if (width <= 0 || height <= 0) return ImageError(E_FAIL, "JPEG: truncated or corrupt file");
    if (!withinImageLimits(width, height)) return tooLarge(width, height);
    const auto* data = bytes.data();
    const auto size = static_cast<unsigned long>(bytes.size());
    DibImage image;
    if (colorspace == TJCS_GRAY) {
      if (!image.create(width, height, 8)) return outOfMemory();
      setGreyColorTable(image, 256);
      if (!decodeInto(tj, data, size, image, TJPF_GRAY)) return tjFailure(tj);
    } else if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
      // CMYK pictures become 32-bit RGB; the stored values are the inverted (Adobe) form.
      if (!image.create(width, height, 32)) return outOfMemory();
      if (!decodeInto(tj, data, size, image, TJPF_CMYK)) return tjFailure(tj);
      for (int y = 0; y < height; ++y) {
        uint8_t* p = image.row(y);
        for (int x = 0; x < width; ++x, p += 4) {
          const int c = p[0], m = p[1], ye = p[2], k = p[3];
          p[0] = static_cast<uint8_t>((ye * k + 127) / 255);
          p[1] = static_cast<uint8_t>((m * k + 127) / 255);
          p[2] = static_cast<uint8_t>((c * k + 127) / 255);
          p[3] = 0;
        }
      }
    } else {
      if (!image.create(width, height, 24)) return outOfMemory();
      if (!decodeInto(tj, data, size, image, TJPF_BGR)) return tjFailure(tj);
    }
    out = std::move(image);
    return {};
  }

  ImageError encode(const DibImage& image, const ImageEncodeOptions& options,
                    std::vector<uint8_t>& out) const override {
    tjhandle tj = compressor();
    if (!tj) return outOfMemory();
    const DibImage* source = &image;
    DibImage converted;
    int format = TJPF_BGR;
    if (image.bitsPerPixel() == 32 && image.compression() == BI_RGB) {
      format = TJPF_BGRX;  // alpha, if any, is dropped
    } else if (image.bitsPerPixel() != 24) {
      if (!convertTo24(image, converted)) return outOfMemory();
      source = &converted;
    }
    const int quality = std::clamp(options.quality, 1, 100);
    // The worst-case buffer is kept per thread: clearing megabytes for every frame costs more
    // than a tenth of the encoding.
    thread_local std::unique_ptr<unsigned char[]> scratch;
    thread_local unsigned long capacity = 0;
    const unsigned long needed = tjBufSize(image.width(), image.height(), TJSAMP_420);
    if (needed > capacity) {
      scratch.reset(new (std::nothrow) unsigned char[needed]);
      capacity = scratch ? needed : 0;
      if (!scratch) return outOfMemory();
    }
    unsigned char* buffer = scratch.get();
    unsigned long size = capacity;
    // A bottom-up picture is handed over from its lowest row in memory.
    const bool bottomUp = source->bottomUp();
    const uint8_t* first = bottomUp ? source->row(source->height() - 1) : source->bits();
    const int flags = TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC | (bottomUp ? TJFLAG_BOTTOMUP : 0);
    if (tjCompress2(tj, first, source->width(), std::abs(source->pitch()), source->height(), format,
                    &buffer, &size, TJSAMP_420, quality, flags) != 0) {
      return tjFailure(tj);
    }
    out.assign(buffer, buffer + size);
    return {};
  }

 private:
  static bool decodeInto(tjhandle tj, const unsigned char* data, unsigned long size,
                         DibImage& image, int format) {
    const bool bottomUp = image.bottomUp();
    unsigned char* first = bottomUp ? image.row(image.height() - 1) : image.bits();
    const int flags = TJFLAG_ACCURATEDCT | (bottomUp ? TJFLAG_BOTTOMUP : 0);
    return tjDecompress2(tj, data, size, first, image.width(), std::abs(image.pitch()),
                         image.height(), format, flags) == 0 ||
           acceptable(tj);
  }
};

}  // namespace

const ImageCodec& jpegCodec() {
  static const JpegCodec codec;
  return codec;
}

}  // namespace pelorix
