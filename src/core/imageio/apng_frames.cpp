// SPDX-License-Identifier: GPL-3.0-or-later
// Animated PNG as a moving picture. Each frame's data (IDAT, or fdAT without its sequence
// number) is made into a PNG of the frame's size and decoded by the PNG reader; the frame is then
// laid on the frames before it as its blend and disposal operations say.
#include <algorithm>
#include <cstring>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"
#include "imageio/pixel_convert.h"
#include "imageio/png_writer.h"

namespace pelorix {
namespace {

uint32_t big32(const std::string& bytes, size_t at) {
  return readBig32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

uint16_t big16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) << 8 |
                               static_cast<uint8_t>(bytes[at + 1]));
}

struct Frame {
  uint32_t width = 0, height = 0, left = 0, top = 0;
  double length = 0.0;
  uint8_t dispose = 0, blend = 0;               // 0 none / source, 1 background / over, 2 previous
  std::vector<std::pair<size_t, size_t>> data;  // where its compressed data lies (at, size)
};

class ApngFrames final : public FrameSource {
 public:
  explicit ApngFrames(std::string bytes) : bytes_(std::move(bytes)) {}
  const char* kind() const override { return N_("アニメーション PNG"); }

  bool scan(ImageError& error) {
    Frame* current = nullptr;
    for (size_t at = 8; at + 12 <= bytes_.size();) {
      const size_t length = big32(bytes_, at);
      if (length > bytes_.size() - at - 12) break;  // cut short: the frames so far count
      const std::string type = bytes_.substr(at + 4, 4);
      const size_t data = at + 8;
      if (type == "IHDR" && length >= 13) {
        width_ = static_cast<int>(big32(bytes_, data));
        height_ = static_cast<int>(big32(bytes_, data + 4));
        header_.assign(bytes_.begin() + static_cast<ptrdiff_t>(data),
                       bytes_.begin() + static_cast<ptrdiff_t>(data + 13));
      } else if (type == "fcTL" && length >= 26) {
        frames_.emplace_back();
        current = &frames_.back();
        current->width = big32(bytes_, data + 4);
        current->height = big32(bytes_, data + 8);
        current->left = big32(bytes_, data + 12);
        current->top = big32(bytes_, data + 16);
        const uint16_t num = big16(bytes_, data + 20), den = big16(bytes_, data + 22);
        current->length = static_cast<double>(num) / (den == 0 ? 100.0 : den);
        current->dispose = static_cast<uint8_t>(bytes_[data + 24]);
        current->blend = static_cast<uint8_t>(bytes_[data + 25]);
      } else if (type == "IDAT" && current) {
        current->data.emplace_back(data, length);
      } else if (type == "fdAT" && current && length >= 4) {
        current->data.emplace_back(data + 4, length - 4);
      } else if (type != "IDAT" && type != "IEND" && type != "acTL" && !current) {
        // Palette, transparency and colour chunks belong to every frame's PNG.
        shared_.insert(shared_.end(), bytes_.begin() + static_cast<ptrdiff_t>(at),
                       bytes_.begin() + static_cast<ptrdiff_t>(at + 12 + length));
      }
      at += 12 + length;
    }
    if (header_.size() != 13 || !withinImageLimits(width_, height_)) {
      error =
          header_.size() != 13 ? ImageError(E_FAIL, "APNG: no header") : tooLarge(width_, height_);
      return false;
    }
    std::vector<double> lengths;
    for (const Frame& frame : frames_)
      lengths.push_back(frame.length);
    timing_ = FrameTiming::fromLengths(lengths);
    return true;
  }

  ImageError decode(int64_t k, DibImage& out) override {
    if (k < next_ - 1 || canvas_.empty()) {  // the start, or going back: from the start
      canvas_.assign(static_cast<size_t>(width_) * height_, 0);
      saved_.clear();
      previousDispose_ = 0;
      next_ = 0;
    }
    while (next_ <= k) {
      if (ImageError drawn = draw(frames_[static_cast<size_t>(next_)]); drawn.failed())
        return drawn;
      ++next_;
    }
    return copyCanvas(canvas_, width_, height_, out);
  }

