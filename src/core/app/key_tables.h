// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pelorix {

// Which key table applies: the source list and the time slider share one, the layer tree has
// its own, every other focused control uses the general one.
enum class KeyFocus { SourceListOrSlider, LayerTree, Other };

enum class Key { Tab, Insert, Delete, PageUp, PageDown, Left, Right, Other };

enum class KeyCommand {
  None,  // the key goes on to the focused control
  SourceSettings,
  LayerSettings,
  NewSource,
  NewLayer,
  DeleteSource,
  DeleteLayer,
  PageBack,
  PageForward,
  StepBack,
  StepForward,
};

// The shortcut of a key in a focus; Up and Down are never taken.
KeyCommand keyCommand(KeyFocus focus, Key key);

}  // namespace pelorix
