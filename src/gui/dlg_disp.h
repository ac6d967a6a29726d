// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

namespace pelorix {
class Editor;
}

namespace pelorix::gui {

// "出力画面": the composed frame stretched to the window with nearest-neighbour scaling. Mouse
// gestures edit the selected source through the editor: right drag moves, right double-click
// fits, Ctrl+wheel scales, Shift+wheel rotates, left double-click opens the source settings,
// middle double-click starts picking the transparent colour (middle release picks it).
class DlgDisp : public QWidget {
  Q_OBJECT

 public:
  DlgDisp(Editor& editor, QWidget* owner);
  void setFrameSize(int width, int height);
  // Takes the editor's canvas (keeping the old picture when it is empty) and paints at once.
  void repaintNow();
  const QImage& shownImage() const { return shown_; }
  // The colour reference (0x00BBGGRR) of the painted pixel under a client point; 0xFFFFFFFF
  // outside the window.
  uint32_t colorAt(const QPoint& point) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Mode { None, Moving, Picking };
  QPoint dragOffsets(const QPoint& now) const;
  // Ends picking the transparent colour, whichever way, and gives the title back.
  void endPicking();

  Editor& editor_;
  QImage shown_;
  int frameWidth_ = 320;
  int frameHeight_ = 240;
  Mode mode_ = Mode::None;
  QPoint dragStart_;
  QString savedTitle_;
};

}  // namespace pelorix::gui
