// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "imageio/dib_image.h"
#include "imageio/video_module.h"

namespace pelorix {

// What to do with a frame side that the codec needs even: one pixel more (of the background) or
// one less.
enum class EvenSides { Pad, Crop };

// Every setting an output format's encoder can be told: the image codecs' own, and those of the
// animations and videos. Which of them a format uses, with each one's name, range and help, is
// in the table of format options (output/format_options.h).
struct EncodeOptions : ImageEncodeOptions {
  // Videos: the constant rate factor (lower is better); -1 the codec's own default.
  int crf = -1;
  // Animated WebP: lossless instead of lossy at `quality`.
  bool lossless = false;
  // Videos: the codec, the speed preset, a bit rate (bits per second) instead of a CRF, the
  // ProRes profile; each default is the container's own.
  video::Codec codec = video::Codec::Default;
  video::Preset preset = video::Preset::Default;
  int64_t bitrate = 0;
  video::ProResProfile proresProfile = video::ProResProfile::Default;
  // Videos whose codec shares chroma between pixels: an odd side padded or cropped.
  EvenSides even = EvenSides::Pad;
  // Animated GIF, WebP and PNG: how many times the animation plays; 0 for ever.
  int loop = 0;
  // GIF: one palette for every frame instead of one per frame, and the dithering from 0 (none)
  // to 1 (Floyd-Steinberg).
  bool globalPalette = false;
  float dither = 1.0f;
};

}  // namespace pelorix
