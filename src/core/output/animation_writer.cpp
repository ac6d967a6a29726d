// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF (giflib, palettes by libimagequant), animated WebP (libwebp's WebPAnimEncoder)
// and APNG (the PNG writer's compression with our own animation chunks).
#include "output/animation_writer.h"

#include <gif_lib.h>
#include <libimagequant.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <optional>
#include <vector>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"
#include "imageio/png_writer.h"

namespace pelorix {
namespace {

char fold(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view text) {
  std::string out;
  for (char c : text)
    out += fold(c);
  return out;
}

// The frame's pixels as straight RGBA (or RGB) bytes, top row first.
void straightRows(const DibImage& frame, bool alpha, std::vector<uint8_t>& out) {
  const int channels = alpha ? 4 : 3;
  const size_t rowBytes = static_cast<size_t>(frame.width()) * channels;
  out.resize(rowBytes * static_cast<size_t>(frame.height()));
  std::vector<uint8_t> row(static_cast<size_t>(frame.width()) * 4);
  for (int y = 0; y < frame.height(); ++y) {
    readRowBgra(frame, y, row.data());
    uint8_t* o = out.data() + rowBytes * static_cast<size_t>(y);
    for (int x = 0; x < frame.width(); ++x, o += channels) {
      o[0] = row[4 * x + 2];
      o[1] = row[4 * x + 1];
      o[2] = row[4 * x];
      if (alpha) o[3] = row[4 * x + 3];
    }
  }
}

// The file of a writer: written through a descriptor, moved into place at the end, removed when
// dropped unfinished.
class OutputFile {
 public:
  ImageError open(const std::string& path) {
    file_.emplace(path);
    if (!file_->open()) return ImageError(E_FAIL, file_->error().message);
    return {};
  }
  bool write(const void* data, size_t size) { return file_ && file_->write(data, size); }
  ImageError commit() {
    if (!file_ || !file_->commit(Durability::Flush)) {
      return ImageError(E_FAIL, file_ ? file_->error().message : std::string("no file"));
    }
    return {};
  }
  std::string error() const { return file_ ? file_->error().message : std::string("no file"); }

 private:
  std::optional<AtomicFile> file_;
};

// ---- Animated GIF ----

struct GifFrame final : PreparedFrame {
  std::vector<uint8_t> indices;
  std::vector<GifColorType> palette;  // at most 256
  int transparent = -1;
};

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

  // A palette of its own for every frame, chosen and applied with dithering by libimagequant.
  ImageError prepare(const DibImage& frame, std::unique_ptr<PreparedFrame>& out) const override {
    auto prepared = std::make_unique<GifFrame>();
    thread_local std::vector<uint8_t> rgba;
    straightRows(frame, true, rgba);
    if (!settings_.transparent) {
      for (size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = 255;
    }
    liq_attr* attr = liq_attr_create();
    if (!attr) return ImageError(E_OUTOFMEMORY, "GIF: no memory for the palette");
    liq_set_speed(attr, 8);
    liq_image* image = liq_image_create_rgba(attr, rgba.data(), frame.width(), frame.height(), 0);
    liq_result* result = nullptr;
    ImageError error;
    if (!image || liq_image_quantize(image, attr, &result) != LIQ_OK) {
      error = ImageError(E_FAIL, "GIF: the palette could not be made");
    } else {
      liq_set_dithering_level(result, 1.0f);
      prepared->indices.resize(static_cast<size_t>(frame.width()) * frame.height());
      if (liq_write_remapped_image(result, image, prepared->indices.data(),
                                   prepared->indices.size()) != LIQ_OK) {
        error = ImageError(E_FAIL, "GIF: the palette could not be applied");
      } else {
        const liq_palette* palette = liq_get_palette(result);
        for (unsigned i = 0; i < palette->count; ++i) {
          const liq_color& c = palette->entries[i];
          prepared->palette.push_back({c.r, c.g, c.b});
          if (c.a < 128 && prepared->transparent < 0) prepared->transparent = static_cast<int>(i);
        }
      }
    }
    if (result) liq_result_destroy(result);
    if (image) liq_image_destroy(image);
    liq_attr_destroy(attr);
    if (error.failed()) return error;
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

// ---- Animated WebP ----

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
    options.anim_params.loop_count = 0;
    options.anim_params.bgcolor = settings.transparent ? 0x00000000u : 0xFF000000u;
    encoder_ = WebPAnimEncoderNew(settings.width, settings.height, &options);
    if (!encoder_) return ImageError(E_OUTOFMEMORY, "WebP: the encoder could not start");
    return file_.open(settings.path);
  }

  ImageError prepare(const DibImage& frame, std::unique_ptr<PreparedFrame>& out) const override {
    auto prepared = std::make_unique<WebpFrame>();
    prepared->pixels.resize(static_cast<size_t>(frame.width()) * frame.height() * 4);
    for (int y = 0; y < frame.height(); ++y) {
      readRowBgra(frame, y, prepared->pixels.data() + static_cast<size_t>(y) * frame.width() * 4);
    }
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
        imported && WebPAnimEncoderAdd(encoder_, &picture, timestamp(written_), &config);
    WebPPictureFree(&picture);
    if (!added)
      return ImageError(E_FAIL, std::string("WebP: ") + WebPAnimEncoderGetError(encoder_));
    ++written_;
    return {};
  }

  ImageError finish() override {
    WebPAnimEncoderAdd(encoder_, nullptr, timestamp(written_), nullptr);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder_, &data)) {
      return ImageError(E_FAIL, std::string("WebP: ") + WebPAnimEncoderGetError(encoder_));
    }
    const bool ok = file_.write(data.bytes, data.size);
    WebPDataClear(&data);
    if (!ok) return ImageError(E_FAIL, file_.error());
    return file_.commit();
  }

