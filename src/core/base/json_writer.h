// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace pelorix {

// A minimal streaming JSON writer: objects, arrays, strings (UTF-8 in, escaped out), numbers.
class JsonWriter {
 public:
  void beginObject();
  void endObject();
  void beginArray();
  void endArray();
  void key(std::string_view name);
  void value(std::string_view text);
  void value(const char* text) { value(std::string_view(text)); }
  void value(int number);
  void value(long long number);
  void value(float number);   // shortest text that reads back as the same float; null if not finite
  void value(double number);  // the same for a double
  void value(bool flag);
  // A key and its value.
  template <typename T>
  void field(std::string_view name, const T& content) {
    key(name);
    value(content);
  }
  const std::string& text() const { return out_; }

 private:
  void separate();
  std::string out_;
  bool needComma_ = false;
  int depth_ = 0;
};

}  // namespace pelorix
