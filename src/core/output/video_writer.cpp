// SPDX-License-Identifier: GPL-3.0-or-later
// Video files: the writer that the conversion engine sees. It owns the file (a temporary name,
// renamed when complete), the frame rate as a fraction and the pixels handed over; the encoding
// is done by the video module, loaded the first time a video is written.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "imageio/pixel_convert.h"
#include "imageio/video_module.h"
#include "imageio/video_module_loader.h"
#include "output/formats.h"
#include "output/writers.h"
#include "pelorix_version.h"

namespace pelorix {
namespace {

struct VideoFrame final : PreparedFrame {
  std::unique_ptr<video::Frame> frame;
};

// The module's texts: empty for success.
ImageError videoError(const std::string& text) {
  return text.empty() ? ImageError() : ImageError(E_FAIL, text);
}

class VideoWriter final : public AnimationWriter {
 public:
  explicit VideoWriter(const OutputFormat& format) : format_(format) {}

  ImageError open(const AnimationSettings& settings) override {
    settings_ = settings;
    const VideoModule& module = videoModule();
    if (!module.makeEncoder) return videoError(module.error);
    encoder_.reset(module.makeEncoder(video::kInterfaceVersion));
    if (!encoder_) return videoError("the video module is of another Pelorix version");
    video::Settings wanted;
    if (settings.path == "-") {
      wanted.path = "pipe:1";
    } else {
      file_.emplace(settings.path);
      if (!file_->open()) return ImageError(E_FAIL, file_->error().message);
      // The encoder opens the temporary file itself; ours stays open and holds the file's lock.
      wanted.path = file_->temporaryPath();
    }
    wanted.container = static_cast<video::Container>(format_.videoContainer);
    wanted.width = settings.width;
    wanted.height = settings.height;
    const Rational rate = frameRateOf(settings.fps);
    wanted.rateNum = rate.num;
    wanted.rateDen = rate.den;
    wanted.frames = settings.frames;
    wanted.transparent = settings.transparent;
    const EncodeOptions& encode = settings.encode;
    wanted.codec = encode.codec;
    wanted.crf = encode.crf;
    wanted.bitrate = encode.bitrate;
    wanted.preset = encode.preset;
    wanted.proresProfile = encode.proresProfile;
    wanted.audio = settings.audio;
    wanted.stop = settings.stop;
    wanted.firstFrame = settings.firstIndex;
    wanted.totalFrames = settings.totalFrames;
    wanted.comment = settings.partComment;
    return videoError(encoder_->open(wanted));
  }

  std::string audioProblem() const override {
    return encoder_ ? encoder_->audioProblem() : audioProblem_;
  }

  ImageError prepare(const DibImage& picture, int,
                     std::unique_ptr<PreparedFrame>& out) const override {
    auto prepared = std::make_unique<VideoFrame>();
    std::string failed;
    if (settings_.transparent) {
      // The canvas is premultiplied; the encoders take straight colour.
      thread_local std::vector<uint8_t> straight;
      readPixels(picture, PixelOrder::Bgra, straight);
      failed = encoder_->prepare(straight.data(), settings_.width * 4, prepared->frame);
    } else {
      // 32-bit padded pixels, rows at the picture's pitch.
      failed = encoder_->prepare(picture.row(0), picture.pitch(), prepared->frame);
    }
    if (!failed.empty()) return videoError(failed);
    out = std::move(prepared);
    return {};
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    auto& frame = static_cast<VideoFrame&>(*prepared);
    return videoError(encoder_->write(std::move(frame.frame)));
  }

  ImageError finish() override {
    if (const std::string failed = encoder_->finish(); !failed.empty()) return videoError(failed);
    audioProblem_ = encoder_->audioProblem();
    encoder_.reset();  // closes the file before it is renamed
    if (file_ && !file_->commit(Durability::Flush)) {
      return ImageError(E_FAIL, file_->error().message);
    }
    return {};
  }

 private:
  const OutputFormat& format_;
  AnimationSettings settings_;
  std::optional<AtomicFile> file_;           // an unfinished file is removed with it,
  std::unique_ptr<video::Encoder> encoder_;  // after the encoder has closed it
  std::string audioProblem_;                 // kept when the encoder is gone
};

}  // namespace

std::unique_ptr<AnimationWriter> makeVideoWriter(const OutputFormat& format) {
  return std::make_unique<VideoWriter>(format);
}

}  // namespace pelorix
