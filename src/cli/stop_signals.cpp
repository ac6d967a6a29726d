// SPDX-License-Identifier: GPL-3.0-or-later
#include "stop_signals.h"

#include <csignal>

namespace pelorix::cli {
namespace {

std::atomic<bool> gStop{false};
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void onStop(int signal) {
  gStop = true;
  // A broken pipe stays broken, so its later writes just fail.
  std::signal(signal, signal == SIGPIPE ? SIG_IGN : SIG_DFL);
}

}  // namespace

StopSignals::StopSignals() {
  gStop = false;
  for (int signal : kStopSignals)
    std::signal(signal, onStop);
}

StopSignals::~StopSignals() {
  for (int signal : kStopSignals)
    std::signal(signal, SIG_DFL);
}

const std::atomic<bool>& StopSignals::stop() const {
  return gStop;
}

}  // namespace pelorix::cli
