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
#include "output/formats.h"
#include "output/video_module.h"
#include "output/writers.h"
#include "pelorix_version.h"

namespace pelorix {
namespace {

struct Module {
  video::MakeEncoder make = nullptr;
  std::string error;
};

// The module: PELORIX_MODULEDIR, beside an installed program (its library folder), in the
// build tree (programs one or two levels below it), or the configured install folder.
const Module& videoModule() {
  static Module module;
  static std::once_flag once;
  std::call_once(once, [] {
    if (!PELORIX_HAVE_VIDEO) {
      module.error = _("this Pelorix was built without its video module (PELORIX_VIDEO=OFF)");
      return;
    }
    std::vector<std::string> folders;
    if (const char* chosen = std::getenv("PELORIX_MODULEDIR"); chosen && *chosen)
      folders.emplace_back(chosen);
    const std::string bin = executableFolder();
    if (!bin.empty()) {
      folders.push_back(bin + PELORIX_MODULE_DIR_FROM_BIN);
      folders.push_back(bin + "../lib/pelorix");
      folders.push_back(bin + "../../lib/pelorix");
    }
    folders.emplace_back(PELORIX_MODULE_DIR);
    for (const std::string& folder : folders) {
      const std::string path = folder + "/" + video::kModuleFile;
      if (::access(path.c_str(), R_OK) != 0) continue;
      void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        module.error =
            formatC(_("動画モジュール %s を読み込めません: %s"), path.c_str(), ::dlerror());
        return;
      }
      module.make =
          reinterpret_cast<video::MakeEncoder>(::dlsym(handle, video::kMakeEncoderSymbol));
      if (!module.make) module.error = path + ": not a Pelorix video module";
      return;
    }
    std::string looked;
    for (const std::string& folder : folders) {
      char real[PATH_MAX];
      const std::string shown = ::realpath(folder.c_str(), real) ? std::string(real) : folder;
      if (looked.find(shown) == std::string::npos) looked += (looked.empty() ? "" : ", ") + shown;
    }
    module.error = formatC(_("動画モジュール %s がありません (探した場所: %s)。pelorix-video "
                             "パッケージを入れるか、PELORIX_MODULEDIR でその場所を指定して"
                             "ください。"),
                           video::kModuleFile, looked.c_str());
  });
  return module;
}

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
    const Module& module = videoModule();
    if (!module.make) return videoError(module.error);
    encoder_.reset(module.make(video::kInterfaceVersion));
    if (!encoder_) return videoError("the video module is of another Pelorix version");
    file_.emplace(settings.path);
    if (!file_->open()) return ImageError(E_FAIL, file_->error().message);
    // The encoder opens the temporary file itself; ours stays open and holds the file's lock.

    video::Settings wanted;
    wanted.path = file_->temporaryPath();
    wanted.container = static_cast<video::Container>(format_.videoContainer);
    wanted.width = settings.width;
    wanted.height = settings.height;
    const Rational rate = frameRateOf(settings.fps);
    wanted.rateNum = rate.num;
    wanted.rateDen = rate.den;
    wanted.transparent = settings.transparent;
    wanted.crf = settings.encode.crf;
    return videoError(encoder_->open(wanted));
  }

  ImageError prepare(const DibImage& picture, std::unique_ptr<PreparedFrame>& out) const override {
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
    encoder_.reset();  // closes the file before it is renamed
    if (!file_->commit(Durability::Flush)) return ImageError(E_FAIL, file_->error().message);
    return {};
  }

 private:
  const OutputFormat& format_;
  AnimationSettings settings_;
  std::optional<AtomicFile> file_;           // an unfinished file is removed with it,
  std::unique_ptr<video::Encoder> encoder_;  // after the encoder has closed it
};

}  // namespace

std::string videoModuleProblem() {
  const Module& module = videoModule();
  return module.make ? std::string() : module.error;
}

std::unique_ptr<AnimationWriter> makeVideoWriter(const OutputFormat& format) {
  return std::make_unique<VideoWriter>(format);
}

}  // namespace pelorix
