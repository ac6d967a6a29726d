// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/key_tables.h"

namespace pelorix {

KeyCommand keyCommand(KeyFocus focus, Key key) {
  const bool tree = focus == KeyFocus::LayerTree;
  switch (key) {
    case Key::Tab:
      return tree ? KeyCommand::LayerSettings : KeyCommand::SourceSettings;
    case Key::Insert:
      return tree ? KeyCommand::NewLayer : KeyCommand::NewSource;
    case Key::Delete:
      return tree ? KeyCommand::DeleteLayer : KeyCommand::DeleteSource;
    default:
      break;
  }
  if (focus != KeyFocus::Other) return KeyCommand::None;
  switch (key) {
    case Key::PageUp:
      return KeyCommand::PageBack;
    case Key::PageDown:
      return KeyCommand::PageForward;
    case Key::Left:
      return KeyCommand::StepBack;
    case Key::Right:
      return KeyCommand::StepForward;
    default:
      return KeyCommand::None;
  }
}

}  // namespace pelorix
