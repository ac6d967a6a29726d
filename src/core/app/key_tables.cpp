// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/key_tables.h"

namespace pelorix {

std::optional<Command> keyCommand(KeyFocus focus, Key key) {
  const bool tree = focus == KeyFocus::LayerTree;
  switch (key) {
    case Key::Tab:
      return tree ? Command::LayerSettings : Command::SourceSettings;
    case Key::Insert:
      return tree ? Command::NewLayer : Command::NewSource;
    case Key::Delete:
      return tree ? Command::DeleteLayer : Command::DeleteSource;
    default:
      break;
  }
  if (focus != KeyFocus::Other) return std::nullopt;
  switch (key) {
    case Key::PageUp:
      return Command::PageBack;
    case Key::PageDown:
      return Command::PageForward;
    case Key::Left:
      return Command::StepBack;
    case Key::Right:
      return Command::StepForward;
    case Key::Space:
      return Command::PlayFromHere;
    default:
      return std::nullopt;
  }
}

}  // namespace pelorix
