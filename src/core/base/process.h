// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pelorix {

// Opens /dev/null on whichever of the standard descriptors 0, 1 and 2 is closed, so that no file
// the program opens later takes their place (a message for standard error would go into it).
// Call first thing in main().
void openStandardDescriptors();

}  // namespace pelorix
