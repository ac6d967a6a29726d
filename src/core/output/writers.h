// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "output/animation_writer.h"

namespace pelorix {

struct OutputFormat;

// The one-file writers, one source file each; the format table names them.
std::unique_ptr<AnimationWriter> makeGifWriter(const OutputFormat& format);
std::unique_ptr<AnimationWriter> makeWebpWriter(const OutputFormat& format);
std::unique_ptr<AnimationWriter> makeApngWriter(const OutputFormat& format);
std::unique_ptr<AnimationWriter> makeVideoWriter(const OutputFormat& format);
// Lottie: the project itself, written when the run ends (no frame is composed).
std::unique_ptr<AnimationWriter> makeLottieWriter(const OutputFormat& format);
// A series' frames one after another into a stream.
std::unique_ptr<AnimationWriter> makeSeriesStreamWriter(const OutputFormat& format);

}  // namespace pelorix
