// SPDX-License-Identifier: GPL-3.0-or-later
#include "layer_icons.h"

#include <QPainter>
#include <QPixmap>

namespace pelorix::gui {

QIcon layerIcon(LayerIcon icon) {
  struct Look {
    QColor fill;
    QColor letterColor;
    const char* letter;
  };
  static const Look shown{QColor(0, 128, 128), Qt::white, "L"};
  static const Look hidden{QColor(200, 200, 200), QColor(140, 0, 0), "H"};
  const Look& look = icon == LayerIcon::Shown ? shown : hidden;
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.fillRect(1, 1, 14, 14, look.fill);
  painter.setPen(look.letterColor);
  QFont font = painter.font();
  font.setPixelSize(12);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, look.letter);
  return QIcon(pixmap);
}

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setBrush(QColor(30, 30, 60));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    // Three stacked layers.
    const QColor colours[3] = {QColor(0, 128, 128), QColor(200, 60, 80), QColor(250, 200, 40)};
    for (int i = 0; i < 3; ++i) {
      painter.setBrush(colours[i]);
      painter.drawRect(QRectF(s * (0.14 + 0.12 * i), s * (0.14 + 0.12 * i), s * 0.48, s * 0.48));
    }
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace pelorix::gui
