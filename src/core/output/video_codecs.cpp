// SPDX-License-Identifier: GPL-3.0-or-later
// The table of video codecs.
#include "output/video_codecs.h"

#include "base/ascii.h"

namespace pelorix {
namespace {

using enum FormatOption;
using VideoId = video::Codec;

// constexpr: the format table reads it while it is made, before any dynamic initialisation.
// x264 and x265 take a CRF up to 51, SVT-AV1 and libvpx up to 63; SVT-AV1 takes no side under 64
// pixels. Chroma is shared by 2 x 2
// pixels in the 4:2:0 codecs and by two columns in ProRes 4:2:2.
constexpr VideoCodec kCodecs[] = {
    {"h264", VideoId::H264, "H.264", false, true, true, 51, 23, {Crf, Bitrate, Preset, Even}},
    {"h265", VideoId::H265, "H.265", false, true, true, 51, 28, {Crf, Bitrate, Preset, Even}},
    {"av1", VideoId::Av1, "AV1", false, true, true, 63, 35, {Crf, Bitrate, Preset, Even}, 64},
    {"vp9", VideoId::Vp9, "VP9", true, true, true, 63, 31, {Crf, Bitrate, Preset, Even}},
    {"prores", VideoId::ProRes, "ProRes", true, true, false, -1, -1, {ProResProfile, Even}},
    {"ffv1", VideoId::Ffv1, "FFV1", true, false, false, -1, -1, {}},
};

}  // namespace

std::span<const VideoCodec> videoCodecs() {
  return kCodecs;
}

const VideoCodec* findVideoCodec(std::string_view name) {
  for (const VideoCodec& codec : kCodecs) {
    if (equalFolded(name, codec.name)) return &codec;
  }
  return nullptr;
}

}  // namespace pelorix
