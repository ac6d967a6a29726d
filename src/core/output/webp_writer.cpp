// SPDX-License-Identifier: GPL-3.0-or-later
// Animated WebP through libwebp's WebPAnimEncoder.
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "imageio/pixel_convert.h"
#include "output/output_file.h"
#include "output/part_tag.h"
#include "output/writers.h"

namespace pelorix {
namespace {

struct WebpFrame final : PreparedFrame {
  std::vector<uint8_t> pixels;  // straight BGRA
};

class WebpWriter final : public AnimationWriter {
 public:
  ~WebpWriter() override {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
  }

  ImageError open(const AnimationSettings& settings) override {
    settings_ = settings;
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) return ImageError(E_FAIL, "WebP: version mismatch");
    options.anim_params.loop_count = settings.encode.loop;
    options.anim_params.bgcolor = settings.transparent ? 0x00000000u : 0xFF000000u;
    encoder_ = WebPAnimEncoderNew(settings.width, settings.height, &options);
    if (!encoder_) return ImageError(E_OUTOFMEMORY, "WebP: the encoder could not start");
    return file_.open(settings.path);
  }

  ImageError prepare(const DibImage& frame, int,
                     std::unique_ptr<PreparedFrame>& out) const override {
    auto prepared = std::make_unique<WebpFrame>();
    readPixels(frame, PixelOrder::Bgra, prepared->pixels);
    out = std::move(prepared);
    return {};
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    auto& frame = static_cast<WebpFrame&>(*prepared);
    WebPPicture picture;
    if (!WebPPictureInit(&picture)) return ImageError(E_FAIL, "WebP: version mismatch");
    picture.width = settings_.width;
    picture.height = settings_.height;
    picture.use_argb = 1;
    const bool imported =
        settings_.transparent
            ? WebPPictureImportBGRA(&picture, frame.pixels.data(), settings_.width * 4)
            : WebPPictureImportBGRX(&picture, frame.pixels.data(), settings_.width * 4);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = settings_.encode.lossless ? 1 : 0;
    config.quality = static_cast<float>(std::clamp(settings_.encode.quality, 1, 100));
    config.method = settings_.encode.lossless ? 1 : 2;
    const bool added =
        imported &&
        WebPAnimEncoderAdd(encoder_, &picture, timestamp(settings_.firstIndex + written_), &config);
    WebPPictureFree(&picture);
    if (!added)
      return ImageError(E_FAIL, std::string("WebP: ") + WebPAnimEncoderGetError(encoder_));
    ++written_;
    return {};
  }

  ImageError finish() override {
    WebPAnimEncoderAdd(encoder_, nullptr, timestamp(settings_.firstIndex + written_), nullptr);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder_, &data)) {
      return ImageError(E_FAIL, std::string("WebP: ") + WebPAnimEncoderGetError(encoder_));
    }
    if (!settings_.partComment.empty() && !addPartChunk(data)) {
      WebPDataClear(&data);
      return ImageError(E_OUTOFMEMORY, "WebP: no memory for the part description");
    }
    const ImageError written = file_.put(data.bytes, data.size);
    WebPDataClear(&data);
    if (written.failed()) return written;
    return file_.commit();
  }

 private:
  // Where the file sits in its render, for joining parts: a chunk of its own.
  bool addPartChunk(WebPData& data) const {
    WebPMux* mux = WebPMuxCreate(&data, 1);
    if (!mux) return false;
    WebPData chunk{reinterpret_cast<const uint8_t*>(settings_.partComment.data()),
                   settings_.partComment.size()};
    WebPData assembled;
    WebPDataInit(&assembled);
    const bool ok = WebPMuxSetChunk(mux, kWebpPartChunk, &chunk, 1) == WEBP_MUX_OK &&
                    WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK;
    WebPMuxDelete(mux);
    if (!ok) return false;
    WebPDataClear(&data);
    data = assembled;
    return true;
  }

  // Milliseconds from the animation's start, computed from the frame index so that the
  // rounding does not add up.
  int timestamp(int frame) const {
    return static_cast<int>(
        std::lround(static_cast<double>(frame) * 1000.0 / static_cast<double>(settings_.fps)));
  }

  AnimationSettings settings_;
  OutputFile file_;
  WebPAnimEncoder* encoder_ = nullptr;
  int written_ = 0;
};

}  // namespace

std::unique_ptr<AnimationWriter> makeWebpWriter(const OutputFormat&) {
  return std::make_unique<WebpWriter>();
}

}  // namespace pelorix
