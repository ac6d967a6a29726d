// SPDX-License-Identifier: GPL-3.0-or-later
// A video file as a moving picture, read by the video module.
#include <memory>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"
#include "imageio/video_module_loader.h"

namespace pelorix {
namespace {

class VideoFrames final : public FrameSource {
 public:
  const char* kind() const override { return N_("動画"); }

  bool open(const std::string& path, ImageError& error) {
    const VideoModule& module = videoModule();
    if (!module.makeDecoder) {
      error = ImageError(E_FAIL, module.error);
      return false;
    }
    decoder_.reset(module.makeDecoder(video::kInterfaceVersion));
    if (!decoder_) {
      error = ImageError(E_FAIL, "the video module is of another Pelorix version");
      return false;
    }
    video::VideoInfo info;
    if (std::string failed = decoder_->open(path, info); !failed.empty()) {
      error = ImageError(E_FAIL, failed);
      return false;
    }
    if (!withinImageLimits(info.width, info.height)) {
      error = tooLarge(info.width, info.height);
      return false;
    }
    width_ = info.width;
    height_ = info.height;
    alpha_ = info.alpha;
    timing_ = FrameTiming::uniform(info.frames, info.fps);
    return true;
  }

  ImageError decode(int64_t k, DibImage& out) override {
    // Frames without transparency are padded 24-bit pictures: nothing looks for alpha in them.
    if (!reuseOrCreate(out, width_, height_, alpha_ ? kCreateAlpha : kCreatePadded24))
      return outOfMemory();
    if (std::string failed = decoder_->read(k, out.row(0), out.pitch()); !failed.empty()) {
      out.destroy();
      return ImageError(E_FAIL, failed);
    }
    return {};
  }

 private:
  std::unique_ptr<video::Decoder> decoder_;
  bool alpha_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> openVideoFrames(const std::string& path, ImageError& error) {
  auto video = std::make_unique<VideoFrames>();
  if (!video->open(path, error)) return nullptr;
  return video;
}

}  // namespace pelorix
