// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include "app/timeline_view.h"

namespace pelorix {
class Editor;
}

namespace pelorix::gui {

// The timeline: a row per layer in draw order, a block per source as long as its duration with
// its file name (and a small picture when there is room), glide and easing marks, the playhead
// and a ruler in seconds and frames. Clicking or dragging on the ruler scrubs; clicking a block
// selects its layer and source; dragging a block's right edge changes its duration in whole
// frames (one undo step). Ctrl+wheel zooms, the wheel scrolls; Home, End, Left, Right, Page Up
// and Page Down move the time.
class TimelineWidget : public QWidget {
  Q_OBJECT

 public:
  explicit TimelineWidget(Editor& editor, QWidget* parent = nullptr);
  // The project changed: the blocks are made again.
  void rebuild();
  const TimelineModel& model() const { return model_; }
  TimelineGeometry& geometry() { return geometry_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void paintRuler(QPainter& painter, double from, double to);
  void paintRow(QPainter& painter, int index, double from, double to);
  // Blocks too narrow to draw one by one, as one band with their edges.
  void paintBand(QPainter& painter, int index, size_t first, size_t last);
  void paintBlock(QPainter& painter, int index, size_t block);
  bool rowSelected(const TimelineRow& row) const;
  static QColor blockColour(const TimelineRow& row);
  QPixmap thumbnail(const TimelineRow& row, const TimelineBlock& block);
  double playheadTime() const;
  // The time under x, snapped to a frame.
  double frameTimeAt(int x) const;

  Editor& editor_;
  TimelineModel model_;
  TimelineGeometry geometry_;
  QHash<QString, QPixmap> thumbnails_;
  std::vector<QStringList> labels_;  // the blocks' names, made once per change
  enum class Drag { None, Scrub, Edge } drag_ = Drag::None;
  int dragRow_ = -1;
  int dragBlock_ = -1;
  double dragEnd_ = 0.0;      // the edge being dragged, in seconds
  std::string shownProject_;  // the project whose length the zoom was fitted to
};

}  // namespace pelorix::gui
