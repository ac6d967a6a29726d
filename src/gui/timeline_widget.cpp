// SPDX-License-Identifier: GPL-3.0-or-later
#include "timeline_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <climits>
#include <cmath>

#include "app/editor.h"
#include "app/thumbnails.h"
#include "base/c_locale.h"
#include "base/paths.h"

namespace pelorix::gui {

TimelineWidget::TimelineWidget(Editor& editor, QWidget* parent) : QWidget(parent), editor_(editor) {
  setObjectName("timeline");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumHeight(geometry_.ruler + geometry_.rowHeight * 2);
}

QSize TimelineWidget::sizeHint() const {
  const int rows = std::clamp(static_cast<int>(model_.rows.size()), 3, 8);
  return {600, geometry_.ruler + rows * geometry_.rowHeight + 4};
}

void TimelineWidget::rebuild() {
  model_ = timelineModel(editor_.session().project());
  labels_.clear();
  for (const TimelineRow& row : model_.rows) {
    QStringList names;
    names.reserve(static_cast<qsizetype>(row.blocks.size()));
    for (const TimelineBlock& block : row.blocks)
      names.append(QString::fromStdString(block.label));
    labels_.push_back(std::move(names));
  }
  // Another project: the whole animation fits the width again.
  const std::string project =
      editor_.session().projectFolder() + editor_.session().projectFileName();
  if (project != shownProject_ && model_.total > 0.0 && width() > geometry_.header + 40) {
    shownProject_ = project;
    geometry_.scroll = 0.0;
    geometry_.pixelsPerSecond =
        std::clamp((width() - geometry_.header - 20) / model_.total, 2.0, 4000.0);
  }
  updateGeometry();
  update();
}

void TimelineWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (shownProject_.empty()) rebuild();
}

double TimelineWidget::playheadTime() const {
  return editor_.playback().playing() ? editor_.playback().playbackTime()
                                      : editor_.view().currentTime();
}

double TimelineWidget::frameTimeAt(int x) const {
  const double t = std::max(0.0, geometry_.timeOf(x));
  return model_.fps > 0.0 ? std::round(t * model_.fps) / model_.fps : t;
}

// A block's picture, kept by what decides it: the file, the moment shown and the key colour.
QPixmap TimelineWidget::thumbnail(const TimelineRow& row, const TimelineBlock& block) {
  const Layer& layer = editor_.session().project().layers[static_cast<size_t>(row.layerIndex)];
  const QString key =
      QString("%1|%2|%3|%4|%5|%6")
          .arg(QString::fromStdString(block.file))
          .arg(row.layerIndex)
          .arg(block.row)
          .arg(block.start + block.end)
          .arg(layer.effects & effectColorKey)
          .arg((layer.keyColor.red << 16) | (layer.keyColor.green << 8) | layer.keyColor.blue);
  if (const auto found = thumbnails_.find(key); found != thumbnails_.end()) return *found;
  if (thumbnails_.size() > 1000) thumbnails_.clear();
  const Thumbnail thumb =
      sourceThumbnail(editor_.session().project(), row.layerIndex, block.row,
                      editor_.session().projectFolder(), geometry_.rowHeight - 6);
  QPixmap pixmap;
  if (!thumb.empty()) {
    pixmap = QPixmap::fromImage(QImage(thumb.rgba.data(), thumb.width, thumb.height,
                                       thumb.width * 4, QImage::Format_RGBA8888));
  }
  thumbnails_.insert(key, pixmap);
  return pixmap;
}

void TimelineWidget::paintRuler(QPainter& painter, double from, double to) {
  painter.fillRect(QRect(0, 0, width(), geometry_.ruler), palette().window());
  painter.setPen(palette().color(QPalette::WindowText));
  // Ticks on whole frames, at most one every 60 pixels: 1, 2, 5, 10 ... frames; without a
  // frame rate, 1, 2, 5, 10 ... seconds.
  const double fps = model_.fps > 0.0 ? model_.fps : 1.0;
  double step = 1.0;  // in frames
  for (double frames : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0,
                        5000.0, 10000.0, 20000.0, 50000.0}) {
    step = frames;
    if (frames / fps * geometry_.pixelsPerSecond >= 60.0) break;
  }
  for (double f = std::floor(from * fps / step) * step; f / fps <= to; f += step) {
    const int x = static_cast<int>(geometry_.xOf(f / fps));
    if (x < geometry_.header) continue;
    painter.drawLine(x, geometry_.ruler - 6, x, geometry_.ruler);
    const std::string text =
        model_.fps > 0.0 ? formatC("%.0ff %.4gs", f, f / fps) : formatC("%.4gs", f);
    painter.drawText(x + 3, geometry_.ruler - 8, QString::fromStdString(text));
  }
}

