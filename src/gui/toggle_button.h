// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

namespace pelorix::gui {

// An on/off button that shows its state plainly whatever the widget style: a drawn check box
// beside the text, ticked when on, and the button held down.
class ToggleButton : public QPushButton {
  Q_OBJECT

 public:
  explicit ToggleButton(const QString& text, QWidget* parent = nullptr);

 private:
  void showState(bool on);
};

}  // namespace pelorix::gui
