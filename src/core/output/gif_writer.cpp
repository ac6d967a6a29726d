// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF: giflib writes the file, libimagequant chooses the palettes and applies them.
// Opaque animations store after the first frame only the rectangle that changed since the frame
// before, its unchanged pixels transparent so that they keep what is shown; each pixel shows
// its composed colour quantised, the same as a whole frame would. Transparent animations store
// whole frames, cleared between frames: GIF cannot turn a drawn pixel transparent again
// otherwise. Pixels less than half opaque are transparent.
// A palette is made for each rectangle, or with --gif-palette global one for the whole file
// from every frame's colours: then the rectangles wait, compressed, until the last frame.
#include <gif_lib.h>
#include <libdeflate.h>
#include <libimagequant.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "imageio/pixel_convert.h"
#include "output/frame_chain.h"
#include "output/output_file.h"
#include "output/writers.h"

namespace pelorix {
namespace {

struct GifFrame final : PreparedFrame {
  PixelBox box;
  std::vector<uint8_t> rgba;     // the box's pixels; transparent where nothing changed
  std::vector<uint8_t> indices;  // the box's pixels in the palette
  std::vector<GifColorType> palette;
  int transparent = -1;  // the entry that leaves the pixel as shown (or transparent)
};

struct LiqAttr {
  liq_attr* attr = liq_attr_create();
  LiqAttr() {
    if (!attr) return;
    liq_set_speed(attr, 7);
    // One entry stays free for the transparent one.
    liq_set_max_colors(attr, 255);
  }
  ~LiqAttr() {
    if (attr) liq_attr_destroy(attr);
  }
};

// The remapped pixels made into GIF's terms: a pixel less than half opaque takes the one
// transparent entry (added when the palette has none), any other an entry at least half opaque.
void settle(const liq_palette& colours, const std::vector<uint8_t>& rgba, GifFrame& frame) {
  frame.palette.clear();
  frame.transparent = -1;
  std::vector<bool> clear(colours.count);
  for (unsigned i = 0; i < colours.count; ++i) {
    const liq_color& c = colours.entries[i];
    frame.palette.push_back({c.r, c.g, c.b});
    clear[i] = c.a < 128;
    if (clear[i] && frame.transparent < 0) frame.transparent = static_cast<int>(i);
  }
  auto nearestOpaque = [&](const uint8_t* pixel) {
    int best = 0;
    long bestDistance = LONG_MAX;
    for (unsigned i = 0; i < colours.count; ++i) {
      if (clear[i]) continue;
      const liq_color& c = colours.entries[i];
      const long d = (c.r - pixel[0]) * (c.r - pixel[0]) + (c.g - pixel[1]) * (c.g - pixel[1]) +
                     (c.b - pixel[2]) * (c.b - pixel[2]);
      if (d < bestDistance) bestDistance = d, best = static_cast<int>(i);
    }
    return static_cast<uint8_t>(best);
  };
  for (size_t p = 0; p < frame.indices.size(); ++p) {
    uint8_t& index = frame.indices[p];
    if (rgba[p * 4 + 3] < 128) {
      if (frame.transparent < 0) {
        frame.transparent = static_cast<int>(frame.palette.size());
        frame.palette.push_back({0, 0, 0});
      }
      index = static_cast<uint8_t>(frame.transparent);
    } else if (index < clear.size() && clear[index]) {
      index = nearestOpaque(&rgba[p * 4]);
    }
  }
}

// Applies a palette (a frame's own, or the file's) to a frame's box.
ImageError remap(liq_result* result, liq_image* image, float dither, GifFrame& frame) {
  liq_set_dithering_level(result, dither);
  frame.indices.resize(frame.rgba.size() / 4);
  if (liq_write_remapped_image(result, image, frame.indices.data(), frame.indices.size()) !=
      LIQ_OK) {
    return ImageError(E_FAIL, "GIF: the palette could not be applied");
  }
  settle(*liq_get_palette(result), frame.rgba, frame);
  return {};
}

ImageError quantize(float dither, GifFrame& frame) {
  LiqAttr liq;
  if (!liq.attr) return ImageError(E_OUTOFMEMORY, "GIF: no memory for the palette");
  liq_image* image =
      liq_image_create_rgba(liq.attr, frame.rgba.data(), frame.box.width, frame.box.height, 0);
  liq_result* result = nullptr;
  ImageError error;
  if (!image || liq_image_quantize(image, liq.attr, &result) != LIQ_OK) {
    error = ImageError(E_FAIL, "GIF: the palette could not be made");
  } else {
    error = remap(result, image, dither, frame);
  }
  if (result) liq_result_destroy(result);
  if (image) liq_image_destroy(image);
  return error;
}

int gifWrite(GifFileType* gif, const GifByteType* data, int length) {
  auto* file = static_cast<OutputFile*>(gif->UserData);
  return file->write(data, static_cast<size_t>(length)) ? length : 0;
}

// Frames waiting for the file's palette: boxes and pixels, deflated, in a temporary file.
class Spool {
 public:
  Spool() : file_(std::tmpfile()) {}
  ~Spool() {
    if (file_) std::fclose(file_);
    if (compressor_) libdeflate_free_compressor(compressor_);
    if (decompressor_) libdeflate_free_decompressor(decompressor_);
  }
  bool put(const GifFrame& frame) {
    if (!file_ || (!compressor_ && !(compressor_ = libdeflate_alloc_compressor(1)))) return false;
    packed_.resize(libdeflate_deflate_compress_bound(compressor_, frame.rgba.size()));
    const size_t size = libdeflate_deflate_compress(
        compressor_, frame.rgba.data(), frame.rgba.size(), packed_.data(), packed_.size());
    const int64_t head[5] = {frame.box.x, frame.box.y, frame.box.width, frame.box.height,
                             static_cast<int64_t>(size)};
    return size > 0 && std::fwrite(head, sizeof head, 1, file_) == 1 &&
           std::fwrite(packed_.data(), 1, size, file_) == size;
  }
  bool rewind() { return file_ && std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0; }
  bool get(GifFrame& frame) {
    if (!decompressor_ && !(decompressor_ = libdeflate_alloc_decompressor())) return false;
    int64_t head[5];
    if (std::fread(head, sizeof head, 1, file_) != 1) return false;
    frame.box = {static_cast<int>(head[0]), static_cast<int>(head[1]), static_cast<int>(head[2]),
                 static_cast<int>(head[3])};
    packed_.resize(static_cast<size_t>(head[4]));
    frame.rgba.resize(static_cast<size_t>(head[2]) * static_cast<size_t>(head[3]) * 4);
    size_t got = 0;
    return std::fread(packed_.data(), 1, packed_.size(), file_) == packed_.size() &&
           libdeflate_deflate_decompress(decompressor_, packed_.data(), packed_.size(),
                                         frame.rgba.data(), frame.rgba.size(),
                                         &got) == LIBDEFLATE_SUCCESS &&
           got == frame.rgba.size();
  }
  bool failed() const { return !file_ || std::ferror(file_); }

