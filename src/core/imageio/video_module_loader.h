// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "imageio/video_module.h"

namespace pelorix {

// The video module, loaded on first use: PELORIX_MODULEDIR, beside an installed program (its
// library folder), in the build tree, or the configured install folder.
struct VideoModule {
  video::MakeEncoder makeEncoder = nullptr;
  video::MakeDecoder makeDecoder = nullptr;
  video::MakeJoiner makeJoiner = nullptr;
  std::string error;  // why there is none (where it was looked for)
};
const VideoModule& videoModule();

// Why videos cannot be written or read here; empty when they can.
std::string videoModuleProblem();

}  // namespace pelorix
