// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF: giflib writes the file, libimagequant chooses and applies each frame's palette.
#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "imageio/pixel_convert.h"
#include "output/output_file.h"
#include "output/writers.h"

namespace pelorix {
namespace {

struct GifFrame final : PreparedFrame {
  std::vector<uint8_t> indices;
  std::vector<GifColorType> palette;  // at most 256
  int transparent = -1;
};

// A palette of the frame's own chosen and applied with dithering; the first entry whose alpha is
// below half becomes the transparent one.
ImageError quantize(const std::vector<uint8_t>& rgba, int width, int height, GifFrame& frame) {
  liq_attr* attr = liq_attr_create();
  if (!attr) return ImageError(E_OUTOFMEMORY, "GIF: no memory for the palette");
  liq_set_speed(attr, 8);
  liq_image* image = liq_image_create_rgba(attr, rgba.data(), width, height, 0);
  liq_result* result = nullptr;
  ImageError error;
  if (!image || liq_image_quantize(image, attr, &result) != LIQ_OK) {
    error = ImageError(E_FAIL, "GIF: the palette could not be made");
  } else {
    liq_set_dithering_level(result, 1.0f);
    frame.indices.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    if (liq_write_remapped_image(result, image, frame.indices.data(), frame.indices.size()) !=
        LIQ_OK) {
      error = ImageError(E_FAIL, "GIF: the palette could not be applied");
    } else {
      const liq_palette* palette = liq_get_palette(result);
      for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        frame.palette.push_back({c.r, c.g, c.b});
        if (c.a < 128 && frame.transparent < 0) frame.transparent = static_cast<int>(i);
      }
    }
  }
  if (result) liq_result_destroy(result);
  if (image) liq_image_destroy(image);
  liq_attr_destroy(attr);
  return error;
}

int gifWrite(GifFileType* gif, const GifByteType* data, int length) {
  auto* file = static_cast<OutputFile*>(gif->UserData);
  return file->write(data, static_cast<size_t>(length)) ? length : 0;
}

class GifWriter final : public AnimationWriter {
 public:
  ~GifWriter() override {
    if (gif_) EGifCloseFile(gif_, nullptr);
  }

  ImageError open(const AnimationSettings& settings) override {
    settings_ = settings;
    if (ImageError opened = file_.open(settings.path); opened.failed()) return opened;
    int error = 0;
    gif_ = EGifOpen(&file_, gifWrite, &error);
    if (!gif_) return failure(error);
    EGifSetGifVersion(gif_, true);
    if (EGifPutScreenDesc(gif_, settings.width, settings.height, 8, 0, nullptr) == GIF_ERROR) {
      return failure(gif_->Error);
    }
    // Loop for ever.
    const GifByteType loop[3] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(gif_, 3, loop) == GIF_ERROR ||
        EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
      return failure(gif_->Error);
    }
    return {};
  }

  ImageError prepare(const DibImage& frame, std::unique_ptr<PreparedFrame>& out) const override {
    auto prepared = std::make_unique<GifFrame>();
    thread_local std::vector<uint8_t> rgba;
    readPixels(frame, PixelOrder::Rgba, rgba);
    if (!settings_.transparent) {
      for (size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = 255;
    }
    if (ImageError error = quantize(rgba, frame.width(), frame.height(), *prepared);
        error.failed()) {
      return error;
    }
    out = std::move(prepared);
    return {};
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    auto& frame = static_cast<GifFrame&>(*prepared);
    // Delays in hundredths of a second, the rounding carried: frame i ends at round((i+1)/fps).
    ++written_;
    const long end =
        std::lround(static_cast<double>(written_) * 100.0 / static_cast<double>(settings_.fps));
    GraphicsControlBlock control{};
    control.DisposalMode = settings_.transparent ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = static_cast<int>(std::clamp(end - shown_, 0L, 65535L));
    control.TransparentColor = settings_.transparent ? frame.transparent : NO_TRANSPARENT_COLOR;
    shown_ = end;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    int size = 2;
    while (size < static_cast<int>(frame.palette.size()))
      size *= 2;
    frame.palette.resize(static_cast<size_t>(size));
    ColorMapObject* map = GifMakeMapObject(size, frame.palette.data());
    if (!map) return ImageError(E_OUTOFMEMORY, "GIF: no memory for the palette");
    bool ok =
        EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
        EGifPutImageDesc(gif_, 0, 0, settings_.width, settings_.height, false, map) != GIF_ERROR;
    for (int y = 0; ok && y < settings_.height; ++y) {
      ok = EGifPutLine(gif_, frame.indices.data() + static_cast<size_t>(y) * settings_.width,
                       settings_.width) != GIF_ERROR;
    }
    GifFreeMapObject(map);
    if (!ok) return failure(gif_->Error);
    return {};
  }

  ImageError finish() override {
    int error = 0;
    const int closed = EGifCloseFile(gif_, &error);
    gif_ = nullptr;
    if (closed == GIF_ERROR) return failure(error);
    return file_.commit();
  }

 private:
  ImageError failure(int code) const {
    if (code == E_GIF_ERR_WRITE_FAILED) return ImageError(E_FAIL, file_.error());
    const char* text = GifErrorString(code);
    return ImageError(E_FAIL, std::string("GIF: ") + (text ? text : "error"));
  }

  AnimationSettings settings_;
  OutputFile file_;
  GifFileType* gif_ = nullptr;
  int written_ = 0;
  long shown_ = 0;  // hundredths of a second of the frames written
};

}  // namespace

std::unique_ptr<AnimationWriter> makeGifWriter(const OutputFormat&) {
  return std::make_unique<GifWriter>();
}

}  // namespace pelorix
