// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "app/curve_view.h"
#include "app/motion_editing.h"

namespace pelorix {
class Editor;
}

namespace pelorix::gui {

// The curve editor: the values of the selected keys' properties (or of every keyed property of
// the selected layer) against time. A key's point is dragged in time (whole frames) and value,
// a Bézier handle shapes the curve to the next key; a click selects keys (Ctrl adds). The
// buttons set the selected keys' curves to the CSS timing presets and frame every key; the
// wheel zooms the time, Ctrl+wheel the values, a middle-button drag pans. Each drag is one undo
// step.
class CurveEditor : public QWidget {
  Q_OBJECT

 public:
  explicit CurveEditor(Editor& editor, QWidget* parent = nullptr);
  // The curves shown: each keyed property with its channel (a position has two).
  struct Shown {
    MotionTarget target;
    int channel = 0;
  };
  std::vector<Shown> shown() const;
  CurveView& view() { return view_; }
  void frameAll();
  // The keys or the selection changed: repainted, and framed again when other curves show.
  void follow();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect plot() const;
  void paintCurve(QPainter& painter, const Shown& curve, const MotionTrack& track);

  Editor& editor_;
  CurveView view_;
  struct Drag {
    Shown curve;
    CurveHandle handle;
  };
  std::optional<Drag> drag_;
  bool panning_ = false;
  std::vector<MotionTarget> framed_;  // the properties the view was last framed for
  QPoint last_;
};

}  // namespace pelorix::gui
