// SPDX-License-Identifier: GPL-3.0-or-later
// The join's readers of animation parts on arbitrary bytes: the first byte chooses GIF, WebP or
// APNG; a part that reads is joined after itself.
#include <cstdint>
#include <string>
#include <vector>

#include "output/animation_join.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  using Reader = std::string (*)(pelorix::AnimationPart&);
  using Joiner = std::string (*)(const std::vector<pelorix::AnimationPart>&, const std::string&,
                                 int, std::vector<uint8_t>&);
  const Reader readers[] = {pelorix::readGifPart, pelorix::readWebpPart, pelorix::readApngPart};
  const Joiner joiners[] = {pelorix::joinGifParts, pelorix::joinWebpParts, pelorix::joinApngParts};
  const int kind = data[0] % 3;
  pelorix::AnimationPart part;
  part.path = "part";
  part.bytes.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!readers[kind](part).empty()) return 0;
  std::vector<uint8_t> out;
  joiners[kind]({part, part}, "Pelorix part: frames 0+2 of 2; fuzz", 2 * std::max(part.frames, 1),
                out);
  return 0;
}
