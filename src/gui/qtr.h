// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "app/file_filters.h"

#include "base/i18n.h"

namespace pelorix::gui {

// A text of the catalogue, in the chosen language, for a widget.
inline QString qtr(const char* text) {
  return QString::fromUtf8(pelorix::_(text));
}

// The entries of a file dialog's type list.
inline QStringList qtFilters(const std::vector<FileFilter>& filters) {
  QStringList list;
  for (const FileFilter& filter : filters)
    list << QString::fromStdString(filter.text());
  return list;
}

}  // namespace pelorix::gui