 private:
  // Milliseconds, computed from the frame index so the rounding does not add up.
  int timestamp(int frame) const {
    return static_cast<int>(
        std::lround(static_cast<double>(frame) * 1000.0 / static_cast<double>(settings_.fps)));
  }

  AnimationSettings settings_;
  OutputFile file_;
  WebPAnimEncoder* encoder_ = nullptr;
  int written_ = 0;
};

// ---- APNG ----

struct ApngFrame final : PreparedFrame {
  std::vector<uint8_t> zlib;
};

void putBig32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(value >> shift));
}

void putBig16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

class ApngWriter final : public AnimationWriter {
 public:
  ImageError open(const AnimationSettings& settings) override {
    settings_ = settings;
    // Frame delay 1/fps as a fraction that fits the chunk's 16-bit fields.
    const Rational rate = frameRateOf(settings.fps);
    delayNum_ = rate.den;
    delayDen_ = rate.num;
    while (delayNum_ > 65535 || delayDen_ > 65535) {
      delayNum_ = (delayNum_ + 1) / 2;
      delayDen_ = (delayDen_ + 1) / 2;
    }
    if (ImageError opened = file_.open(settings.path); opened.failed()) return opened;
    std::vector<uint8_t> head;
    appendPngSignatureAndHeader(head, settings.width, settings.height, settings.transparent);
    std::vector<uint8_t> control;
    putBig32(control, static_cast<uint32_t>(std::max(1, settings.frames)));
    putBig32(control, 0);  // loop for ever
    appendPngChunk(head, "acTL", control.data(), control.size());
    return put(head);
  }

  ImageError prepare(const DibImage& frame, std::unique_ptr<PreparedFrame>& out) const override {
    auto prepared = std::make_unique<ApngFrame>();
    if (ImageError packed = compressPngPixels(frame, settings_.transparent,
                                              settings_.encode.pngLevel, prepared->zlib);
        packed.failed()) {
      return packed;
    }
    out = std::move(prepared);
    return {};
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    const auto& frame = static_cast<ApngFrame&>(*prepared);
    std::vector<uint8_t> out;
    std::vector<uint8_t> control;
    putBig32(control, sequence_++);
    putBig32(control, static_cast<uint32_t>(settings_.width));
    putBig32(control, static_cast<uint32_t>(settings_.height));
    putBig32(control, 0);
    putBig32(control, 0);
    putBig16(control, static_cast<uint32_t>(delayNum_));
    putBig16(control, static_cast<uint32_t>(delayDen_));
    control.push_back(0);  // dispose: none
    control.push_back(0);  // blend: source
    appendPngChunk(out, "fcTL", control.data(), control.size());
    // The data in chunks of at most 1 MiB; the first frame is the picture every reader shows.
    constexpr size_t kPiece = 1u << 20;
    for (size_t at = 0; at < frame.zlib.size() || at == 0; at += kPiece) {
      const size_t size = std::min(kPiece, frame.zlib.size() - at);
      if (written_ == 0) {
        appendPngChunk(out, "IDAT", frame.zlib.data() + at, size);
      } else {
        std::vector<uint8_t> data;
        putBig32(data, sequence_++);
        data.insert(data.end(), frame.zlib.begin() + static_cast<ptrdiff_t>(at),
                    frame.zlib.begin() + static_cast<ptrdiff_t>(at + size));
        appendPngChunk(out, "fdAT", data.data(), data.size());
      }
      if (frame.zlib.empty()) break;
    }
    ++written_;
    return put(out);
  }

