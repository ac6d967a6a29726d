// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace pelorix {

// Bytes of memory a new allocation can count on: the kernel's estimate of available memory,
// lowered by the process's control group limit when there is one. 0 when nothing can be read.
uint64_t availableMemory();

}  // namespace pelorix
