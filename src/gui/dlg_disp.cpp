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
#include "app/motion_canvas.h"
#include "app/preview_math.h"
#include "base/c_locale.h"
#include "message_box.h"
#include "render/timeline.h"

#include <algorithm>
#include <bit>
#include <cmath>
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

namespace {

// The canvas's blue, green, red, alpha bytes are Qt's 32-bit formats on little-endian machines:
// opaque frames as RGB32, transparent ones as premultiplied ARGB32.
QImage::Format formatOf(const DibImage& canvas) {
  return canvas.hasAlpha() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
}

}  // namespace

QImage DlgDisp::viewOf(const DibImage& canvas) {
  if (canvas.empty() || canvas.bitsPerPixel() != 32 || canvas.bottomUp() ||
      std::endian::native != std::endian::little) {
    return {};
  }
  return QImage(canvas.row(0), canvas.width(), canvas.height(), canvas.pitch(), formatOf(canvas));
}

QImage DlgDisp::copyOf(const DibImage& canvas, QImage reuse) {
  if (canvas.empty() || canvas.bitsPerPixel() != 32) return {};
  const QImage::Format format = formatOf(canvas);
  if (reuse.width() != canvas.width() || reuse.height() != canvas.height() ||
      reuse.format() != format) {
    reuse = QImage(canvas.width(), canvas.height(), format);
  }
  for (int y = 0; y < canvas.height(); ++y) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(reuse.scanLine(y), canvas.row(y), static_cast<size_t>(canvas.width()) * 4);
    } else {
      const uint8_t* in = canvas.row(y);
      auto* out = reinterpret_cast<QRgb*>(reuse.scanLine(y));
      for (int x = 0; x < canvas.width(); ++x, in += 4)
        out[x] = qRgba(in[2], in[1], in[0], in[3]);
    }
  }
  return reuse;
}

void DlgDisp::repaintNow() {
  // The editor's canvas is shown where it is: every change to it comes here at once, before
  // anything can paint; a picture Qt cannot read in place is copied.
  const DibImage& canvas = editor_.view().canvas();
  // Nothing to show is black, never a frame of another moment.
  shown_ = viewOf(canvas);
  if (shown_.isNull()) shown_ = copyOf(canvas, {});
  // The onion skin: the edited layer at the frames around, earlier ones red, later ones green.
  onion_.clear();
  for (const OnionSkin::Frame& frame : editor_.view().onion().frames()) {
    QImage image = copyOf(frame.canvas, {});
    if (image.isNull()) continue;
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter tint(&image);
    // Multiplied within the layer's own coverage: the transparent ground stays transparent.
    tint.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    tint.setOpacity(0.5);
    tint.fillRect(image.rect(), frame.offset < 0 ? QColor(230, 60, 60) : QColor(40, 200, 80));
    tint.end();
    onion_.emplace_back(frame.offset, std::move(image));
  }
  updateTitle();
  if (isVisible()) repaint();
}

void DlgDisp::updateTitle() {
  if (mode_ == Mode::Picking) return;
  const float fps = editor_.session().project().fps;
  const float t = editor_.playback().playing() ? editor_.playback().playbackTime()
                                               : editor_.view().currentTime();
  QString title = qtr("出力画面");
  if (fps > 0.0f && !editor_.session().noProjectLoaded()) {
    const int frame = sliderPositionOfTime(t, fps);
    const int last = sliderRange(editor_.view().totalTime(), fps);
    title += QString::fromStdString(
        formatC(_("　画面 %d / %d　%.2f 秒"), frame, last, static_cast<double>(t)));
  }
  if (zoom_ > 0) title += QString::fromStdString(formatC(_("　%d %%"), zoom_));
  setWindowTitle(title);
}

const std::vector<int>& DlgDisp::zoomSteps() {
  static const std::vector<int> steps = {25, 33, 50, 67, 100, 150, 200, 300, 400};
  return steps;
}

void DlgDisp::setZoom(int percent) {
  const int wanted = percent <= 0 ? 0 : std::clamp(percent, 25, 400);
  if (wanted == zoom_) return;
  const int before = zoom_;
  zoom_ = wanted;
  // The point at the window's centre stays there; a picture that fits the window is centred,
  // and a bigger one is kept over the whole window (no frame left in a corner after zooming
  // out).
  if (zoom_ == 0 || before == 0) {
    pan_ = {};
  } else {
    pan_ = pan_ * zoom_ / before;
    const QSize size = pictureRect().size();
    const int spareX = std::max(0, (size.width() - width()) / 2);
    const int spareY = std::max(0, (size.height() - height()) / 2);
    pan_ = QPoint(std::clamp(pan_.x(), -spareX, spareX), std::clamp(pan_.y(), -spareY, spareY));
  }
  updateViewSize();
  updateTitle();
  update();
  if (zoomChanged) zoomChanged(zoom_);
}

QRect DlgDisp::pictureRect() const {
  if (zoom_ == 0) return rect();
  const QSize size(std::max(1, frameWidth_ * zoom_ / 100), std::max(1, frameHeight_ * zoom_ / 100));
  return QRect(
      QPoint((width() - size.width()) / 2 + pan_.x(), (height() - size.height()) / 2 + pan_.y()),
      size);
}

