// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string_view>

#include "imageio/video_module.h"
#include "output/format_option_set.h"

namespace pelorix {

// A video codec, as --codec names it.
struct VideoCodec {
  std::string_view name;  // "h265"
  video::Codec id;
  const char* label;  // "H.265"
  bool keepsAlpha;    // ProRes only with the 4444 profile
  bool evenWidth;     // chroma shared by two columns (4:2:0 and 4:2:2)
  bool evenHeight;    // and by two rows (4:2:0)
  int maxCrf;         // -1 when it takes none
  int defaultCrf;
  FormatOptionSet options;
  int minSide = 0;  // the smallest width and height its encoder takes; 0: any
};

// Every codec --codec knows.
std::span<const VideoCodec> videoCodecs();
const VideoCodec* findVideoCodec(std::string_view name);

}  // namespace pelorix
