// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace pelorix {
namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// The escape of a byte that is not CP932: the three bytes of U+DC00 + byte (ED B2 80 to ED B3
// BF for bytes 0x80-0xFF), a surrogate that valid UTF-8 cannot contain.
void appendEscape(std::string& out, uint8_t byte) {
  const uint32_t code = 0xDC00u + byte;
  out += static_cast<char>(0xE0 | (code >> 12));
  out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (code & 0x3F));
}

// The byte an escape at `text[i]` stands for, or -1 when there is none.
int escapedByte(std::string_view text, size_t i) {
  if (i + 2 >= text.size() || static_cast<uint8_t>(text[i]) != 0xED) return -1;
  const auto b1 = static_cast<uint8_t>(text[i + 1]);
  const auto b2 = static_cast<uint8_t>(text[i + 2]);
  if (b1 != 0xB2 && b1 != 0xB3) return -1;
  if ((b2 & 0xC0) != 0x80) return -1;
  return static_cast<int>(((b1 & 0x3Fu) << 6 | (b2 & 0x3Fu)) - 0xC00u);
}

}  // namespace

const char* encodingName(TextEncoding encoding) {
  return encoding == TextEncoding::Cp932 ? "cp932" : "utf-8";
}

bool isValidUtf8(std::string_view bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    const auto c = static_cast<uint8_t>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    uint32_t minimum;
    uint32_t code;
    if ((c & 0xE0) == 0xC0) {
      extra = 1, minimum = 0x80, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2, minimum = 0x800, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3, minimum = 0x10000, code = c & 0x07;
    } else {
      return false;
    }
    if (n - i <= static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto follow = static_cast<uint8_t>(bytes[i + k]);
      if ((follow & 0xC0) != 0x80) return false;
      code = (code << 6) | (follow & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

// Runs `bytes` through a converter. A byte the converter refuses is either escaped (`escape`)
// or ends the conversion with nothing.
static std::optional<std::string> convert(const char* to, const char* from, std::string_view bytes,
                                          bool escape) {
  Iconv cd(to, from);
  if (!cd.valid()) return std::nullopt;
  std::string out;
  out.reserve(bytes.size() * 3 / 2 + 4);
  char buffer[256];
  auto* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ, or a character cut short at the end.
      if (!escape) return std::nullopt;
      appendEscape(out, static_cast<uint8_t>(*in));
      ++in;
      --inLeft;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    } else if (result > 0 && !escape) {
      return std::nullopt;  // glibc counts irreversible conversions here: something was lost
    }
  }
  return out;
}

std::string cp932ToUtf8(std::string_view bytes) {
  if (std::optional<std::string> text = convert("UTF-8", "CP932", bytes, true)) return *text;
  // Without a converter keep ASCII and escape the rest.
  std::string out;
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) < 0x80) {
      out += c;
    } else {
      appendEscape(out, static_cast<uint8_t>(c));
    }
  }
  return out;
}

std::optional<std::string> utf8ToCp932(std::string_view text) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const int byte = escapedByte(text, i);
    if (byte < 0) continue;
    const std::optional<std::string> part =
        convert("CP932", "UTF-8", text.substr(start, i - start), false);
    if (!part) return std::nullopt;
    out += *part;
    out += static_cast<char>(byte);
    i += 2;
    start = i + 1;
  }
  const std::optional<std::string> rest = convert("CP932", "UTF-8", text.substr(start), false);
  if (!rest) return std::nullopt;
  return out + *rest;
}

bool hasByteEscapes(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (escapedByte(text, i) >= 0) return true;
  }
  return false;
}

std::string toFileSystemPath(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const int byte = escapedByte(text, i);
    if (byte < 0) {
      out += text[i];
    } else {
      out += static_cast<char>(byte);
      i += 2;
    }
  }
  return out;
}

}  // namespace pelorix
