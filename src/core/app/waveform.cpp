// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/waveform.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

#include "imageio/video_module_loader.h"

namespace pelorix {

std::string readWaveform(const std::string& path, Waveform& out, int rate, double maxSeconds) {
  const VideoModule& module = videoModule();
  if (!module.makeDecoder) return module.error;
  std::unique_ptr<video::Decoder> decoder(module.makeDecoder(video::kInterfaceVersion));
  if (!decoder) return "the video module is of another Pelorix version";
  std::vector<float> samples;
  if (std::string failed = decoder->readAudio(path, rate, maxSeconds, samples); !failed.empty())
    return failed;
  out = Waveform(std::move(samples), rate);
  return {};
}

Waveform::Waveform(std::vector<float> samples, int rate)
    : samples_(std::move(samples)), rate_(rate) {
  for (size_t i = 0; i < samples_.size(); i += kBlock) {
    const auto end =
        samples_.begin() + static_cast<std::ptrdiff_t>(std::min(samples_.size(), i + kBlock));
    const auto [low, high] =
        std::minmax_element(samples_.begin() + static_cast<std::ptrdiff_t>(i), end);
    blocks_.emplace_back(*low, *high);
  }
}

std::vector<std::pair<float, float>> Waveform::peaks(double t0, double secondsPerPixel, int pixels,
                                                     double offset) const {
  std::vector<std::pair<float, float>> out(static_cast<size_t>(std::max(0, pixels)));
  if (empty() || !(secondsPerPixel > 0.0)) return out;
  const double perPixel = secondsPerPixel * rate_;  // samples under a pixel
  const int64_t count = static_cast<int64_t>(samples_.size());
  for (int p = 0; p < pixels; ++p) {
    const double start = (t0 + p * secondsPerPixel - offset) * rate_;
    int64_t a = static_cast<int64_t>(std::floor(start));
    int64_t b = static_cast<int64_t>(std::floor(start + perPixel));
    a = std::clamp<int64_t>(a, 0, count);
    b = std::clamp<int64_t>(std::max(b, a + 1), 0, count);
    if (a >= b) continue;
    float low = 1.0f, high = -1.0f;
    // Whole blocks from their table; the ends sample by sample.
    int64_t i = a;
    while (i < b) {
      if (i % kBlock == 0 && i + kBlock <= b) {
        const auto& block = blocks_[static_cast<size_t>(i / kBlock)];
        low = std::min(low, block.first);
        high = std::max(high, block.second);
        i += kBlock;
      } else {
        low = std::min(low, samples_[static_cast<size_t>(i)]);
        high = std::max(high, samples_[static_cast<size_t>(i)]);
        ++i;
      }
    }
    out[static_cast<size_t>(p)] = {low, high};
  }
  return out;
}

std::vector<int16_t> Waveform::slice(double t, double offset, double seconds) const {
  if (empty() || !(seconds > 0.0)) return {};
  const int64_t n = static_cast<int64_t>(std::lround(seconds * rate_));
  const int64_t first = static_cast<int64_t>(std::floor((t - offset) * rate_));
  const int64_t fade = std::max<int64_t>(1, std::min<int64_t>(n / 4, rate_ / 200));  // 5 ms
  std::vector<int16_t> out(static_cast<size_t>(n), 0);
  for (int64_t k = 0; k < n; ++k) {
    const int64_t i = first + k;
    if (i < 0 || i >= static_cast<int64_t>(samples_.size())) continue;
    double gain = 1.0;
    if (k < fade) gain = double(k) / fade;
    if (n - 1 - k < fade) gain = std::min(gain, double(n - 1 - k) / fade);
    const double v = std::clamp(double(samples_[static_cast<size_t>(i)]) * gain, -1.0, 1.0);
    out[static_cast<size_t>(k)] = static_cast<int16_t>(std::lround(v * 32767.0));
  }
  return out;
}

}  // namespace pelorix