void DlgDisp::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect picture = pictureRect();
  if (shown_.isNull() || picture != rect()) painter.fillRect(rect(), QColor(64, 64, 64));
  if (shown_.isNull()) {
    painter.fillRect(picture, Qt::black);
    return;
  }
  // A transparent frame is shown over a chequerboard.
  if (shown_.hasAlphaChannel()) {
    const int cell = 8;
    painter.save();
    painter.setClipRect(picture);
    for (int y = picture.top(); y < picture.bottom() + 1; y += cell) {
      for (int x = picture.left(); x < picture.right() + 1; x += cell) {
        painter.fillRect(x, y, cell, cell,
                         (((x - picture.left()) / cell + (y - picture.top()) / cell) % 2) != 0
                             ? QColor(204, 204, 204)
                             : Qt::white);
      }
    }
    painter.restore();
  }
  // Nearest-neighbour stretching: pixels are dropped or repeated, never averaged.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(picture, shown_);
  // The farthest frames first, each fainter the farther it is.
  for (int distance = 3; distance >= 1; --distance) {
    for (const auto& [offset, image] : onion_) {
      if (std::abs(offset) != distance) continue;
      painter.setOpacity(0.45 / distance);
      painter.drawImage(picture, image);
    }
  }
  painter.setOpacity(1.0);
  if (editor_.canvas().overlay() && !editor_.playback().playing()) paintOverlay(painter);
  // Outside the camera: what it films, framed.
  if (editor_.view().outsideCamera()) {
    if (const auto frame = editor_.canvas().cameraFrame()) {
      QPolygonF outline;
      for (const auto& corner : *frame)
        outline << toWindow(corner);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.setBrush(Qt::NoBrush);
      painter.setPen(QPen(QColor(0, 0, 0, 110), 4));
      painter.drawPolygon(outline);
      painter.setPen(QPen(QColor(255, 80, 60), 2));
      painter.drawPolygon(outline);
    }
  }
}

void DlgDisp::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize size = event->size();
  if (size.width() == 0 || size.height() == 0) return;
  // The frame size set for the project, not the size of the last picture shown: after a change
  // of the frame size the old picture would give the old proportions. A zoomed view leaves the
  // window as the user makes it.
  if (zoom_ == 0) {
    const Size snapped = snapToFrameAspect(size.width(), size.height(), frameWidth_, frameHeight_);
    if (snapped.width != size.width() || snapped.height != size.height()) {
      resize(snapped.width, snapped.height);
      return;  // the next resize says the size
    }
  }
  updateViewSize();
}

void DlgDisp::updateViewSize() {
  // Picking a key colour reads the frame's own pixels.
  QSize shown;
  if (mode_ != Mode::Picking) shown = pictureRect().size() * devicePixelRatioF();
  if (editor_.view().viewScale().setSize(shown.width(), shown.height()) &&
      !editor_.playback().playing()) {
    editor_.view().redraw(editor_.view().currentTime());
  }
}

// A drag in frame pixels: the window pixels scaled by the size the frame is drawn at.
QPoint DlgDisp::dragOffsets(const QPoint& now) const {
  const QRect picture = pictureRect();
  return {dragOffset(frameWidth_, picture.width(), dragStart_.x(), now.x()),
          dragOffset(frameHeight_, picture.height(), dragStart_.y(), now.y())};
}

uint32_t DlgDisp::colorAt(const QPoint& point) const {
  const QRect picture = pictureRect();
  if (shown_.isNull() || !rect().contains(point) || !picture.contains(point)) return 0xFFFFFFFFu;
  const QPoint at = point - picture.topLeft();
  const int x = static_cast<int>(static_cast<int64_t>(at.x()) * shown_.width() / picture.width());
  const int y = static_cast<int>(static_cast<int64_t>(at.y()) * shown_.height() / picture.height());
  const QRgb rgb = shown_.pixel(std::min(x, shown_.width() - 1), std::min(y, shown_.height() - 1));
  return static_cast<uint32_t>(qRed(rgb)) | static_cast<uint32_t>(qGreen(rgb)) << 8 |
         static_cast<uint32_t>(qBlue(rgb)) << 16;
}

void DlgDisp::endPicking() {
  if (mode_ != Mode::Picking) return;
  mode_ = Mode::None;
  releaseMouse();
  setWindowTitle(savedTitle_);
  updateTitle();
  updateViewSize();
}

void DlgDisp::mousePressEvent(QMouseEvent* event) {
  // Any button but the middle one ends picking, and the title comes back.
  if (mode_ == Mode::Picking && event->button() != Qt::MiddleButton) endPicking();
  // The view moves with the space bar held, or with the middle button (which, not moved, still
  // ends picking on its release).
  if ((event->button() == Qt::LeftButton && spaceHeld_) ||
      (event->button() == Qt::MiddleButton && mode_ == Mode::None)) {
    mode_ = Mode::Panning;
    dragStart_ = event->position().toPoint();
    panStart_ = pan_;
    return;
  }
  if (event->button() == Qt::LeftButton && mode_ == Mode::None && pressOverlay(event->position())) {
    return;
  }
  // A drag that has no source to move ends here, with its message: the mouse is not taken.
  if (event->button() == Qt::RightButton && editor_.sources().previewTarget()) {
    mode_ = Mode::Moving;
    dragStart_ = event->position().toPoint();
    grabMouse();
  }
}