  ImageError finish() override {
    if (written_ != std::max(1, settings_.frames)) {
      return ImageError(
          E_FAIL, formatC("APNG: %d frames announced, %d written", settings_.frames, written_));
    }
    std::vector<uint8_t> end;
    appendPngChunk(end, "IEND", nullptr, 0);
    if (ImageError ended = put(end); ended.failed()) return ended;
    return file_.commit();
  }

 private:
  ImageError put(const std::vector<uint8_t>& bytes) {
    if (!file_.write(bytes.data(), bytes.size())) return ImageError(E_FAIL, file_.error());
    return {};
  }

  AnimationSettings settings_;
  OutputFile file_;
  uint32_t sequence_ = 0;
  int written_ = 0;
  int delayNum_ = 1;
  int delayDen_ = 30;
};

}  // namespace

OneFileType oneFileType(std::string_view format, bool animated) {
  std::string name = lower(format);
  if (!name.empty() && name.front() == '.') name.erase(0, 1);
  if (name == "mp4") return OneFileType::Mp4;
  if (name == "webm") return OneFileType::WebM;
  if (name == "mov") return OneFileType::Mov;
  if (name == "mkv") return OneFileType::Mkv;
  if (name == "apng") return OneFileType::Apng;
  if (animated && name == "gif") return OneFileType::Gif;
  if (animated && name == "webp") return OneFileType::WebP;
  return OneFileType::None;
}

OneFileType oneFileTypeOfPath(std::string_view path) {
  return oneFileType(fileExtension(path), true);
}

bool keepsAlpha(OneFileType type) {
  return type == OneFileType::Gif || type == OneFileType::WebP || type == OneFileType::Apng ||
         type == OneFileType::WebM || type == OneFileType::Mov || type == OneFileType::Mkv;
}

const char* oneFileTypeName(OneFileType type) {
  switch (type) {
    case OneFileType::Gif:
      return "animated GIF";
    case OneFileType::WebP:
      return "animated WebP";
    case OneFileType::Apng:
      return "APNG";
    case OneFileType::Mp4:
      return "MP4 (H.264)";
    case OneFileType::WebM:
      return "WebM (VP9)";
    case OneFileType::Mov:
      return "MOV (ProRes)";
    case OneFileType::Mkv:
      return "MKV (FFV1)";
    case OneFileType::None:
      break;
  }
  return "image series";
}

Rational frameRateOf(float fps) {
  struct Known {
    float fps;
    Rational rate;
  };
  for (const Known& known : {Known{23.976f, {24000, 1001}}, Known{23.98f, {24000, 1001}},
                             Known{29.97f, {30000, 1001}}, Known{59.94f, {60000, 1001}},
                             Known{47.952f, {48000, 1001}}, Known{119.88f, {120000, 1001}}}) {
    if (std::fabs(fps - known.fps) < 0.0005f) return known.rate;
  }
  const long hundredths = std::lround(static_cast<double>(fps) * 100.0);
  if (hundredths <= 0 || hundredths > 100'000'000) return {30, 1};
  const long divisor = std::gcd(hundredths, 100L);
  return {static_cast<int>(hundredths / divisor), static_cast<int>(100 / divisor)};
}

std::unique_ptr<AnimationWriter> makeAnimationWriter(OneFileType type) {
  switch (type) {
    case OneFileType::Gif:
      return std::make_unique<GifWriter>();
    case OneFileType::WebP:
      return std::make_unique<WebpWriter>();
    case OneFileType::Apng:
      return std::make_unique<ApngWriter>();
    case OneFileType::Mp4:
    case OneFileType::WebM:
    case OneFileType::Mov:
    case OneFileType::Mkv:
      return makeVideoWriter(type);
    case OneFileType::None:
      break;
  }
  return nullptr;
}

}  // namespace pelorix
