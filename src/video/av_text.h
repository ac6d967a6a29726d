// SPDX-License-Identifier: GPL-3.0-or-later
// Texts of FFmpeg's error codes, for the module's results.
#pragma once

extern "C" {
#include <libavutil/error.h>
}

#include <cstdio>
#include <cstring>
#include <string>

namespace pelorix::video {

inline std::string avErrorText(int code) {
  // A system error's text may be longer than FFmpeg's buffer (in Japanese it often is).
  if (code < 0 && code > -4096) return std::strerror(AVUNERROR(code));
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return text;
}

// "video: <what>: <FFmpeg's reason>"
inline std::string avFailure(const char* what, int code) {
  char message[AV_ERROR_MAX_STRING_SIZE + 160];
  std::snprintf(message, sizeof message, "video: %s: %s", what, avErrorText(code).c_str());
  return message;
}

}  // namespace pelorix::video
