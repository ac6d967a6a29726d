// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "render/blit_kernel.h"

namespace pelorix {

// The vector kernel, one source for every instruction set (Highway), chosen per processor at
// run time. Internal to the render folder; blit_kernel.h is the interface.
void blitRowsVector(const BlitParams& params, int rowBegin, int rowEnd);
// Whether the chosen instruction set is a real vector one (not an emulation).
bool vectorKernelAvailable();
// "" chooses the best supported set again.
bool selectVectorKernel(const std::string& name);
std::vector<std::string> vectorKernelNames();
std::string activeVectorKernel();

}  // namespace pelorix
