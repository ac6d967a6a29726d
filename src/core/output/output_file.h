// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "base/atomic_file.h"
#include "imageio/image_error.h"

namespace pelorix {

// The file of a one-file writer: written through a descriptor under a temporary name, moved into
// place by commit(), removed when dropped unfinished. "-" is standard output, written as it
// comes.
class OutputFile {
 public:
  ImageError open(const std::string& path) {
    if (path == "-") {
      standardOutput_ = true;
      return {};
    }
    file_.emplace(path);
    if (!file_->open()) return ImageError(E_FAIL, file_->error().message);
    return {};
  }
  bool write(const void* data, size_t size) {
    if (standardOutput_) return writeAll(data, size);
    return file_ && file_->write(data, size);
  }
  ImageError put(const void* data, size_t size) {
    if (!write(data, size)) return ImageError(E_FAIL, error());
    return {};
  }
  ImageError commit() {
    if (standardOutput_) return {};
    if (!file_ || !file_->commit(Durability::Flush)) return ImageError(E_FAIL, error());
    return {};
  }
  std::string error() const {
    if (standardOutput_) return "standard output: " + std::string(std::strerror(errno_));
    return file_ ? file_->error().message : std::string("no file");
  }

 private:
  bool writeAll(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t written = ::write(STDOUT_FILENO, bytes, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        errno_ = written < 0 ? errno : EIO;
        return false;
      }
      bytes += written;
      size -= static_cast<size_t>(written);
    }
    return true;
  }

  std::optional<AtomicFile> file_;
  bool standardOutput_ = false;
  int errno_ = 0;
};

}  // namespace pelorix
