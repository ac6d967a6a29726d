// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

namespace pelorix {
class DibImage;
class Editor;
}  // namespace pelorix

namespace pelorix::gui {

// "出力画面": the composed frame stretched to the window with nearest-neighbour scaling, or at a
// zoom of its own (25 to 400 %, + and - keys) moved by a drag with the space bar held or the
// middle button; the view never changes the placement. Mouse gestures edit the selected source
// through the editor: right drag moves, right double-click fits, Ctrl+wheel scales, Shift+wheel
// rotates, left double-click opens the source settings, middle double-click starts picking the
// transparent colour (middle release picks it). With the onion skin on, the frames before and
// after show faintly over the current one, tinted red and green. The title tells the frame, its
// time and the zoom.
class DlgDisp : public QWidget {
  Q_OBJECT

 public:
  DlgDisp(Editor& editor, QWidget* owner);
  void setFrameSize(int width, int height);
  // Takes the editor's canvas (keeping the old picture when it is empty) and paints at once.
  void repaintNow();
  const QImage& shownImage() const { return shown_; }
  // The canvas as Qt sees it: a copy (into `reuse` when it fits), or on little-endian machines
  // a view of the canvas's own top-down rows, valid while the canvas is unchanged; null for
  // anything else than 32-bit pixels.
  static QImage copyOf(const DibImage& canvas, QImage reuse);
  static QImage viewOf(const DibImage& canvas);
  // The colour reference (0x00BBGGRR) of the painted pixel under a client point; 0xFFFFFFFF
  // outside the window.
  uint32_t colorAt(const QPoint& point) const;
  // The zoom in per cent, 0 for the whole window; and the steps the + and - keys take.
  int zoom() const { return zoom_; }
  void setZoom(int percent);
  static const std::vector<int>& zoomSteps();
  // Where the frame is drawn in the window.
  QRect pictureRect() const;
  // Called when the zoom changes (the main window's zoom box follows).
  std::function<void(int)> zoomChanged;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Mode { None, Moving, Picking, Panning, Handle, PathKey };
  QPoint dragOffsets(const QPoint& now) const;
  // Frame pixels and window pixels, as the frame is drawn now.
  QPointF toWindow(const std::array<double, 2>& frame) const;
  std::array<double, 2> toFrame(const QPointF& window) const;
  // The handles and the motion path of the selected layer, over the frame.
  void paintOverlay(QPainter& painter);
  // A left press on a handle or a path key starts its drag; false when there was none.
  bool pressOverlay(const QPointF& at);
  // Ends picking the transparent colour, whichever way, and gives the title back.
  void endPicking();
  // Tells the editor the size the frame is shown at, which it composes at.
  void updateViewSize();
  void updateTitle();
  int currentZoom() const;

  Editor& editor_;
  QImage shown_;
  int frameWidth_ = 320;
  int frameHeight_ = 240;
  Mode mode_ = Mode::None;
  QPoint dragStart_;
  QString savedTitle_;
  std::vector<std::pair<int, QImage>> onion_;  // offset in frames, tinted picture
  int zoom_ = 0;
  QPoint pan_;  // the picture's centre off the window's, in window pixels
  QPoint panStart_;
  bool spaceHeld_ = false;
  int pathKey_ = -1, pathPart_ = 0;  // the path key and its part being dragged
};

}  // namespace pelorix::gui
