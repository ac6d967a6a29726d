// SPDX-License-Identifier: GPL-3.0-or-later
// Animated GIF as a moving picture: giflib reads the frames one after another; each is drawn on
// the frames before it as its disposal says, so frame k is made by reading on from the last
// frame made (or from the start, to go back).
#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"
#include "imageio/gif_memory.h"

namespace pelorix {
namespace {

ImageError gifError(int code) {
  const char* text = GifErrorString(code);
  return ImageError(E_FAIL, std::string("GIF: ") + (text ? text : "cannot read the file"));
}

// A pixel in memory order blue, green, red, alpha, whatever the processor's byte order.
uint32_t bgra(uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha) {
  const uint8_t bytes[4] = {blue, green, red, alpha};
  uint32_t pixel;
  std::memcpy(&pixel, bytes, 4);
  return pixel;
}

struct FrameInfo {
  int disposal = DISPOSAL_UNSPECIFIED;
  int transparent = NO_TRANSPARENT_COLOR;
  int delay = 0;  // hundredths of a second
};

class GifFrames final : public FrameSource {
 public:
  explicit GifFrames(std::string bytes) : bytes_(std::move(bytes)) {}
  ~GifFrames() override { close(); }
  const char* kind() const override { return N_("アニメーション GIF"); }

  // Reads the frames' delays and disposals; false (error set) for a file giflib refuses. A frame
  // cut short counts (its decode fails and is reported); a file that ends after a whole frame
  // without its trailer plays the frames it has.
  bool scan(ImageError& error) {
    if (ImageError opened = restart(); opened.failed()) {
      error = opened;
      return false;
    }
    std::vector<double> lengths;
    for (;;) {
      FrameInfo info;
      bool image = false;
      const ImageError read = nextImage(info, image, nullptr);
      if (read.failed() && lengths.empty() && !image) {
        error = read;
        return false;
      }
      if (!image && !read.failed()) break;
      // A read that failed after the frames before it is a frame cut short.
      frames_.push_back(info);
      lengths.push_back(info.delay / 100.0);
      if (read.failed()) {
        firstBad_ = static_cast<int64_t>(frames_.size()) - 1;
        break;
      }
    }
    timing_ = FrameTiming::fromLengths(lengths);
    // Decoding starts from the first frame, whatever frame is asked for first.
    if (ImageError opened = restart(); opened.failed()) {
      error = opened;
      return false;
    }
    return true;
  }

  ImageError decode(int64_t k, DibImage& out) override {
    if (firstBad_ >= 0 && k >= firstBad_) {
      return ImageError(E_FAIL, formatC("GIF: frame %lld is damaged or cut short",
                                        static_cast<long long>(firstBad_)));
    }
    // Going back, or after a read that failed: from the start.
    if (k < next_ - 1 || broken_) {
      if (ImageError opened = restart(); opened.failed()) return opened;
    }
    while (next_ <= k) {
      FrameInfo info;
      bool image = false;
      ImageError read = nextImage(info, image, &canvas_);
      if (!read.failed() && !image) {
        read = ImageError(E_FAIL,
                          formatC("GIF: frame %lld is missing", static_cast<long long>(next_)));
      }
      if (read.failed()) {
        firstBad_ = firstBad_ < 0 ? next_ : std::min(firstBad_, next_);
        broken_ = true;
        return read;
      }
    }
    return copyCanvas(canvas_, width_, height_, out);
  }

  int64_t standIn(int64_t failed) const override {
    return (firstBad_ >= 0 ? std::min(failed, firstBad_) : failed) - 1;
  }

 private:
  void close() {
    if (gif_) DGifCloseFile(gif_, nullptr);
    gif_ = nullptr;
  }

  ImageError restart() {
    close();
    reader_ = {bytes_, 0};
    int code = 0;
    gif_ = DGifOpen(&reader_, readGifMemory, &code);
    if (!gif_) return gifError(code);
    if (!withinImageLimits(gif_->SWidth, gif_->SHeight))
      return tooLarge(gif_->SWidth, gif_->SHeight);
    width_ = gif_->SWidth;
    height_ = gif_->SHeight;
    canvas_.assign(static_cast<size_t>(width_) * height_, 0);  // transparent, as browsers start
    next_ = 0;
    broken_ = false;
    pendingDisposal_ = DISPOSAL_UNSPECIFIED;
    return {};
  }

