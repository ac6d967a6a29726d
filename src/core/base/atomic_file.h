// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pelorix {

// Why a file operation failed: the errno value and a readable text naming the file.
struct FileError {
  int error = 0;
  std::string message;
};

enum class Durability { Flush, Sync };

// A file written under a temporary name in the target's folder and renamed over the target on
// commit(), so readers never see a partial file and a failed write leaves the old file intact.
// Dropping the object without commit() removes the temporary file. A target that is a symbolic
// link is written through: the temporary file goes beside the file the link points to and
// replaces that file, so the link stays and its target gets the new content. Only a regular file
// or a new name is written: a device, FIFO, socket or folder (directly or through a link) is
// refused and left as it is. The writer holds a lock on its temporary file (flock) until the file
// is renamed or removed; the kernel drops it when the process dies, which is how a later run
// tells a temporary file that nobody writes any more ("." kTemporaryPrefix "host-pid-XXXXXX").
class AtomicFile {
 public:
  explicit AtomicFile(std::string targetPath);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false with error() set when that is impossible.
  bool open();
  int fd() const { return fd_; }
  const std::string& temporaryPath() const { return tempPath_; }
  bool write(const void* data, size_t size);
  // Flushes (and with Durability::Sync syncs) the data, gives the file the permissions a newly
  // created file would have (or the old file's), and renames it over the target.
  bool commit(Durability durability = Durability::Flush);

  const FileError& error() const { return error_; }

 private:
  bool fail(int error);

  std::string given_;
  std::string target_;
  std::string tempPath_;
  int fd_ = -1;
  bool committed_ = false;
  FileError error_;
};

inline constexpr const char* kTemporaryPrefix = "pelorix-tmp-";

// Reads a whole regular file; nothing (with the reason) when it cannot be opened or read. A
// folder, device, FIFO or socket is refused without reading from it (and without blocking on
// it), as is a file larger than `maxBytes`.
std::optional<std::string> readFileBytes(const std::string& path, FileError* error,
                                         uint64_t maxBytes = uint64_t{1} << 31);

// The first `maxBytes` bytes of a regular file (all of a shorter one), with the same refusals.
std::optional<std::string> readFilePrefix(const std::string& path, uint64_t maxBytes,
                                          FileError* error);

// The file a path finally names after following symbolic links (the path itself when it is
// not a link or does not exist).
std::string resolveSymlinks(const std::string& path);

// Removes the temporary files in `folder` that no process writes any more (left by a crash or
// kill -9): those whose lock nobody holds; returns how many. A file made a moment ago by a live
// process of this host, which may not hold its lock yet, stays.
int removeStaleTemporaries(const std::string& folder);

// Why `path` cannot be written as a file: empty for a regular file or a name that does not exist
// yet, else a text such as "a FIFO, not a regular file" (links are followed).
std::string notAFileReason(const std::string& path);

// One-shot form of AtomicFile.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> data,
                         Durability durability, FileError* error);

}  // namespace pelorix