 private:
  std::FILE* file_;
  libdeflate_compressor* compressor_ = nullptr;
  libdeflate_decompressor* decompressor_ = nullptr;
  std::vector<uint8_t> packed_;
};

class GifWriter final : public AnimationWriter {
 public:
  ~GifWriter() override {
    if (gif_) EGifCloseFile(gif_, nullptr);
    if (histogram_) liq_histogram_destroy(histogram_);
  }

  ImageError open(const AnimationSettings& settings) override {
    settings_ = settings;
    global_ = settings.encode.globalPalette;
    chain_ = std::make_unique<FrameChain>(settings.firstIndex);
    shown_ = hundredths(settings.firstIndex);
    if (ImageError opened = file_.open(settings.path); opened.failed()) return opened;
    if (global_) {
      spool_ = std::make_unique<Spool>();
      histogram_ = liq_histogram_create(histogramAttr_.attr);
      if (!histogramAttr_.attr || !histogram_ || spool_->failed()) {
        return ImageError(E_OUTOFMEMORY, "GIF: no room for the frames until the palette is made");
      }
      return {};
    }
    return start(nullptr);
  }

  ImageError prepare(const DibImage& frame, int index,
                     std::unique_ptr<PreparedFrame>& out) const override {
    auto pixels = std::make_shared<std::vector<uint8_t>>();
    readPixels(frame, PixelOrder::Rgba, *pixels);
    const int width = settings_.width;
    const int height = settings_.height;
    auto prepared = std::make_unique<GifFrame>();
    FrameChain::Pixels previous;
    if (!settings_.transparent) {
      for (size_t i = 3; i < pixels->size(); i += 4)
        (*pixels)[i] = 255;
      chain_->publish(index, pixels);
      previous = chain_->previous(index);
    }
    PixelBox& box = prepared->box;
    box = previous ? changedBox(*previous, *pixels, width, height) : PixelBox{0, 0, width, height};
    if (box.empty()) box = {0, 0, 1, 1};
    // The box's pixels; those that did not change become transparent: they keep what is shown.
    std::vector<uint8_t>& rgba = prepared->rgba;
    rgba.resize(static_cast<size_t>(box.width) * static_cast<size_t>(box.height) * 4);
    const size_t stride = static_cast<size_t>(width) * 4;
    for (int y = 0; y < box.height; ++y) {
      const size_t from = stride * static_cast<size_t>(box.y + y) + static_cast<size_t>(box.x) * 4;
      uint8_t* to = rgba.data() + static_cast<size_t>(y) * box.width * 4;
      std::memcpy(to, pixels->data() + from, static_cast<size_t>(box.width) * 4);
      if (!previous) continue;
      for (int x = 0; x < box.width; ++x) {
        if (std::memcmp(previous->data() + from + 4 * x, to + 4 * x, 4) == 0)
          std::memset(to + 4 * x, 0, 4);
      }
    }
    if (global_) {
      std::lock_guard lock(histogramMutex_);
      liq_image* image =
          liq_image_create_rgba(histogramAttr_.attr, rgba.data(), box.width, box.height, 0);
      const bool added =
          image && liq_histogram_add_image(histogram_, histogramAttr_.attr, image) == LIQ_OK;
      if (image) liq_image_destroy(image);
      if (!added) return ImageError(E_FAIL, "GIF: the colours could not be counted");
    } else if (ImageError error = quantize(settings_.encode.dither, *prepared); error.failed()) {
      return error;
    }
    out = std::move(prepared);
    return {};
  }

