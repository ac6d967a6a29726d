// SPDX-License-Identifier: GPL-3.0-or-later
// giflib reading from and writing to memory.
#pragma once

#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace pelorix {

// What DGifOpen reads: the bytes and how far it has come (its UserData).
struct GifMemoryReader {
  std::string_view bytes;
  size_t pos = 0;
};

inline int readGifMemory(GifFileType* gif, GifByteType* out, int count) {
  auto* reader = static_cast<GifMemoryReader*>(gif->UserData);
  const size_t n =
      std::min(static_cast<size_t>(std::max(count, 0)), reader->bytes.size() - reader->pos);
  std::memcpy(out, reader->bytes.data() + reader->pos, n);
  reader->pos += n;
  return static_cast<int>(n);
}

// EGifOpen's UserData: a std::vector<uint8_t> the file is appended to.
inline int writeGifMemory(GifFileType* gif, const GifByteType* in, int count) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), in, in + count);
  return count;
}

}  // namespace pelorix
