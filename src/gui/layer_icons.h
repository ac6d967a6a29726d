// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

#include "app/editor.h"

namespace pelorix::gui {

// The 16-pixel layer icons: a teal L for a shown layer, a light grey H in dark red for a hidden
// one.
QIcon layerIcon(LayerIcon icon);

// The application icon.
QIcon applicationIcon();

}  // namespace pelorix::gui
