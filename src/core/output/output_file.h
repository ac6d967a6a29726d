// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "base/atomic_file.h"
#include "imageio/image_error.h"

namespace pelorix {

// The file of a one-file writer: written through a descriptor under a temporary name, moved into
// place by commit(), removed when dropped unfinished.
class OutputFile {
 public:
  ImageError open(const std::string& path) {
    file_.emplace(path);
    if (!file_->open()) return ImageError(E_FAIL, file_->error().message);
    return {};
  }
  bool write(const void* data, size_t size) { return file_ && file_->write(data, size); }
  ImageError put(const void* data, size_t size) {
    if (!write(data, size)) return ImageError(E_FAIL, error());
    return {};
  }
  ImageError commit() {
    if (!file_ || !file_->commit(Durability::Flush)) return ImageError(E_FAIL, error());
    return {};
  }
  std::string error() const { return file_ ? file_->error().message : std::string("no file"); }

 private:
  std::optional<AtomicFile> file_;
};

}  // namespace pelorix
