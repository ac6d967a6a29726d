// SPDX-License-Identifier: GPL-3.0-or-later
#include "curve_editor.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "app/editor.h"
#include "qtr.h"

namespace pelorix::gui {
namespace {

constexpr int kButtons = 30;  // the height of the row of buttons above the plot

QColor colourOf(const CurveEditor::Shown& curve) {
  switch (curve.target.property) {
    case MotionProperty::Position:
      return curve.channel == 0 ? QColor(220, 60, 60) : QColor(40, 170, 70);
    case MotionProperty::Scale:
      return QColor(50, 110, 230);
    case MotionProperty::Rotation:
      return QColor(160, 70, 200);
    case MotionProperty::Opacity:
      break;
  }
  return QColor(110, 110, 110);
}

}  // namespace

CurveEditor::CurveEditor(Editor& editor, QWidget* parent) : QWidget(parent), editor_(editor) {
  setObjectName("curveEditor");
  setMinimumSize(320, 160);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(4, 2, 4, 2);
  auto* all = new QPushButton(qtr("すべて表示"), this);
  all->setObjectName("frameAll");
  connect(all, &QPushButton::clicked, this, [this] { frameAll(); });
  buttons->addWidget(all);
  // The presets in the menu of one button, named as CSS names them.
  auto* presets = new QPushButton(qtr("カーブ"), this);
  presets->setObjectName("curvePresets");
  auto* menu = new QMenu(presets);
  for (const CurvePreset& preset : curvePresets()) {
    const QString name =
        QString::fromUtf8(preset.name.data(), static_cast<qsizetype>(preset.name.size()));
    QAction* item =
        menu->addAction(qtr(preset.label) + "  (" + name + ")", this, [this, curve = preset.curve] {
          editor_.motion().setCurve(editor_.motion().selectedKeys(), curve);
        });
    item->setObjectName(name);
  }
  presets->setMenu(menu);
  buttons->addWidget(presets);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(buttons);
  layout->addStretch(1);
}

std::vector<CurveEditor::Shown> CurveEditor::shown() const {
  std::vector<Shown> curves;
  std::vector<MotionTarget> targets;
  for (const KeyRef& key : editor_.motion().selectedKeys()) {
    if (std::find(targets.begin(), targets.end(), key.target) == targets.end())
      targets.push_back(key.target);
  }
  if (targets.empty()) {
    const int index = editor_.motion().layerIndex();
    if (index >= 0) {
      const int number = editor_.session().project().layers[static_cast<size_t>(index)].number;
      for (int p = 0; p < kMotionProperties; ++p)
        targets.push_back({number, static_cast<MotionProperty>(p)});
    }
  }
  for (const MotionTarget& target : targets) {
    const MotionTrack* track = editor_.motion().track(target);
    if (!track) continue;
    for (int channel = 0; channel < (track->vector ? 2 : 1); ++channel)
      curves.push_back({target, channel});
  }
  return curves;
}

QRect CurveEditor::plot() const {
  return QRect(0, kButtons, width(), std::max(1, height() - kButtons));
}

void CurveEditor::frameAll() {
  std::vector<std::pair<const MotionTrack*, int>> curves;
  for (const Shown& curve : shown())
    curves.emplace_back(editor_.motion().track(curve.target), curve.channel);
  view_.frameAll(curves);
  update();
}

void CurveEditor::follow() {
  std::vector<MotionTarget> targets;
  for (const Shown& curve : shown())
    targets.push_back(curve.target);
  if (targets != framed_ && !drag_) {
    framed_ = targets;
    frameAll();
  }
  update();
}

void CurveEditor::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  view_.width = plot().width();
  view_.height = plot().height();
  framed_.clear();
  follow();
}

