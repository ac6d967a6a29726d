// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace pelorix {

void JsonWriter::separate() {
  if (needComma_) out_ += ',';
  needComma_ = false;
}

void JsonWriter::beginObject() {
  separate();
  out_ += '{';
  ++depth_;
}

void JsonWriter::endObject() {
  out_ += '}';
  --depth_;
  needComma_ = true;
}

void JsonWriter::beginArray() {
  separate();
  out_ += '[';
  ++depth_;
}

void JsonWriter::endArray() {
  out_ += ']';
  --depth_;
  needComma_ = true;
}

void JsonWriter::key(std::string_view name) {
  value(name);
  out_ += ':';
  needComma_ = false;
}

namespace {

// The length of the valid UTF-8 sequence at `at` (a scalar value, so no surrogate), or 0.
size_t validSequence(std::string_view text, size_t at) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // U+D800-DFFF are no characters
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

void JsonWriter::value(std::string_view text) {
  separate();
  out_ += '"';
  for (size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      // Bytes that are no UTF-8 (kept by a project read as they were) become U+FFFD: the
      // output is always valid UTF-8.
      const size_t length = validSequence(text, at);
      if (length == 0) {
        out_ += "\xEF\xBF\xBD";
        // An encoded surrogate (a byte the text reader could not read) is one character.
        const auto next = [&text](size_t i) {
          return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        };
        if (byte == 0xED && next(at + 1) >= 0xA0 && next(at + 1) <= 0xBF && next(at + 2) >= 0x80 &&
            next(at + 2) <= 0xBF) {
          at += 2;
        }
      } else {
        out_.append(text.substr(at, length));
        at += length - 1;
      }
      continue;
    }
    switch (c) {
      case '"':
        out_ += "\\\"";
        break;
      case '\\':
        out_ += "\\\\";
        break;
      case '\n':
        out_ += "\\n";
        break;
      case '\r':
        out_ += "\\r";
        break;
      case '\t':
        out_ += "\\t";
        break;
      default:
        if (byte < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out_ += escaped;
        } else {
          out_ += c;
        }
    }
  }
  out_ += '"';
  needComma_ = true;
}

void JsonWriter::value(int number) {
  value(static_cast<long long>(number));
}

void JsonWriter::value(long long number) {
  separate();
  out_ += std::to_string(number);
  needComma_ = true;
}

namespace {

// The shortest text that reads back as the same number; null for what JSON cannot hold.
template <typename Number>
void appendNumber(std::string& out, Number number) {
  if (!std::isfinite(number)) {
    out += "null";
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.append(buffer, result.ptr);
}

}  // namespace

void JsonWriter::value(float number) {
  separate();
  appendNumber(out_, number);
  needComma_ = true;
}

void JsonWriter::value(double number) {
  separate();
  appendNumber(out_, number);
  needComma_ = true;
}

void JsonWriter::value(bool flag) {
  separate();
  out_ += flag ? "true" : "false";
  needComma_ = true;
}

}  // namespace pelorix
