// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/part_tag.h"

#include <cstdio>

#include "base/c_locale.h"
#include "imageio/png_writer.h"

namespace pelorix {
namespace {

constexpr std::string_view kTagStart = "Pelorix part: frames ";

}  // namespace

void appendPartText(std::vector<uint8_t>& png, const std::string& comment) {
  std::string data(kPngPartKeyword, sizeof kPngPartKeyword);  // with its NUL
  data.append(4, '\0');  // not compressed, no language, no translated keyword
  data += comment;
  appendPngChunk(png, "iTXt", reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

std::string partComment(const PartTag& tag) {
  return std::string(kTagStart) +
         formatC("%d+%d of %d; %s", tag.first, tag.frames, tag.total, tag.settings.c_str());
}

std::optional<PartTag> parsePartComment(std::string_view comment) {
  if (comment.substr(0, kTagStart.size()) != kTagStart) return std::nullopt;
  const std::string rest(comment.substr(kTagStart.size()));
  PartTag tag;
  int used = 0;
  if (std::sscanf(rest.c_str(), "%d+%d of %d; %n", &tag.first, &tag.frames, &tag.total, &used) !=
          3 ||
      used == 0 || tag.first < 0 || tag.frames <= 0 || tag.total < tag.first + tag.frames) {
    return std::nullopt;
  }
  tag.settings = rest.substr(static_cast<size_t>(used));
  return tag;
}

}  // namespace pelorix
