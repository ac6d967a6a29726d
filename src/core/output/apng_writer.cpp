// SPDX-License-Identifier: GPL-3.0-or-later
// APNG: the PNG writer's compression with our own animation chunks. After the first, a frame
// stores only the rectangle that changed since the frame before; it replaces those pixels
// (blend "source", dispose "none"), so every frame decodes to the composed one exactly.
#include <algorithm>
#include <vector>

#include "base/c_locale.h"
#include "imageio/pixel_convert.h"
#include "imageio/png_writer.h"
#include "output/frame_chain.h"
#include "output/output_file.h"
#include "output/part_tag.h"
#include "output/writers.h"

namespace pelorix {
namespace {

struct ApngFrame final : PreparedFrame {
  std::vector<uint8_t> zlib;
  PixelBox box;
};

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
    chain_ = std::make_unique<FrameChain>(settings.firstIndex);
    if (ImageError opened = file_.open(settings.path); opened.failed()) return opened;
    std::vector<uint8_t> head;
    appendPngSignatureAndHeader(head, settings.width, settings.height, settings.transparent);
    std::vector<uint8_t> control;
    putBig32(control, static_cast<uint32_t>(std::max(1, settings.frames)));
    putBig32(control, static_cast<uint32_t>(settings.encode.loop));  // 0: for ever
    appendPngChunk(head, "acTL", control.data(), control.size());
    if (!settings.partComment.empty()) appendPartText(head, settings.partComment);
    return file_.put(head.data(), head.size());
  }

  ImageError prepare(const DibImage& frame, int index,
                     std::unique_ptr<PreparedFrame>& out) const override {
    auto pixels = std::make_shared<std::vector<uint8_t>>();
    readPixels(frame, PixelOrder::Rgba, *pixels);
    if (!settings_.transparent) {
      for (size_t i = 3; i < pixels->size(); i += 4)
        (*pixels)[i] = 255;
    }
    chain_->publish(index, pixels);
    const FrameChain::Pixels previous = chain_->previous(index);
    const int width = settings_.width;
    auto prepared = std::make_unique<ApngFrame>();
    PixelBox& box = prepared->box;
    box = previous ? changedBox(*previous, *pixels, width, settings_.height)
                   : PixelBox{0, 0, width, settings_.height};
    if (box.empty()) box = {0, 0, 1, 1};  // nothing changed: one pixel, as it was
    const size_t stride = static_cast<size_t>(width) * 4;
    const uint8_t* first =
        pixels->data() + stride * static_cast<size_t>(box.y) + static_cast<size_t>(box.x) * 4;
    if (ImageError packed =
            compressPngRgba(first, stride, box.width, box.height, settings_.transparent,
                            settings_.encode.pngLevel, prepared->zlib);
        packed.failed()) {
      return packed;
    }
    out = std::move(prepared);
    return {};
  }

  void frameLost(int index) const override {
    if (chain_) chain_->lost(index);
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    const auto& frame = static_cast<ApngFrame&>(*prepared);
    std::vector<uint8_t> out;
    std::vector<uint8_t> control;
    putBig32(control, sequence_++);
    putBig32(control, static_cast<uint32_t>(frame.box.width));
    putBig32(control, static_cast<uint32_t>(frame.box.height));
    putBig32(control, static_cast<uint32_t>(frame.box.x));
    putBig32(control, static_cast<uint32_t>(frame.box.y));
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
  std::unique_ptr<FrameChain> chain_;
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
