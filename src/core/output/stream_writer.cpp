// SPDX-License-Identifier: GPL-3.0-or-later
// Numbered frames into one stream (standard output): each frame a whole file of the series'
// type, one after the other, as ffmpeg's image2pipe reads them.
#include "imageio/codec.h"
#include "output/formats.h"
#include "output/output_file.h"
#include "output/writers.h"

namespace pelorix {
namespace {

struct EncodedFrame final : PreparedFrame {
  std::vector<uint8_t> bytes;
};

class SeriesStreamWriter final : public AnimationWriter {
 public:
  explicit SeriesStreamWriter(const OutputFormat& format) : format_(format) {}

  ImageError open(const AnimationSettings& settings) override {
    settings_ = settings;
    return file_.open(settings.path);
  }

  ImageError prepare(const DibImage& frame, int,
                     std::unique_ptr<PreparedFrame>& out) const override {
    auto encoded = std::make_unique<EncodedFrame>();
    if (ImageError error = format_.codec().encode(frame, settings_.encode, encoded->bytes);
        error.failed()) {
      return error;
    }
    out = std::move(encoded);
    return {};
  }

  ImageError write(std::unique_ptr<PreparedFrame> prepared) override {
    const auto& frame = static_cast<EncodedFrame&>(*prepared);
    return file_.put(frame.bytes.data(), frame.bytes.size());
  }

  ImageError finish() override { return file_.commit(); }

 private:
  const OutputFormat& format_;
  AnimationSettings settings_;
  OutputFile file_;
};

}  // namespace

std::unique_ptr<AnimationWriter> makeSeriesStreamWriter(const OutputFormat& format) {
  return std::make_unique<SeriesStreamWriter>(format);
}

}  // namespace pelorix