  void frameLost(int index) const override {
    if (chain_) chain_->lost(index);
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    auto& frame = static_cast<GifFrame&>(*prepared);
    // Delays in hundredths of a second, the rounding carried: frame i ends at round((i+1)/fps),
    // counted in the whole animation so that the parts of a render put together match it.
    ++written_;
    const long end = hundredths(settings_.firstIndex + written_);
    const int delay = static_cast<int>(std::clamp(end - shown_, 0L, 65535L));
    shown_ = end;
    if (global_) {
      delays_.push_back(delay);
      if (!spool_->put(frame)) return ImageError(E_FAIL, "GIF: the frames could not be kept");
      return {};
    }
    return put(frame, delay, true);
  }

  ImageError finish() override {
    if (global_) {
      if (ImageError error = writeWithPalette(); error.failed()) return error;
    }
    int error = 0;
    const int closed = EGifCloseFile(gif_, &error);
    gif_ = nullptr;
    if (closed == GIF_ERROR) return failure(error);
    return file_.commit();
  }

 private:
  // The screen, its palette (the file's, or none), and how often the animation plays.
  ImageError start(const ColorMapObject* palette) {
    int error = 0;
    gif_ = EGifOpen(&file_, gifWrite, &error);
    if (!gif_) return failure(error);
    EGifSetGifVersion(gif_, true);
    if (EGifPutScreenDesc(gif_, settings_.width, settings_.height, 8, 0, palette) == GIF_ERROR) {
      return failure(gif_->Error);
    }
    // Where the file sits in its render, for joining parts.
    if (!settings_.partComment.empty() &&
        EGifPutComment(gif_, settings_.partComment.c_str()) == GIF_ERROR) {
      return failure(gif_->Error);
    }
    // Played once: no loop block at all. Otherwise the block counts the repeats, 0 for ever.
    const int loop = settings_.encode.loop;
    if (loop == 1) return {};
    const int repeats = loop == 0 ? 0 : loop - 1;
    const GifByteType block[3] = {1, static_cast<GifByteType>(repeats & 0xFF),
                                  static_cast<GifByteType>(repeats >> 8)};
    if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_ERROR ||
        EGifPutExtensionBlock(gif_, 3, block) == GIF_ERROR ||
        EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
      return failure(gif_->Error);
    }
    return {};
  }