void DlgDisp::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (mode_ == Mode::Panning) {
    if (zoom_ == 0 && (at - dragStart_).manhattanLength() > 3) setZoom(currentZoom());
    if (zoom_ > 0) {
      pan_ = panStart_ + (at - dragStart_);
      update();
    }
  } else if (mode_ == Mode::Handle || mode_ == Mode::PathKey) {
    const std::array<double, 2> point = toFrame(event->position());
    if (mode_ == Mode::Handle) {
      editor_.canvas().dragHandle(point[0], point[1],
                                  (event->modifiers() & Qt::ShiftModifier) != 0);
    } else {
      editor_.canvas().dragPathKey(pathKey_, pathPart_, point[0], point[1]);
    }
  } else if (mode_ == Mode::Moving) {
    const QPoint offsets = dragOffsets(at);
    editor_.sources().previewEdit(offsets.x(), offsets.y(), 0, 0, PreviewEditKind::Move);
  } else if (mode_ == Mode::Picking) {
    setWindowTitle(QString::fromStdString(
        formatC(_("透過色選択中　%4d:%4d [%08x]"), at.x(), at.y(), colorAt(at))));
  }
}

void DlgDisp::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (mode_ == Mode::Panning &&
      (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton)) {
    mode_ = Mode::None;
    return;
  }
  if (event->button() == Qt::LeftButton && (mode_ == Mode::Handle || mode_ == Mode::PathKey)) {
    if (mode_ == Mode::Handle) editor_.canvas().endHandle();
    if (mode_ == Mode::PathKey) editor_.session().endGesture();
    mode_ = Mode::None;
    return;
  }
  if (event->button() == Qt::RightButton && mode_ == Mode::Moving) {
    const QPoint offsets = dragOffsets(at);
    mode_ = Mode::None;
    releaseMouse();
    editor_.sources().previewEdit(offsets.x(), offsets.y(), 0, 0, PreviewEditKind::EndMove);
  } else if (event->button() == Qt::MiddleButton && mode_ == Mode::Picking) {
    endPicking();
    editor_.sources().pickKeyColor(colorAt(at));
  }
}

void DlgDisp::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  switch (event->button()) {
    case Qt::LeftButton:
      editor_.sources().sourceSettings();
      break;
    case Qt::RightButton:
      editor_.sources().previewEdit(at.x(), at.y(), 0, 0, PreviewEditKind::Fit);
      break;
    case Qt::MiddleButton:
      if (askYesNoCancel(this, qtr("透過色変更開始しますか？")) == BoxAnswer::Yes) {
        mode_ = Mode::Picking;
        updateViewSize();
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
    editor_.sources().previewEdit(at.x(), at.y(), 0, notches, PreviewEditKind::RotateStep);
  } else if (event->modifiers() & Qt::ControlModifier) {
    editor_.sources().previewEdit(at.x(), at.y(), notches, 0, PreviewEditKind::ScaleStep);
  } else {
    QWidget::wheelEvent(event);
  }
}

void DlgDisp::keyPressEvent(QKeyEvent* event) {
  const std::vector<int>& steps = zoomSteps();
  switch (event->key()) {
    case Qt::Key_Space:
      spaceHeld_ = !event->isAutoRepeat() || spaceHeld_;
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: {
      const int now = zoom_ > 0 ? zoom_ : currentZoom();
      const auto next = std::upper_bound(steps.begin(), steps.end(), now);
      setZoom(next != steps.end() ? *next : steps.back());
      break;
    }
    case Qt::Key_Minus: {
      const int now = zoom_ > 0 ? zoom_ : currentZoom();
      const auto below = std::lower_bound(steps.begin(), steps.end(), now);
      setZoom(below != steps.begin() ? *(below - 1) : steps.front());
      break;
    }
    case Qt::Key_0:
      setZoom(0);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      editor_.view().setPreviewShown(false, false);  // the check box clears; the window stays
      break;
    case Qt::Key_Escape:
      if (mode_ == Mode::Picking) {
        endPicking();
        break;
      }
      editor_.view().setPreviewShown(false);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void DlgDisp::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) spaceHeld_ = false;
  QWidget::keyReleaseEvent(event);
}

// The zoom the whole-window view shows the frame at, in per cent.
int DlgDisp::currentZoom() const {
  return std::max(1, width() * 100 / std::max(1, frameWidth_));
}

void DlgDisp::closeEvent(QCloseEvent* event) {
  // The window is hidden, never destroyed, while the main window lives.
  event->ignore();
  endPicking();
  editor_.view().setPreviewShown(false);
}

}  // namespace pelorix::gui