void CurveEditor::paintCurve(QPainter& painter, const Shown& curve, const MotionTrack& track) {
  QPolygonF line;
  for (const auto& p : curvePoints(track, curve.channel, view_))
    line << QPointF(p[0], p[1]);
  painter.setPen(QPen(colourOf(curve), 1.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(line);
  const std::vector<KeyRef>& selected = editor_.motion().selectedKeys();
  for (const CurveHandle& handle : curveHandles(track, curve.channel)) {
    const QPointF at(view_.xOf(handle.at[0]), view_.yOf(handle.at[1]));
    if (handle.which == 0) {
      const bool on = std::find(selected.begin(), selected.end(),
                                KeyRef{curve.target, handle.key}) != selected.end();
      painter.setPen(QPen(Qt::black, 1));
      painter.setBrush(on ? QColor(255, 170, 0) : Qt::white);
      painter.drawRect(QRectF(at.x() - 3.5, at.y() - 3.5, 7, 7));
      continue;
    }
    // A Bézier handle, tied to the key it starts from or the key it ends at.
    const MotionKey& from =
        track.keys[static_cast<size_t>(handle.key) + (handle.which == 1 ? 0 : 1)];
    const QPointF key(view_.xOf(from.time),
                      view_.yOf(from.value[static_cast<size_t>(curve.channel)]));
    painter.setPen(QPen(colourOf(curve).lighter(130), 1, Qt::DashLine));
    painter.drawLine(key, at);
    painter.setPen(QPen(colourOf(curve), 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(at, 3.5, 3.5);
  }
}

void CurveEditor::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = plot();
  painter.fillRect(area, palette().base());
  painter.setClipRect(area);
  painter.translate(area.topLeft());
  // The value 0 and the playhead.
  painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
  painter.drawLine(QPointF(0, view_.yOf(0.0)), QPointF(view_.width, view_.yOf(0.0)));
  const double head = editor_.view().currentTime();
  painter.setPen(QPen(QColor(220, 40, 40), 1));
  painter.drawLine(QPointF(view_.xOf(head), 0), QPointF(view_.xOf(head), view_.height));
  painter.setRenderHint(QPainter::Antialiasing);
  const std::vector<Shown> curves = shown();
  for (const Shown& curve : curves) {
    if (const MotionTrack* track = editor_.motion().track(curve.target))
      paintCurve(painter, curve, *track);
  }
  if (curves.empty()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(QRect(0, 0, view_.width, view_.height), Qt::AlignCenter,
                     qtr("キーのあるレイヤーを選ぶと、その値の動きがここに出ます。"));
  }
}

void CurveEditor::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position() - plot().topLeft();
  last_ = event->position().toPoint();
  if (event->button() == Qt::MiddleButton) {
    panning_ = true;
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  MotionEditing& motion = editor_.motion();
  for (const Shown& curve : shown()) {
    const MotionTrack* track = motion.track(curve.target);
    const std::optional<CurveHandle> hit =
        track ? curveHandleAt(*track, curve.channel, view_, at.x(), at.y(), 6.0) : std::nullopt;
    if (!hit) continue;
    const KeyRef key{curve.target, hit->key};
    std::vector<KeyRef> keys = motion.selectedKeys();
    const bool chosen = std::find(keys.begin(), keys.end(), key) != keys.end();
    if (event->modifiers() & Qt::ControlModifier) {
      if (!chosen) keys.push_back(key);
    } else if (!chosen) {
      keys = {key};
    }
    motion.selectKeys(keys);
    drag_ = Drag{curve, *hit};
    editor_.session().beginGesture();
    update();
    return;
  }
  if (!(event->modifiers() & Qt::ControlModifier)) motion.selectKeys({});
  follow();  // other curves may show now
}

void CurveEditor::mouseMoveEvent(QMouseEvent* event) {
  const QPoint now = event->position().toPoint();
  if (panning_) {
    view_.pan(now.x() - last_.x(), now.y() - last_.y());
    last_ = now;
    update();
    return;
  }
  if (!drag_) return;
  MotionEditing& motion = editor_.motion();
  const MotionTrack* track = motion.track(drag_->curve.target);
  if (!track || drag_->handle.key >= static_cast<int>(track->keys.size())) return;
  const QPointF at = event->position() - plot().topLeft();
  const double t = view_.timeOf(at.x());
  const double v = view_.valueOf(at.y());
  const KeyRef key{drag_->curve.target, drag_->handle.key};
  if (drag_->handle.which == 0) {
    // In whole frames; the other value of a position stays.
    const double fps = static_cast<double>(editor_.session().project().fps);
    std::array<double, 2> value = track->keys[static_cast<size_t>(key.index)].value;
    value[static_cast<size_t>(drag_->curve.channel)] = v;
    motion.setKeyAt(key, fps > 0.0 ? std::round(t * fps) / fps : t, value);
  } else {
    motion.setCurve(
        {key}, curveWithHandle(*track, drag_->curve.channel, key.index, drag_->handle.which, t, v));
  }
  update();
}

void CurveEditor::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton) panning_ = false;
  if (event->button() == Qt::LeftButton && drag_) {
    drag_.reset();
    editor_.session().endGesture();
  }
  update();
}

void CurveEditor::wheelEvent(QWheelEvent* event) {
  const double factor = std::pow(1.2, event->angleDelta().y() / 120.0);
  const QPointF at = event->position() - plot().topLeft();
  if (event->modifiers() & Qt::ControlModifier) {
    view_.zoom(1.0, factor, at.x(), at.y());
  } else {
    view_.zoom(factor, 1.0, at.x(), at.y());
  }
  update();
}

}  // namespace pelorix::gui
