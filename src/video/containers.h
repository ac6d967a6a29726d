// SPDX-License-Identifier: GPL-3.0-or-later
// The muxer of each container.
#pragma once

#include "imageio/video_module.h"

namespace pelorix::video {

inline const char* muxerOf(Container container) {
  switch (container) {
    case Container::Mp4:
      return "mp4";
    case Container::WebM:
      return "webm";
    case Container::Mov:
      return "mov";
    case Container::Mkv:
      return "matroska";
    case Container::Y4m:
      return "yuv4mpegpipe";
    case Container::Nut:
      return "nut";
  }
  return nullptr;
}

}  // namespace pelorix::video
