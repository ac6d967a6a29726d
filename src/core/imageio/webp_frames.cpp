// SPDX-License-Identifier: GPL-3.0-or-later
// Animated WebP as a moving picture: the frames' durations from libwebp's demuxer, the frames
// from its animation decoder, which gives each whole frame in order (and starts again to go
// back).
#include <webp/demux.h>

#include <cstring>

#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"

namespace pelorix {
namespace {

class WebpFrames final : public FrameSource {
 public:
  explicit WebpFrames(std::string bytes) : bytes_(std::move(bytes)) {}
  ~WebpFrames() override {
    if (decoder_) WebPAnimDecoderDelete(decoder_);
  }
  const char* kind() const override { return N_("アニメーション WebP"); }

  bool open(ImageError& error) {
    WebPData data{reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux) {
      error = ImageError(E_FAIL, "WebP: not a valid animation");
      return false;
    }
    width_ = static_cast<int>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH));
    height_ = static_cast<int>(WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT));
    std::vector<double> lengths;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demux, 1, &frame)) {
      do {
        lengths.push_back(frame.duration / 1000.0);
      } while (WebPDemuxNextFrame(&frame));
      WebPDemuxReleaseIterator(&frame);
    }
    WebPDemuxDelete(demux);
    if (!withinImageLimits(width_, height_)) {
      error = tooLarge(width_, height_);
      return false;
    }
    timing_ = FrameTiming::fromLengths(lengths);
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    decoder_ = WebPAnimDecoderNew(&data, &options);
    if (!decoder_) {
      error = ImageError(E_OUTOFMEMORY, "WebP: the animation decoder could not start");
      return false;
    }
    return true;
  }

  ImageError decode(int64_t k, DibImage& out) override {
    if (k < next_ - 1) {  // going back: from the start
      WebPAnimDecoderReset(decoder_);
      next_ = 0;
    }
    uint8_t* pixels = nullptr;
    int timestamp = 0;
    while (next_ <= k) {
      if (!WebPAnimDecoderHasMoreFrames(decoder_) ||
          !WebPAnimDecoderGetNext(decoder_, &pixels, &timestamp)) {
        return ImageError(E_FAIL, "WebP: the animation's data is damaged or cut short");
      }
      last_ = pixels;
      ++next_;
    }
    if (!reuseOrCreate(out, width_, height_, kCreateAlpha)) return outOfMemory();
    for (int y = 0; y < height_; ++y) {
      std::memcpy(out.row(y), last_ + static_cast<size_t>(y) * width_ * 4,
                  static_cast<size_t>(width_) * 4);
    }
    return {};
  }

 private:
  std::string bytes_;
  WebPAnimDecoder* decoder_ = nullptr;
  const uint8_t* last_ = nullptr;  // the decoder's picture of the last frame read
  int64_t next_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> openWebpFrames(std::string bytes, ImageError& error) {
  auto webp = std::make_unique<WebpFrames>(std::move(bytes));
  if (!webp->open(error)) return nullptr;
  if (webp->timing().frames <= 1) return nullptr;
  return webp;
}

}  // namespace pelorix
