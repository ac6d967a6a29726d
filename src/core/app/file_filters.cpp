// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_filters.h"

#include "base/ascii.h"
#include "base/i18n.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"
#include "output/formats.h"

namespace pelorix {
namespace {

FileFilter filterOf(const ImageCodec& codec) {
  FileFilter filter{_(codec.label()), {}};
  for (std::string_view extension : codec.extensions())
    filter.extensions.emplace_back(extension);
  return filter;
}

}  // namespace

std::string FileFilter::text() const {
  std::string patterns;
  for (const std::string& extension : extensions)
    patterns += (patterns.empty() ? "*." : " *.") + extension;
  return label + " (" + (patterns.empty() ? std::string("*") : patterns) + ")";
}

std::vector<FileFilter> pictureFilters() {
  std::vector<FileFilter> filters;
  FileFilter all{_("すべての画像"), {}};
  for (const ImageCodec* codec : imageCodecs()) {
    filters.push_back(filterOf(*codec));
    all.extensions.insert(all.extensions.end(), filters.back().extensions.begin(),
                          filters.back().extensions.end());
  }
  filters.push_back(std::move(all));
  // Moving pictures by their kind (a numbered series is named by its pattern, not picked).
  for (const MovingSourceKind& kind : movingSourceKinds()) {
    if (!kind.picked) continue;
    filters.push_back({_(kind.label), {kind.extensions.begin(), kind.extensions.end()}});
  }
  filters.push_back({_("すべてのファイル"), {}});
  return filters;
}

std::vector<FileFilter> frameFilters() {
  std::vector<FileFilter> filters;
  for (const ImageCodec* codec : imageCodecs()) {
    if (findOutputFormat(codec->extensions().front(), OutputKind::Series))
      filters.push_back(filterOf(*codec));
  }
  return filters;
}

int filterForPattern(const std::vector<FileFilter>& filters, const std::string& pattern) {
  const size_t dot = pattern.find_last_of('.');
  const std::string extension = dot == std::string::npos ? "" : pattern.substr(dot + 1);
  for (size_t i = 0; !extension.empty() && i < filters.size(); ++i) {
    for (const std::string& known : filters[i].extensions) {
      if (equalFolded(extension, known)) return static_cast<int>(i);
    }
  }
  return static_cast<int>(filters.size()) - 1;
}

}  // namespace pelorix