 private:
  // The frame's own PNG: the header with its size, the shared chunks and its data.
  std::vector<uint8_t> framePng(const Frame& frame) const {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> png(kSignature, kSignature + 8);
    std::vector<uint8_t> header;
    putBig32(header, frame.width);
    putBig32(header, frame.height);
    header.insert(header.end(), header_.begin() + 8, header_.end());
    appendPngChunk(png, "IHDR", header.data(), header.size());
    png.insert(png.end(), shared_.begin(), shared_.end());
    for (const auto& [at, size] : frame.data) {
      appendPngChunk(png, "IDAT", reinterpret_cast<const uint8_t*>(bytes_.data()) + at, size);
    }
    appendPngChunk(png, "IEND", nullptr, 0);
    return png;
  }

  ImageError draw(const Frame& frame) {
    if (previousDispose_ == 1) clear(previousRect_);
    if (previousDispose_ == 2 && !saved_.empty()) canvas_ = saved_;
    if (frame.dispose == 2) saved_ = canvas_;
    previousDispose_ = frame.dispose;
    previousRect_ = frame;
    DibImage decoded;
    const std::vector<uint8_t> png = framePng(frame);
    if (ImageError read = pngCodec().decode(png, decoded); read.failed()) {
      return ImageError(read.code(), "APNG: " + read.errorMessage());
    }
    std::vector<uint8_t> row(static_cast<size_t>(decoded.width()) * 4);
    for (int y = 0; y < decoded.height(); ++y) {
      const int64_t canvasY = static_cast<int64_t>(frame.top) + y;
      if (canvasY >= height_) break;
      readRowBgra(decoded, y, row.data());
      for (int x = 0; x < decoded.width(); ++x) {
        const int64_t canvasX = static_cast<int64_t>(frame.left) + x;
        if (canvasX >= width_) break;
        uint8_t* to = reinterpret_cast<uint8_t*>(
            &canvas_[static_cast<size_t>(canvasY) * width_ + static_cast<size_t>(canvasX)]);
        place(row.data() + 4 * x, to, frame.blend == 1);
      }
    }
    return {};
  }

  // A frame's pixel on the canvas: replacing it, or over it (straight alpha).
  static void place(const uint8_t* from, uint8_t* to, bool over) {
    const int a = from[3];
    if (!over || a == 255 || to[3] == 0) {
      if (over && a == 0) return;
      std::memcpy(to, from, 4);
      return;
    }
    const int below = to[3] * (255 - a) / 255;
    const int total = a + below;
    for (int c = 0; c < 3; ++c)
      to[c] = static_cast<uint8_t>(total ? (from[c] * a + to[c] * below) / total : 0);
    to[3] = static_cast<uint8_t>(total);
  }

  void clear(const Frame& rect) {
    for (int64_t y = rect.top; y < std::min<int64_t>(height_, int64_t{rect.top} + rect.height);
         ++y) {
      for (int64_t x = rect.left; x < std::min<int64_t>(width_, int64_t{rect.left} + rect.width);
           ++x) {
        canvas_[static_cast<size_t>(y) * width_ + static_cast<size_t>(x)] = 0;
      }
    }
  }

  std::string bytes_;
  std::vector<uint8_t> header_;  // IHDR's 13 bytes
  std::vector<uint8_t> shared_;  // the chunks before the first frame, whole
  std::vector<Frame> frames_;
  std::vector<uint32_t> canvas_, saved_;
  int64_t next_ = 0;
  uint8_t previousDispose_ = 0;
  Frame previousRect_;
};

}  // namespace

std::unique_ptr<FrameSource> openApngFrames(std::string bytes, ImageError& error) {
  auto apng = std::make_unique<ApngFrames>(std::move(bytes));
  if (!apng->scan(error)) return nullptr;
  if (apng->timing().frames <= 1) return nullptr;
  return apng;
}

}  // namespace pelorix
