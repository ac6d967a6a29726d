// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pelorix {

// Receives the one-line messages that the core produces (the message log of the main window,
// stderr of the command-line tool). The core never prints on its own.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void appendLog(const std::string& line) = 0;
};

// Drops every line.
class NullLogSink final : public LogSink {
 public:
  void appendLog(const std::string&) override {}
};

}  // namespace pelorix
