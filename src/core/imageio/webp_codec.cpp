// SPDX-License-Identifier: GPL-3.0-or-later
// WebP through libwebp: lossy files, with alpha when the picture has it.
#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstring>

#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"

namespace pelorix {
namespace {

class WebpCodec final : public ImageCodec {
 public:
  const char* name() const override { return "WebP"; }
  const char* label() const override { return N_("WebP 画像"); }
  std::span<const std::string_view> extensions() const override {
    static constexpr std::string_view kExtensions[] = {"webp"};
    return kExtensions;
  }

  bool probe(std::span<const uint8_t> head, int& width, int& height) const override {
    return WebPGetInfo(head.data(), head.size(), &width, &height) != 0;
  }

  bool recognises(std::span<const uint8_t> head) const override {
    return head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
           std::memcmp(head.data() + 8, "WEBP", 4) == 0;
  }

  ImageError decode(std::span<const uint8_t> bytes, DibImage& out) const override {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) {
      return ImageError(E_FAIL, "WebP: not a valid file");
    }
    if (!withinImageLimits(features.width, features.height)) {
      return tooLarge(features.width, features.height);
    }
    const bool alpha = features.has_alpha != 0;
    DibImage image;
    // Decoded top-down: libwebp writes rows with a positive stride.
    if (!image.create(features.width, -features.height, alpha ? 32 : 24, BI_RGB, nullptr,
                      alpha ? kCreateAlpha : 0)) {
      return outOfMemory();
    }
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return ImageError(E_FAIL, "WebP: version mismatch");
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = image.pitch();
    config.output.u.RGBA.size = static_cast<size_t>(image.pitch()) * image.height();
    const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    // Memory running out is not a damaged file.
    if (status == VP8_STATUS_OUT_OF_MEMORY) return outOfMemory();
    if (status != VP8_STATUS_OK)
      return ImageError(E_FAIL, "WebP: the picture data is corrupt or cut short");
    out = std::move(image);
    return {};
  }

  ImageError encode(const DibImage& image, const ImageEncodeOptions& options,
                    std::vector<uint8_t>& out) const override {
    const bool alpha = image.hasAlpha() && image.bitsPerPixel() == 32;
    const int channels = alpha ? 4 : 3;
    const int stride = image.width() * channels;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * image.height());
    for (int y = 0; y < image.height(); ++y) {
      uint8_t* row = pixels.data() + static_cast<size_t>(stride) * y;
      if (alpha) {
        readRowBgra(image, y, row);
      } else {
        readRowBgr(image, y, row);
      }
    }
    const float quality = static_cast<float>(std::clamp(options.quality, 0, 100));
    uint8_t* encoded = nullptr;
    const size_t size = alpha ? WebPEncodeBGRA(pixels.data(), image.width(), image.height(), stride,
                                               quality, &encoded)
                              : WebPEncodeBGR(pixels.data(), image.width(), image.height(), stride,
                                              quality, &encoded);
    if (size == 0 || !encoded) {
      WebPFree(encoded);
      return ImageError(E_FAIL, "WebP: encoding failed (at most 16383 pixels per side)");
    }
    out.assign(encoded, encoded + size);
    WebPFree(encoded);
    return {};
  }
};

}  // namespace

const ImageCodec& webpCodec() {
  static const WebpCodec codec;
  return codec;
}

}  // namespace pelorix
