// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSlider>

namespace pelorix::gui {

// The time slider: frames as positions, with the span of the selected source marked.
class TimeSlider : public QSlider {
  Q_OBJECT

 public:
  explicit TimeSlider(QWidget* parent = nullptr);
  void setSelection(int start, int end);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int selectionStart_ = 0;
  int selectionEnd_ = 0;
};

}  // namespace pelorix::gui
