// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>

namespace pelorix {

// The encoder settings a format or a codec can take (their rows: output/format_options.h).
enum class FormatOption {
  Quality,
  PngLevel,
  Crf,
  Lossless,
  Codec,
  Preset,
  Bitrate,
  ProResProfile,
  Even,
  Loop,
  GifPalette,
  Dither,
};
inline constexpr int kFormatOptionCount = 12;

class FormatOptionSet {
 public:
  constexpr FormatOptionSet(std::initializer_list<FormatOption> options) {
    for (FormatOption option : options)
      bits_ |= 1u << static_cast<unsigned>(option);
  }
  constexpr bool has(FormatOption option) const {
    return (bits_ & (1u << static_cast<unsigned>(option))) != 0;
  }
  constexpr FormatOptionSet operator|(FormatOptionSet other) const {
    FormatOptionSet both{};
    both.bits_ = bits_ | other.bits_;
    return both;
  }

 private:
  unsigned bits_ = 0;
};

}  // namespace pelorix
