// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace pelorix::cli {

// While one lives, Ctrl-C, SIGTERM, a closed terminal (SIGHUP) and a reader that went away
// (SIGPIPE) set stop() instead of ending the process, so that a command can stop cleanly and
// leave nothing half written. A second Ctrl-C (or TERM, HUP) ends the process at once. One at a
// time.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  const std::atomic<bool>& stop() const;
};

}  // namespace pelorix::cli
