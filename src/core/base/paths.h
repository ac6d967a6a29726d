// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pelorix {

// The folder part of a path, ending with its separator ("a/b/c.pxp" -> "a/b/"); empty for a
// bare file name.
std::string folderOf(const std::string& path);

// The file name part of a path ("a/b/c.pxp" -> "c.pxp").
std::string fileNameOf(const std::string& path);

// A folder joined to a relative path; an absolute path stays as it is.
std::string joinPath(const std::string& folder, const std::string& path);

// Whether something exists at the path.
bool fileExists(const std::string& path);

// Whether two names reach the same file (after links, "." and ".." and relative folders): both
// exist and are one file on one device.
bool sameFile(const std::string& a, const std::string& b);

// The folder of the running program, ending with its separator; empty when it cannot be told.
std::string executableFolder();

}  // namespace pelorix
