// SPDX-License-Identifier: GPL-3.0-or-later
// APNG: the PNG writer's compression with our own animation chunks.
#include <algorithm>
#include <vector>

#include "base/c_locale.h"
#include "imageio/png_writer.h"
#include "output/output_file.h"
#include "output/writers.h"

namespace pelorix {
namespace {

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
    return file_.put(head.data(), head.size());
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
    return file_.put(out.data(), out.size());
  }

  ImageError finish() override {
    if (written_ != std::max(1, settings_.frames)) {
      return ImageError(
          E_FAIL, formatC("APNG: %d frames announced, %d written", settings_.frames, written_));
    }
    std::vector<uint8_t> end;
    appendPngChunk(end, "IEND", nullptr, 0);
    if (ImageError ended = file_.put(end.data(), end.size()); ended.failed()) return ended;
    return file_.commit();
  }

 private:
  AnimationSettings settings_;
  OutputFile file_;
  uint32_t sequence_ = 0;
  int written_ = 0;
  int delayNum_ = 1;
  int delayDen_ = 30;
};

}  // namespace

std::unique_ptr<AnimationWriter> makeApngWriter(const OutputFormat&) {
  return std::make_unique<ApngWriter>();
}

}  // namespace pelorix
