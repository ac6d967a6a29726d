// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "app/command.h"

namespace pelorix {

// Which key table applies: the source list and the time slider share one, the layer tree has
// its own, every other focused control uses the general one.
enum class KeyFocus { SourceListOrSlider, LayerTree, Other };

enum class Key { Tab, Insert, Delete, PageUp, PageDown, Left, Right, Space, Other };

// The command of a key in a focus; nothing when the key goes on to the focused control (Up and
// Down always do).
std::optional<Command> keyCommand(KeyFocus focus, Key key);

}  // namespace pelorix
