// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace pelorix {

void openStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is this one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace pelorix