  // One frame: its palette unless the file's serves, its box, what happens before the next.
  ImageError put(GifFrame& frame, int delay, bool ownPalette) {
    GraphicsControlBlock control{};
    control.DisposalMode = settings_.transparent ? DISPOSE_BACKGROUND : DISPOSE_DO_NOT;
    control.UserInputFlag = false;
    control.DelayTime = delay;
    control.TransparentColor = frame.transparent >= 0 ? frame.transparent : NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    ColorMapObject* map = nullptr;
    if (ownPalette) {
      int size = 2;
      while (size < static_cast<int>(frame.palette.size()))
        size *= 2;
      frame.palette.resize(static_cast<size_t>(size));
      map = GifMakeMapObject(size, frame.palette.data());
      if (!map) return ImageError(E_OUTOFMEMORY, "GIF: no memory for the palette");
    }
    const PixelBox& box = frame.box;
    bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_ERROR &&
              EGifPutImageDesc(gif_, box.x, box.y, box.width, box.height, false, map) != GIF_ERROR;
    for (int y = 0; ok && y < box.height; ++y) {
      ok = EGifPutLine(gif_, frame.indices.data() + static_cast<size_t>(y) * box.width,
                       box.width) != GIF_ERROR;
    }
    if (map) GifFreeMapObject(map);
    if (!ok) return failure(gif_->Error);
    return {};
  }

  // The file's palette from every frame's colours, then the frames kept until now.
  ImageError writeWithPalette() {
    liq_result* result = nullptr;
    if (liq_histogram_quantize(histogram_, histogramAttr_.attr, &result) != LIQ_OK) {
      return ImageError(E_FAIL, "GIF: the palette could not be made");
    }
    GifFrame first;
    settle(*liq_get_palette(result), {}, first);
    // One transparent entry at least, for the pixels that keep what is shown.
    if (first.transparent < 0) first.palette.push_back({0, 0, 0});
    int size = 2;
    while (size < static_cast<int>(first.palette.size()))
      size *= 2;
    first.palette.resize(static_cast<size_t>(size));
    ColorMapObject* map = GifMakeMapObject(size, first.palette.data());
    ImageError error = map ? start(map) : ImageError(E_OUTOFMEMORY, "GIF: no memory");
    if (map) GifFreeMapObject(map);
    if (!spool_->rewind()) error = ImageError(E_FAIL, "GIF: the frames kept could not be read");
    for (size_t i = 0; !error.failed() && i < delays_.size(); ++i) {
      GifFrame frame;
      if (!spool_->get(frame)) {
        error = ImageError(E_FAIL, "GIF: the frames kept could not be read");
        break;
      }
      liq_image* image = liq_image_create_rgba(histogramAttr_.attr, frame.rgba.data(),
                                               frame.box.width, frame.box.height, 0);
      error = image ? remap(result, image, settings_.encode.dither, frame)
                    : ImageError(E_OUTOFMEMORY, "GIF: no memory");
      if (image) liq_image_destroy(image);
      // Entries past the palette's own (the added transparent one) mean the same in every frame.
      if (!error.failed() && frame.transparent >= 0 &&
          frame.transparent >= static_cast<int>(liq_get_palette(result)->count)) {
        frame.transparent = static_cast<int>(liq_get_palette(result)->count);
      }
      if (!error.failed()) error = put(frame, delays_[i], false);
    }
    liq_result_destroy(result);
    return error;
  }

  long hundredths(int frames) const {
    return std::lround(static_cast<double>(frames) * 100.0 / static_cast<double>(settings_.fps));
  }

  ImageError failure(int code) const {
    if (code == E_GIF_ERR_WRITE_FAILED) return ImageError(E_FAIL, file_.error());
    const char* text = GifErrorString(code);
    return ImageError(E_FAIL, std::string("GIF: ") + (text ? text : "error"));
  }

  AnimationSettings settings_;
  bool global_ = false;
  std::unique_ptr<FrameChain> chain_;
  OutputFile file_;
  GifFileType* gif_ = nullptr;
  int written_ = 0;
  long shown_ = 0;  // hundredths of a second of the frames written
  // The file's palette: every frame's colours counted, the frames kept with their delays.
  LiqAttr histogramAttr_;
  liq_histogram* histogram_ = nullptr;
  mutable std::mutex histogramMutex_;
  std::unique_ptr<Spool> spool_;
  std::vector<int> delays_;
};

}  // namespace

std::unique_ptr<AnimationWriter> makeGifWriter(const OutputFormat&) {
  return std::make_unique<GifWriter>();
}

}  // namespace pelorix
