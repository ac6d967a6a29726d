// SPDX-License-Identifier: GPL-3.0-or-later
#include "toggle_button.h"

#include <QPainter>
#include <QPixmap>

namespace pelorix::gui {
namespace {

QIcon checkIcon(bool on, const QPalette& palette) {
  QPixmap pixmap(14, 14);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette.color(QPalette::ButtonText), 1.2));
  painter.setBrush(on ? palette.color(QPalette::Highlight) : palette.color(QPalette::Base));
  painter.drawRoundedRect(QRectF(1.5, 1.5, 11, 11), 2, 2);
  if (on) {
    painter.setPen(QPen(palette.color(QPalette::HighlightedText), 2.0));
    painter.drawPolyline(QPolygonF({QPointF(4, 7.5), QPointF(6.2, 10), QPointF(10.5, 4.5)}));
  }
  return QIcon(pixmap);
}

}  // namespace

ToggleButton::ToggleButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setCheckable(true);
  setAutoDefault(false);
  connect(this, &QPushButton::toggled, this, &ToggleButton::showState);
  showState(false);
}

// The state shows in the box of the icon only: the text keeps its weight, so the button keeps
// its width and its neighbours stay where they are.
void ToggleButton::showState(bool on) {
  setIcon(checkIcon(on, palette()));
  setProperty("shownOn", on);
}

}  // namespace pelorix::gui