  // Reads on to the next image: its graphic control, and (with `canvas`) its pixels drawn on
  // the canvas after the last frame's disposal; `image` false at the end of the file.
  ImageError nextImage(FrameInfo& info, bool& image, std::vector<uint32_t>* canvas) {
    for (;;) {
      GifRecordType type = UNDEFINED_RECORD_TYPE;
      if (DGifGetRecordType(gif_, &type) == GIF_ERROR) return gifError(gif_->Error);
      if (type == TERMINATE_RECORD_TYPE) {
        image = false;
        return {};
      }
      if (type == EXTENSION_RECORD_TYPE) {
        if (ImageError read = readExtension(info); read.failed()) return read;
        continue;
      }
      if (type != IMAGE_DESC_RECORD_TYPE) continue;
      if (DGifGetImageDesc(gif_) == GIF_ERROR) return gifError(gif_->Error);
      image = true;
      const ImageError read = canvas ? drawImage(info, *canvas) : skipImage();
      if (read.failed()) return read;
      ++next_;
      return {};
    }
  }

  ImageError readExtension(FrameInfo& info) {
    int code = 0;
    GifByteType* data = nullptr;
    if (DGifGetExtension(gif_, &code, &data) == GIF_ERROR) return gifError(gif_->Error);
    if (code == GRAPHICS_EXT_FUNC_CODE && data && data[0] >= 4) {
      GraphicsControlBlock control{};
      DGifExtensionToGCB(data[0], data + 1, &control);
      info.disposal = control.DisposalMode;
      info.transparent = control.TransparentColor;
      info.delay = control.DelayTime;
    }
    while (data) {
      if (DGifGetExtensionNext(gif_, &data) == GIF_ERROR) return gifError(gif_->Error);
    }
    return {};
  }

  ImageError skipImage() {
    int size = 0;
    GifByteType* code = nullptr;
    if (DGifGetCode(gif_, &size, &code) == GIF_ERROR) return gifError(gif_->Error);
    while (code) {
      if (DGifGetCodeNext(gif_, &code) == GIF_ERROR) return gifError(gif_->Error);
    }
    return {};
  }

  ImageError drawImage(const FrameInfo& info, std::vector<uint32_t>& canvas) {
    // What the previous frame asked to leave behind it.
    if (pendingDisposal_ == DISPOSE_BACKGROUND) clearRect(canvas, pendingRect_);
    if (pendingDisposal_ == DISPOSE_PREVIOUS && !saved_.empty()) canvas = saved_;
    const GifImageDesc& desc = gif_->Image;
    if (info.disposal == DISPOSE_PREVIOUS) saved_ = canvas;
    pendingDisposal_ = info.disposal;
    pendingRect_ = desc;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif_->SColorMap;
    if (desc.Width <= 0 || desc.Height <= 0 || desc.Width > 65535) return skipImage();
    std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
    // Interlaced images come in four passes of rows.
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
      const int first = desc.Interlace ? kStart[pass] : 0;
      const int step = desc.Interlace ? kStep[pass] : 1;
      for (int row = first; row < desc.Height; row += step) {
        if (DGifGetLine(gif_, line.data(), desc.Width) == GIF_ERROR) return gifError(gif_->Error);
        const int y = desc.Top + row;
        if (y < 0 || y >= height_) continue;
        for (int x = 0; x < desc.Width; ++x) {
          const int column = desc.Left + x;
          const int index = line[static_cast<size_t>(x)];
          if (column < 0 || column >= width_ || index == info.transparent) continue;
          if (!map || index >= map->ColorCount) continue;
          const GifColorType& c = map->Colors[index];
          canvas[static_cast<size_t>(y) * width_ + column] = bgra(c.Blue, c.Green, c.Red, 255);
        }
      }
    }
    return {};
  }

  void clearRect(std::vector<uint32_t>& canvas, const GifImageDesc& rect) const {
    for (int y = std::max(0, rect.Top); y < std::min(height_, rect.Top + rect.Height); ++y) {
      for (int x = std::max(0, rect.Left); x < std::min(width_, rect.Left + rect.Width); ++x)
        canvas[static_cast<size_t>(y) * width_ + x] = 0;
    }
  }

  std::string bytes_;
  GifMemoryReader reader_;
  GifFileType* gif_ = nullptr;
  std::vector<FrameInfo> frames_;
  std::vector<uint32_t> canvas_;  // B, G, R, A pixels of the last frame made
  std::vector<uint32_t> saved_;
  int64_t next_ = 0;       // the frame the reader is at
  int64_t firstBad_ = -1;  // the first frame that cannot be read (-1: none found)
  bool broken_ = false;    // the last read failed: the reader starts again
  int pendingDisposal_ = DISPOSAL_UNSPECIFIED;
  GifImageDesc pendingRect_{};
};

}  // namespace

std::unique_ptr<FrameSource> openGifFrames(std::string bytes, ImageError& error) {
  auto gif = std::make_unique<GifFrames>(std::move(bytes));
  if (!gif->scan(error)) return nullptr;
  if (gif->timing().frames <= 1) return nullptr;  // one frame: a still picture
  return gif;
}

}  // namespace pelorix
