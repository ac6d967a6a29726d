// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace pelorix::gui {

// The four 16-pixel layer icons: 0 teal L (shown), 1 green T, 2 purple E, 3 light grey H with
// dark red (hidden).
QIcon layerIcon(int index);

// The application icon.
QIcon applicationIcon();

}  // namespace pelorix::gui
