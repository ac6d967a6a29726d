// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/paths.h"

#include <sys/stat.h>
#include <unistd.h>

namespace pelorix {

std::string folderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& path) {
  if (path.empty()) return folder;
  if (path.front() == '/' || folder.empty()) return path;
  if (folder.back() == '/') return folder + path;
  return folder + "/" + path;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string executableFolder() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  path.resize(static_cast<size_t>(length));
  return path.substr(0, path.find_last_of('/') + 1);
}

}  // namespace pelorix
