// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_slider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace pelorix::gui {

TimeSlider::TimeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::TicksAbove);
  setObjectName("timeSlider");
}

void TimeSlider::setSelection(int start, int end) {
  if (start == selectionStart_ && end == selectionEnd_) return;
  selectionStart_ = start;
  selectionEnd_ = end;
  update();
}

void TimeSlider::paintEvent(QPaintEvent* event) {
  if (selectionEnd_ > selectionStart_ && maximum() > minimum()) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const int x0 = groove.left() + handle.width() / 2 +
                   QStyle::sliderPositionFromValue(minimum(), maximum(), selectionStart_, span);
    const int x1 = groove.left() + handle.width() / 2 +
                   QStyle::sliderPositionFromValue(minimum(), maximum(),
                                                   std::min(selectionEnd_, maximum()), span);
    QPainter painter(this);
    painter.fillRect(QRect(x0, groove.center().y() - 3, std::max(1, x1 - x0), 6),
                     QColor(80, 140, 230, 140));
  }
  QSlider::paintEvent(event);
}

}  // namespace pelorix::gui
