// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_disp.h"
#include "qtr.h"

#include <QCloseEvent>
#include <QColor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>

#include "app/editor.h"
#include "app/preview_math.h"
#include "base/c_locale.h"
#include "message_box.h"

#include <bit>
#include <cstring>

namespace pelorix::gui {

DlgDisp::DlgDisp(Editor& editor, QWidget* owner) : QWidget(owner, Qt::Window), editor_(editor) {
  setObjectName("DlgDisp");
  setWindowTitle(qtr("出力画面"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  resize(frameWidth_, frameHeight_);
}

void DlgDisp::setFrameSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  frameWidth_ = width;
  frameHeight_ = height;
  // A frame larger than the screen shows at the largest whole fraction that fits (1/2, 1/3...).
  QSize room(width, height);
  if (const QScreen* display = screen()) room = display->availableGeometry().size() - QSize(16, 48);
  int divisor = 1;
  while ((width / divisor > room.width() || height / divisor > room.height()) && divisor < 64)
    ++divisor;
  resize(std::max(1, width / divisor), std::max(1, height / divisor));
  update();
}

void DlgDisp::repaintNow() {
  const DibImage& canvas = editor_.canvas();
  if (!canvas.empty() && canvas.bitsPerPixel() == 32) {
    // The canvas's blue, green, red, alpha bytes are Qt's 32-bit formats on little-endian
    // machines: opaque frames as RGB32, transparent ones as premultiplied ARGB32.
    const QImage::Format format =
        canvas.hasAlpha() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (shown_.width() != canvas.width() || shown_.height() != canvas.height() ||
        shown_.format() != format) {
      shown_ = QImage(canvas.width(), canvas.height(), format);
    }
    for (int y = 0; y < canvas.height(); ++y) {
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(shown_.scanLine(y), canvas.row(y), static_cast<size_t>(canvas.width()) * 4);
      } else {
        const uint8_t* in = canvas.row(y);
        auto* out = reinterpret_cast<QRgb*>(shown_.scanLine(y));
        for (int x = 0; x < canvas.width(); ++x, in += 4)
          out[x] = qRgba(in[2], in[1], in[0], in[3]);
      }
    }
  }
  if (isVisible()) repaint();
}

void DlgDisp::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (shown_.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // A transparent frame is shown over a chequerboard.
  if (shown_.hasAlphaChannel()) {
    const int cell = 8;
    for (int y = 0; y < height(); y += cell) {
      for (int x = 0; x < width(); x += cell) {
        painter.fillRect(x, y, cell, cell,
                         ((x / cell + y / cell) % 2) != 0 ? QColor(204, 204, 204) : Qt::white);
      }
    }
  }
  // Nearest-neighbour stretching: pixels are dropped or repeated, never averaged.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(rect(), shown_);
}

void DlgDisp::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize size = event->size();
  if (size.width() == 0 || size.height() == 0) return;
  // The frame size set for the project, not the size of the last picture shown: after a change
  // of the frame size the old picture would give the old proportions.
  const Size snapped = snapToFrameAspect(size.width(), size.height(), frameWidth_, frameHeight_);
  if (snapped.width != size.width() || snapped.height != size.height()) {
    resize(snapped.width, snapped.height);
  }
}

QPoint DlgDisp::dragOffsets(const QPoint& now) const {
  return {dragOffset(frameWidth_, width(), dragStart_.x(), now.x()),
          dragOffset(frameHeight_, height(), dragStart_.y(), now.y())};
}

uint32_t DlgDisp::colorAt(const QPoint& point) const {
  if (shown_.isNull() || !rect().contains(point)) return 0xFFFFFFFFu;
  const int x = static_cast<int>(static_cast<int64_t>(point.x()) * shown_.width() / width());
  const int y = static_cast<int>(static_cast<int64_t>(point.y()) * shown_.height() / height());
  const QRgb rgb = shown_.pixel(std::min(x, shown_.width() - 1), std::min(y, shown_.height() - 1));
  return static_cast<uint32_t>(qRed(rgb)) | static_cast<uint32_t>(qGreen(rgb)) << 8 |
         static_cast<uint32_t>(qBlue(rgb)) << 16;
}

void DlgDisp::endPicking() {
  if (mode_ != Mode::Picking) return;
  mode_ = Mode::None;
  releaseMouse();
  setWindowTitle(savedTitle_);
}

void DlgDisp::mousePressEvent(QMouseEvent* event) {
  // Any button but the middle one ends picking, and the title comes back.
  if (mode_ == Mode::Picking && event->button() != Qt::MiddleButton) endPicking();
  if (event->button() == Qt::RightButton) {
    mode_ = Mode::Moving;
    dragStart_ = event->position().toPoint();
    grabMouse();
  }
}

void DlgDisp::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (mode_ == Mode::Moving) {
    const QPoint offsets = dragOffsets(at);
    editor_.previewEdit(offsets.x(), offsets.y(), 0, 0, PreviewEditKind::Move);
  } else if (mode_ == Mode::Picking) {
    setWindowTitle(QString::fromStdString(
        formatC(_("透過色選択中　%4d:%4d [%08x]"), at.x(), at.y(), colorAt(at))));
  }
}

void DlgDisp::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::RightButton && mode_ == Mode::Moving) {
    const QPoint offsets = dragOffsets(at);
    mode_ = Mode::None;
    releaseMouse();
    editor_.previewEdit(offsets.x(), offsets.y(), 0, 0, PreviewEditKind::EndMove);
  } else if (event->button() == Qt::MiddleButton && mode_ == Mode::Picking) {
    endPicking();
    editor_.pickKeyColor(colorAt(at));
  }
}

void DlgDisp::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  switch (event->button()) {
    case Qt::LeftButton:
      editor_.sourceSettings();
      break;
    case Qt::RightButton:
      editor_.previewEdit(at.x(), at.y(), 0, 0, PreviewEditKind::Fit);
      break;
    case Qt::MiddleButton:
      if (askYesNoCancel(this, qtr("透過色変更開始しますか？")) == BoxAnswer::Yes) {
        mode_ = Mode::Picking;
        grabMouse();
        savedTitle_ = windowTitle();
        setWindowTitle(qtr("透過色選択開始"));
      }
      break;
    default:
      break;
  }
}

void DlgDisp::wheelEvent(QWheelEvent* event) {
  // With Shift some systems turn the wheel sideways; either axis counts.
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  const int notches = wheelNotches(delta);
  const QPoint at = event->position().toPoint();
  if (event->modifiers() & Qt::ShiftModifier) {
    editor_.previewEdit(at.x(), at.y(), 0, notches, PreviewEditKind::RotateStep);
  } else if (event->modifiers() & Qt::ControlModifier) {
    editor_.previewEdit(at.x(), at.y(), notches, 0, PreviewEditKind::ScaleStep);
  } else {
    QWidget::wheelEvent(event);
  }
}

void DlgDisp::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      editor_.setPreviewShown(false, false);  // the check box clears; the window stays
      break;
    case Qt::Key_Escape:
      if (mode_ == Mode::Picking) {
        endPicking();
        break;
      }
      editor_.setPreviewShown(false);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void DlgDisp::closeEvent(QCloseEvent* event) {
  // The window is hidden, never destroyed, while the main window lives.
  event->ignore();
  endPicking();
  editor_.setPreviewShown(false);
}

}  // namespace pelorix::gui
