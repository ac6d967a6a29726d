// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace pelorix {

// ASCII letter case, for extensions, option values and settings keys: only A-Z fold, so the
// bytes of UTF-8 and CP932 characters stay as they are.
constexpr char foldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = foldAscii(c);
  return out;
}

constexpr bool equalFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace pelorix
