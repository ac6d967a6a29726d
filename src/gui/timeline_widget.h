// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <set>

#include "app/timeline_editing.h"
#include "app/timeline_view.h"
#include "app/waveform.h"

class QScrollBar;

namespace pelorix::gui {
class AudioScrub;
}

namespace pelorix {
class Editor;
}

namespace pelorix::gui {

// The timeline: a row per layer in draw order, a block per source as long as its duration with
// its file name (and a small picture when there is room), glide and easing marks, the playhead,
// the work area and a ruler in frames and seconds; under a keyed layer (and the camera) a lane
// per keyed property with its keys as diamonds.
//
// On the ruler a click or drag scrubs, Shift+drag sets the work area, and the ▶ in its corner
// plays from here. A block: click selects it (Ctrl adds), drag moves it (to another layer too),
// its right edge changes its length, Shift on an edge moves the start of the block after it.
// A key: click selects (Ctrl adds), drag moves in whole frames, right-click sets the curve. The
// triangle in a header folds the lanes; dragging a header reorders the layers; right-click on
// it chooses the parent. Delete, Ctrl+C and Ctrl+V act on the selected keys, else the blocks.
// Every drag is one undo step. Ctrl+wheel zooms, the wheel scrolls the time, and over the
// headers (or with Shift) the rows; Home, End, Left, Right, Page Up and Page Down move the time.
class TimelineWidget : public QWidget {
  Q_OBJECT

 public:
  explicit TimelineWidget(Editor& editor, QWidget* parent = nullptr);
  // The project changed: the rows are made again.
  void rebuild();
  const TimelineModel& model() const { return model_; }
  TimelineGeometry& geometry() { return geometry_; }
  QSize sizeHint() const override;
  // Scrolls the rows so that the selected layer's row shows.
  void showSelectedRow();
  const Waveform& audio() const { return audio_; }
  AudioScrub& scrub() { return *scrub_; }

 signals:
  void playFromHereRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void paintRuler(QPainter& painter, double from, double to);
  void paintRow(QPainter& painter, int index, double from, double to);
  void paintHeader(QPainter& painter, int index);
  void paintLane(QPainter& painter, int index, double from, double to);
  void paintAudio(QPainter& painter, int index, double from);
  // Where a dragged block or layer row would go.
  void paintDrop(QPainter& painter);
  // The sound track's waveform, read on a thread of its own when the track changes.
  void loadAudio();
  // The playhead moved by a drag: a slice of the sound there.
  void scrubTo(double t);
  // Blocks too narrow to draw one by one, as one band with their edges.
  void paintBand(QPainter& painter, int index, size_t first, size_t last);
  void paintBlock(QPainter& painter, int index, size_t block);
  bool rowSelected(const TimelineRow& row) const;
  static QColor blockColour(const TimelineRow& row);
  QPixmap thumbnail(const TimelineRow& row, const TimelineBlock& block);
  double playheadTime() const;
  // The time under x, snapped to a frame.
  double frameTimeAt(int x) const;
  int frameAt(int x) const;
  // Input (timeline_widget_input.cpp).
  void pressHeader(int rowIndex, const QPoint& at);
  void pressKey(const TimelineHit& hit, bool add);
  void pressBlock(const TimelineHit& hit, bool add);
  void finishDrag(const QPoint& at);
  void keyMenu(const QPoint& global);
  void headerMenu(int rowIndex, const QPoint& global);
  void setRowScroll(int pixels);

  Editor& editor_;
  TimelineModel model_;
  TimelineGeometry geometry_;
  QScrollBar* rowBar_;
  QHash<QString, QPixmap> thumbnails_;
  std::vector<QStringList> labels_;  // the blocks' names, made once per change
  std::set<int> folded_;             // layers (0: the camera) whose lanes are hidden
  Waveform audio_;
  std::string audioPath_;  // the file audio_ is (being) read from
  AudioScrub* scrub_;
  double pressOffset_ = 0.0;
  enum class Drag { None, Scrub, Edge, Roll, Block, Keys, Layer, WorkArea, Audio };
  Drag drag_ = Drag::None;
  BlockRef dragBlock_;
  int dragRow_ = -1;
  int keyFrames_ = 0;     // frames the dragged keys moved so far
  int pressFrame_ = 0;    // the frame under the press
  double pressTime_ = 0;  // the time under the press
  QPoint pressAt_;
  QPoint dragAt_;             // where the mouse is in a drag
  std::string shownProject_;  // the project whose length the zoom was fitted to
};

}  // namespace pelorix::gui
