// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace pelorix {

// One entry of a file dialog's type list.
struct FileFilter {
  std::string label;                    // in the chosen language
  std::vector<std::string> extensions;  // without dots; empty: every file
  // "PNG 画像 (*.png)", "すべてのファイル (*)"
  std::string text() const;
};

// Choosing a source picture: each picture type Pelorix reads, every picture, videos, every file.
std::vector<FileFilter> pictureFilters();
// Saving a frame: each picture type Pelorix writes.
std::vector<FileFilter> frameFilters();
// The filter that lists the files of a file name pattern such as "*.png": its index, or the last
// when none does.
int filterForPattern(const std::vector<FileFilter>& filters, const std::string& pattern);

}  // namespace pelorix
