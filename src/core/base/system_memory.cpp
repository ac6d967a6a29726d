// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/system_memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace pelorix {
namespace {

// A number from the first line of a file ("max" and failures give 0).
uint64_t numberIn(const char* path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text == "max") return 0;
  try {
    return std::stoull(text);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

uint64_t availableMemory() {
  uint64_t available = 0;
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) {
      std::istringstream fields(line.substr(13));
      uint64_t kib = 0;
      fields >> kib;
      available = kib * 1024;
      break;
    }
  }
  const uint64_t limit = numberIn("/sys/fs/cgroup/memory.max");
  if (limit > 0) {
    const uint64_t used = numberIn("/sys/fs/cgroup/memory.current");
    const uint64_t left = limit > used ? limit - used : 0;
    available = available == 0 ? left : std::min(available, left);
  }
  // A limit on the address space (ulimit -v): what is left of it.
  rlimit space{};
  if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    const uint64_t used = pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t left = space.rlim_cur > used ? space.rlim_cur - used : 0;
    available = available == 0 ? left : std::min(available, left);
  }
  return available;
}

}  // namespace pelorix
