// SPDX-License-Identifier: GPL-3.0-or-later
// The preview's overlay: the selected layer's handles and motion path, drawn and dragged.
#include <QPainter>
#include <cmath>

#include "app/editor.h"
#include "app/motion_canvas.h"
#include "dlg_disp.h"

namespace pelorix::gui {

QPointF DlgDisp::toWindow(const std::array<double, 2>& frame) const {
  const QRect picture = pictureRect();
  return {picture.left() + frame[0] * picture.width() / std::max(1, frameWidth_),
          picture.top() + frame[1] * picture.height() / std::max(1, frameHeight_)};
}

std::array<double, 2> DlgDisp::toFrame(const QPointF& window) const {
  const QRect picture = pictureRect();
  return {(window.x() - picture.left()) * frameWidth_ / std::max(1, picture.width()),
          (window.y() - picture.top()) * frameHeight_ / std::max(1, picture.height())};
}

void DlgDisp::paintOverlay(QPainter& painter) {
  const MotionCanvas& canvas = editor_.canvas();
  const MotionCanvas::Handles handles = canvas.handles();
  if (!handles.shown) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  // The path: a dot at every frame, a square at every key with its tangent handles.
  const QColor pathColour(255, 170, 0);
  for (const MotionCanvas::PathPoint& point : canvas.path()) {
    const QPointF at = toWindow(point.at);
    if (point.key < 0) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(pathColour);
      painter.drawEllipse(at, 1.5, 1.5);
      continue;
    }
    painter.setPen(QPen(pathColour, 1));
    for (const auto& handle : {point.in, point.out}) {
      if (!handle) continue;
      painter.drawLine(at, toWindow(*handle));
      painter.setBrush(Qt::white);
      painter.drawEllipse(toWindow(*handle), 3.0, 3.0);
    }
    painter.setBrush(pathColour);
    painter.drawRect(QRectF(at.x() - 3.5, at.y() - 3.5, 7, 7));
  }
  // The picture's outline with its corners (scale), the knob that turns it, and the pivot.
  const QColor handleColour(60, 160, 255);
  QPolygonF outline;
  for (const auto& corner : handles.corners)
    outline << toWindow(corner);
  painter.setBrush(Qt::NoBrush);
  const QPointF pivot = toWindow(handles.pivot);
  const QPointF knob = toWindow(handles.rotate);
  // A dark edge under the lines keeps them visible on any picture.
  painter.setPen(QPen(QColor(0, 0, 0, 110), 3));
  painter.drawPolygon(outline);
  painter.drawLine(pivot, knob);
  painter.setPen(QPen(handleColour, 1.5, Qt::DashLine));
  painter.drawPolygon(outline);
  painter.drawLine(pivot, knob);
  painter.setPen(QPen(handleColour, 1));
  painter.setBrush(Qt::white);
  for (const QPointF& corner : outline)
    painter.drawRect(QRectF(corner.x() - 3.5, corner.y() - 3.5, 7, 7));
  painter.drawEllipse(knob, 4.0, 4.0);
  painter.setBrush(Qt::NoBrush);
  for (const QPen& pen : {QPen(QColor(0, 0, 0, 110), 3), QPen(handleColour, 1.5)}) {
    painter.setPen(pen);
    painter.drawEllipse(pivot, 5.0, 5.0);
    painter.drawLine(pivot - QPointF(8, 0), pivot + QPointF(8, 0));
    painter.drawLine(pivot - QPointF(0, 8), pivot + QPointF(0, 8));
  }
  painter.restore();
}

bool DlgDisp::pressOverlay(const QPointF& at) {
  MotionCanvas& canvas = editor_.canvas();
  if (!canvas.overlay() || editor_.playback().playing() || !canvas.handles().shown) return false;
  // Within six window pixels, however the frame is zoomed.
  const double reach = 6.0 * frameWidth_ / std::max(1, pictureRect().width());
  const std::array<double, 2> point = toFrame(at);
  for (const MotionCanvas::PathPoint& p : canvas.path()) {
    if (p.key < 0) continue;
    const std::optional<std::array<double, 2>> parts[] = {p.at, p.in, p.out};
    for (int part = 0; part < 3; ++part) {
      if (!parts[part]) continue;
      if (std::hypot((*parts[part])[0] - point[0], (*parts[part])[1] - point[1]) > reach) continue;
      mode_ = Mode::PathKey;
      pathKey_ = p.key;
      pathPart_ = part;
      editor_.session().beginGesture();
      return true;
    }
  }
  const std::optional<MotionCanvas::Handle> handle = canvas.handleAt(point[0], point[1], reach);
  if (!handle) return false;
  mode_ = Mode::Handle;
  canvas.beginHandle(*handle, point[0], point[1]);
  return true;
}

}  // namespace pelorix::gui
