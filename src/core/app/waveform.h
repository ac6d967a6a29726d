// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pelorix {

// A sound track as the timeline shows and scrubs it: its samples, mono, at `rate` samples a
// second, with the lowest and highest of each block of 256 kept besides for a fast overview.
class Waveform {
 public:
  Waveform() = default;
  Waveform(std::vector<float> samples, int rate);
  bool empty() const { return samples_.empty() || rate_ <= 0; }
  int rate() const { return rate_; }
  double seconds() const { return empty() ? 0.0 : double(samples_.size()) / rate_; }

  // The lowest and highest sample under each of `pixels` pixels, the first starting at `t0`
  // seconds of the animation, each `secondsPerPixel` long, for a sound that starts at `offset`
  // seconds of the animation; (0, 0) where there is no sound.
  std::vector<std::pair<float, float>> peaks(double t0, double secondsPerPixel, int pixels,
                                             double offset) const;
  // `seconds` of sound from `t` seconds of the animation as 16-bit samples (scrubbing), with
  // short fades at both ends so that slices do not click; silence outside the sound.
  std::vector<int16_t> slice(double t, double offset, double seconds) const;

 private:
  static constexpr int kBlock = 256;
  std::vector<float> samples_;
  std::vector<std::pair<float, float>> blocks_;  // the lowest and highest of each block
  int rate_ = 0;
};

// The sound of `path` (any file the video module reads), up to `maxSeconds`, at `rate` samples a
// second; "" or why it cannot be read (no video module, no sound).
std::string readWaveform(const std::string& path, Waveform& out, int rate = 16000,
                         double maxSeconds = 3600.0);

}  // namespace pelorix
