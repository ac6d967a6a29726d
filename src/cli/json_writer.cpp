// SPDX-License-Identifier: GPL-3.0-or-later
#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace pelorix::cli {

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

void JsonWriter::value(std::string_view text) {
  separate();
  out_ += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
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

void JsonWriter::value(float number) {
  separate();
  if (!std::isfinite(number)) {
    out_ += "null";
  } else {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    out_.append(buffer, result.ptr);
  }
  needComma_ = true;
}

void JsonWriter::value(bool flag) {
  separate();
  out_ += flag ? "true" : "false";
  needComma_ = true;
}

}  // namespace pelorix::cli