bool TimelineWidget::rowSelected(const TimelineRow& row) const {
  const LayerList& lists = editor_.lists();
  return lists.selectedTreeItem() >= 0 &&
         lists.treeItems()[static_cast<size_t>(lists.selectedTreeItem())].layerIndex ==
             row.layerIndex;
}

void TimelineWidget::paintRow(QPainter& painter, int index, double from, double to) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const int top = geometry_.rowTop(index);
  const int h = geometry_.rowHeight;
  const bool selectedLayer = rowSelected(row);
  painter.setPen(palette().color(row.shown ? QPalette::WindowText : QPalette::PlaceholderText));
  painter.fillRect(QRect(0, top, geometry_.header, h),
                   selectedLayer ? palette().highlight() : palette().button());
  if (selectedLayer) painter.setPen(palette().color(QPalette::HighlightedText));
  painter.drawText(QRect(4, top, geometry_.header - 8, h), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromStdString(row.name));
  painter.save();
  painter.setClipRect(QRect(geometry_.header, top, width() - geometry_.header, h));
  const auto [first, last] = visibleBlocks(row, from, to);
  // Blocks a few pixels wide are one band with their edges as lines: thousands of sources
  // redraw as fast as a few.
  if (last > first &&
      (geometry_.xOf(row.blocks[last - 1].end) - geometry_.xOf(row.blocks[first].start)) /
              static_cast<double>(last - first) <
          6.0) {
    paintBand(painter, index, first, last);
  } else {
    for (size_t i = first; i < last; ++i)
      paintBlock(painter, index, i);
  }
  painter.restore();
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, top + h - 1, width(), top + h - 1);
}

QColor TimelineWidget::blockColour(const TimelineRow& row) {
  return row.shown ? QColor(120, 160, 210) : QColor(170, 170, 170);
}

void TimelineWidget::paintBand(QPainter& painter, int index, size_t first, size_t last) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const int top = geometry_.rowTop(index);
  const int h = geometry_.rowHeight;
  const QColor fill = blockColour(row);
  const int x0 = static_cast<int>(geometry_.xOf(row.blocks[first].start));
  const int x1 = static_cast<int>(geometry_.xOf(row.blocks[last - 1].end));
  painter.fillRect(QRect(x0, top + 2, std::max(1, x1 - x0), h - 4), fill);
  QVector<QLine> edges;
  edges.reserve(static_cast<qsizetype>(last - first));
  int previous = INT_MIN;
  for (size_t i = first; i < last; ++i) {
    const int x = static_cast<int>(geometry_.xOf(row.blocks[i].end));
    if (x != previous) edges.append(QLine(x, top + 2, x, top + h - 3));
    previous = x;
  }
  painter.setPen(QColor(40, 40, 60));
  painter.drawLines(edges);
  const int selectedRow = editor_.lists().selectedRow();
  if (rowSelected(row) && selectedRow >= 0 && selectedRow < static_cast<int>(row.blocks.size())) {
    const TimelineBlock& block = row.blocks[static_cast<size_t>(selectedRow)];
    const int s0 = static_cast<int>(geometry_.xOf(block.start));
    const int s1 = static_cast<int>(geometry_.xOf(block.end));
    painter.fillRect(QRect(s0, top + 2, std::max(2, s1 - s0), h - 4), fill.darker(140));
  }
}

void TimelineWidget::paintBlock(QPainter& painter, int index, size_t i) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const TimelineBlock& block = row.blocks[i];
  const int top = geometry_.rowTop(index);
  const int h = geometry_.rowHeight;
  const QColor fill = blockColour(row);
  double end = block.end;
  if (drag_ == Drag::Edge && dragRow_ == index && dragBlock_ == static_cast<int>(i)) end = dragEnd_;
  const int x0 = static_cast<int>(geometry_.xOf(block.start));
  const int x1 = std::max(x0 + 1, static_cast<int>(geometry_.xOf(end)));
  const QRect box(x0, top + 2, x1 - x0, h - 4);
  const bool selected = rowSelected(row) && editor_.lists().selectedRow() == block.row;
  painter.fillRect(box, selected ? fill.darker(140) : fill);
  painter.setPen(QColor(40, 40, 60));
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  if (box.width() < 24) return;  // no room for a name
  int textLeft = x0 + 4;
  if (box.width() > 80) {
    const QPixmap picture = thumbnail(row, block);
    if (!picture.isNull() && picture.width() < box.width() / 2) {
      painter.drawPixmap(x0 + 2, top + 3, picture);
      textLeft += picture.width() + 2;
    }
  }
  // The name, shortened with an ellipsis before the glide's arrow.
  painter.setPen(selected ? Qt::white : Qt::black);
  const int room = x1 - textLeft - (block.glides ? 16 : 4);
  if (room > 8) {
    painter.drawText(
        QRect(textLeft, top, room, h), Qt::AlignVCenter,
        fontMetrics().elidedText(labels_[static_cast<size_t>(index)][i], Qt::ElideRight, room));
  }
  // A glide: an arrow at the end, bent by the easing.
  if (block.glides && box.width() > 16) {
    static const char* const kEaseMarks[] = {"→", "↗", "↘", "∿", "▮"};
    painter.drawText(QRect(x1 - 14, top, 12, h), Qt::AlignVCenter,
                     QString::fromUtf8(kEaseMarks[static_cast<int>(block.ease)]));
  }
}

void TimelineWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const double from = geometry_.timeOf(geometry_.header);
  const double to = geometry_.timeOf(width());
  paintRuler(painter, from, to);
  for (int i = 0; i < static_cast<int>(model_.rows.size()); ++i) {
    if (geometry_.rowTop(i) > height()) break;
    paintRow(painter, i, from, to);
  }
  // The end of the animation and the playhead.
  painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
  const int end = static_cast<int>(geometry_.xOf(model_.total));
  if (end >= geometry_.header) painter.drawLine(end, geometry_.ruler, end, height());
  const int head = static_cast<int>(geometry_.xOf(playheadTime()));
  if (head >= geometry_.header) {
    painter.setPen(QPen(QColor(220, 40, 40), 2));
    painter.drawLine(head, 0, head, height());
  }
}

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  const TimelineHit hit = hitTimeline(model_, geometry_, at.x(), at.y());
  switch (hit.kind) {
    case TimelineHit::Ruler:
      drag_ = Drag::Scrub;
      editor_.view().scrubTo(static_cast<float>(frameTimeAt(at.x())));
      break;
    case TimelineHit::BlockEnd: {
      drag_ = Drag::Edge;
      dragRow_ = hit.rowIndex;
      dragBlock_ = hit.block;
      dragEnd_ =
          model_.rows[static_cast<size_t>(hit.rowIndex)].blocks[static_cast<size_t>(hit.block)].end;
      break;
    }
    case TimelineHit::Block: {
      const TimelineRow& row = model_.rows[static_cast<size_t>(hit.rowIndex)];
      editor_.sources().selectSource(row.layerIndex,
                                     row.blocks[static_cast<size_t>(hit.block)].row);
      break;
    }
    case TimelineHit::Nothing:
      break;
  }
  update();
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (drag_ == Drag::Scrub) {
    editor_.view().scrubTo(static_cast<float>(frameTimeAt(at.x())));
  } else if (drag_ == Drag::Edge) {
    const TimelineBlock& block =
        model_.rows[static_cast<size_t>(dragRow_)].blocks[static_cast<size_t>(dragBlock_)];
    dragEnd_ = std::max(block.start, frameTimeAt(at.x()));
    update();
  } else {
    const TimelineHit hit = hitTimeline(model_, geometry_, at.x(), at.y());
    setCursor(hit.kind == TimelineHit::BlockEnd ? Qt::SizeHorCursor : Qt::ArrowCursor);
  }
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (drag_ == Drag::Edge) {
    const TimelineRow& row = model_.rows[static_cast<size_t>(dragRow_)];
    const TimelineBlock& block = row.blocks[static_cast<size_t>(dragBlock_)];
    const int layer = row.layerIndex;
    const int source = block.row;
    const auto duration = static_cast<float>(dragEnd_ - block.start);
    drag_ = Drag::None;
    editor_.sources().setSourceDuration(layer, source, duration);  // rebuilds the timeline
  }
  drag_ = Drag::None;
  update();
}

void TimelineWidget::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (event->modifiers() & Qt::ControlModifier) {
    geometry_.zoom(std::pow(1.25, notches), event->position().x());
  } else {
    const int delta =
        event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    geometry_.scroll =
        std::max(0.0, geometry_.scroll - delta / 120.0 * 60.0 / geometry_.pixelsPerSecond);
  }
  update();
}

void TimelineWidget::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Home:
      editor_.view().scrubTo(0.0f);
      break;
    case Qt::Key_End:
      editor_.view().scrubTo(static_cast<float>(model_.total));
      break;
    case Qt::Key_Left:
      editor_.view().step(-1);
      break;
    case Qt::Key_Right:
      editor_.view().step(1);
      break;
    case Qt::Key_PageUp:
      editor_.view().page(-1);
      break;
    case Qt::Key_PageDown:
      editor_.view().page(1);
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  // Keep the playhead in view.
  const double head = playheadTime();
  if (geometry_.xOf(head) > width() - 20 || geometry_.xOf(head) < geometry_.header) {
    geometry_.scroll =
        std::max(0.0, head - (width() - geometry_.header) / 2.0 / geometry_.pixelsPerSecond);
  }
  update();
}

}  // namespace pelorix::gui
