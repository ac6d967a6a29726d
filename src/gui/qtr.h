// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/i18n.h"

namespace pelorix::gui {

// A text of the catalogue, in the chosen language, for a widget.
inline QString qtr(const char* text) {
  return QString::fromUtf8(pelorix::_(text));
}

}  // namespace pelorix::gui
