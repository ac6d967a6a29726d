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
// Dropping the object without commit() removes the temporary file.
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
  // For writers that close the descriptor themselves (libtiff): commit without touching fd().
  void releaseDescriptor() { fd_ = -1; }
  const FileError& error() const { return error_; }

 private:
  bool fail(int error, const std::string& what);

  std::string target_;
  std::string tempPath_;
  int fd_ = -1;
  bool committed_ = false;
  FileError error_;
};

// Reads a whole regular file; nothing (with the reason) when it cannot be opened or read,
// a folder included.
std::optional<std::string> readFileBytes(const std::string& path, FileError* error);

// One-shot form of AtomicFile.
bool writeFileAtomically(const std::string& path, std::span<const uint8_t> data,
                         Durability durability, FileError* error);

}  // namespace pelorix
