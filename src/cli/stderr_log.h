// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iostream>
#include <mutex>

#include "base/log_sink.h"
#include "render_report.h"

namespace pelorix::cli {

// Log lines of the core on stderr, whole lines even from several threads.
class StderrLog final : public LogSink {
 public:
  void appendLog(const std::string& line) override {
    std::lock_guard lock(mutex_);
    std::cerr << terminalText(line) << '\n';
  }

 private:
  std::mutex mutex_;
};

}  // namespace pelorix::cli
