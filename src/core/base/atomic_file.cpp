// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "base/c_locale.h"
#include "base/i18n.h"

namespace pelorix {
namespace {

// The process umask, read without changing it (umask(2) would race with other threads).
mode_t processUmask() {
  static const mode_t mask = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Umask:", 0) == 0)
        return static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
    }
    return static_cast<mode_t>(022);
  }();
  return mask;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// This host's name as it goes into temporary names: no '-' or '/', at most 32 bytes.
const std::string& hostTag() {
  static const std::string tag = [] {
    char name[256] = {0};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::string("host");
    std::string text(name);
    for (char& c : text) {
      if (c == '-' || c == '/' || c == '.') c = '_';
    }
    return text.substr(0, 32);
  }();
  return tag;
}

}  // namespace

std::string resolveSymlinks(const std::string& path) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length <= 0) return current;
    target.resize(static_cast<size_t>(length));
    if (target.front() != '/') {
      const size_t slash = current.find_last_of('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  return current;
}

namespace {

// Whether a temporary file's name says it is this host's and its process is still running.
bool ownerMayBeStarting(const std::string& name, const struct stat& info) {
  const std::string ours = std::string(".") + kTemporaryPrefix + hostTag() + "-";
  if (name.rfind(ours, 0) != 0) return false;
  const long pid = std::strtol(name.c_str() + ours.size(), nullptr, 10);
  const bool alive = pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
  // Between making its file and locking it a writer holds no lock, for a moment.
  return alive && info.st_mtime + 2 >= ::time(nullptr);
}

}  // namespace

int removeStaleTemporaries(const std::string& folder) {
  const std::string prefix = std::string(".") + kTemporaryPrefix;
  const std::string base = folder.empty() ? std::string(".") : folder;
  DIR* dir = ::opendir(base.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(prefix, 0) != 0) continue;
    const std::string path = base + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    // The lock is the writer's: while it is held (by a process in any PID namespace or on any
    // host sharing the folder), the file is in use.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && !ownerMayBeStarting(name, info) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

std::string notAFileReason(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  if (S_ISDIR(info.st_mode)) return _("a folder, not a file");
  if (S_ISFIFO(info.st_mode)) return _("a pipe (FIFO), not a regular file");
  if (S_ISSOCK(info.st_mode)) return _("a socket, not a regular file");
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return _("a device, not a regular file");
  return _("not a regular file");
}

AtomicFile::AtomicFile(std::string targetPath)
    : given_(std::move(targetPath)), target_(resolveSymlinks(given_)) {}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

bool AtomicFile::fail(int error) {
  error_.error = error;
  error_.message = formatC(_("cannot write %s: %s"), target_.c_str(), std::strerror(error));
  return false;
}

bool AtomicFile::open() {
  if (target_.empty()) return fail(ENOENT);
  // Devices, pipes and the like are never replaced by a file (the name as given, so that
  // /dev/stdout is called what it is).
  if (const std::string reason = notAFileReason(given_); !reason.empty()) {
    error_.error = EINVAL;
    error_.message = formatC(_("cannot write %s: it is %s"), given_.c_str(), reason.c_str());
    return false;
  }
  std::string pattern = folderOf(target_) + "/." + kTemporaryPrefix + hostTag() + "-" +
                        std::to_string(::getpid()) + "-XXXXXX";
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) return fail(errno);
  tempPath_ = pattern;
  // Held until the file is renamed or removed, or the process dies.
  ::flock(fd_, LOCK_EX | LOCK_NB);
  return true;
}

bool AtomicFile::write(const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool AtomicFile::commit(Durability durability) {
  if (tempPath_.empty()) return fail(EBADF);
  struct stat old {};
  const mode_t mode =
      ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~processUmask());
  if (fd_ >= 0) {
    if (durability == Durability::Sync && ::fsync(fd_) != 0) return fail(errno);
    ::fchmod(fd_, mode);
    if (::close(fd_) != 0) {
      fd_ = -1;
      return fail(errno);
    }
    fd_ = -1;
  } else {
    ::chmod(tempPath_.c_str(), mode);
  }
  if (::rename(tempPath_.c_str(), target_.c_str()) != 0) return fail(errno);
  committed_ = true;
  return true;
}

namespace {

// Reads a regular file; a longer one is refused (`prefix` false) or cut (`prefix` true).
std::optional<std::string> readRegularFile(const std::string& path, FileError* error,
                                           uint64_t maxBytes, bool prefix) {
  auto fail = [&](int code, const char* why = nullptr) -> std::optional<std::string> {
    if (error) {
      error->error = code;
      error->message =
          formatC(_("cannot read %s: %s"), path.c_str(), why ? why : std::strerror(code));
    }
    return std::nullopt;
  };
  // Non-blocking, so that opening a FIFO without a writer returns at once; the file type is
  // checked before anything is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(errno);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int code = errno;
    ::close(fd);
    return fail(code);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    if (S_ISDIR(info.st_mode)) return fail(EISDIR);
    return fail(EINVAL, _("not a regular file (a device, FIFO or socket)"));
  }
  if (!prefix && static_cast<uint64_t>(info.st_size) > maxBytes) {
    ::close(fd);
    return fail(EFBIG, "file too large");
  }
  std::string data;
  data.reserve(
      static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(info.st_size), maxBytes)));
  char buffer[65536];
  for (;;) {
    const size_t room =
        prefix ? std::min<uint64_t>(sizeof buffer, maxBytes - data.size()) : sizeof buffer;
    if (room == 0) break;
    const ssize_t got = ::read(fd, buffer, room);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      ::close(fd);
      return fail(code);
    }
    data.append(buffer, static_cast<size_t>(got));
    if (data.size() > maxBytes) {  // the file grew while it was read
      ::close(fd);
      return fail(EFBIG, "file too large");
    }
  }
  ::close(fd);
  return data;
}

}  // namespace

std::optional<std::string> readFileBytes(const std::string& path, FileError* error,
                                         uint64_t maxBytes) {
  return readRegularFile(path, error, maxBytes, false);
}

std::optional<std::string> readFilePrefix(const std::string& path, uint64_t maxBytes,
                                          FileError* error) {
  return readRegularFile(path, error, maxBytes, true);
}

bool writeFileAtomically(const std::string& path, std::span<const uint8_t> data,
                         Durability durability, FileError* error) {
  AtomicFile file(path);
  const bool ok = file.open() && file.write(data.data(), data.size()) && file.commit(durability);
  if (!ok && error) *error = file.error();
  return ok;
}

}  // namespace pelorix
