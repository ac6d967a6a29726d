// SPDX-License-Identifier: GPL-3.0-or-later
#include "timeline_widget.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollBar>
#include <climits>
#include <cmath>
#include <thread>

#include "app/editor.h"
#include "app/thumbnails.h"
#include "audio_scrub.h"
#include "base/c_locale.h"
#include "base/paths.h"
#include "output/run_plan.h"
#include "qtr.h"

namespace pelorix::gui {

TimelineWidget::TimelineWidget(Editor& editor, QWidget* parent) : QWidget(parent), editor_(editor) {
  setObjectName("timeline");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumHeight(geometry_.ruler + geometry_.rowHeight * 2);
  scrub_ = new AudioScrub(this);
  rowBar_ = new QScrollBar(Qt::Vertical, this);
  rowBar_->setObjectName("timelineRows");
  connect(rowBar_, &QScrollBar::valueChanged, this, [this](int value) {
    geometry_.rowScroll = value;
    update();
  });
}

void TimelineWidget::setRowScroll(int pixels) {
  rowBar_->setValue(pixels);  // clamped to its range; paints through valueChanged
}

void TimelineWidget::showSelectedRow() {
  for (int i = 0; i < static_cast<int>(model_.rows.size()); ++i) {
    const TimelineRow& row = model_.rows[static_cast<size_t>(i)];
    if (!row.lane && row.layerIndex >= 0 && rowSelected(row)) {
      setRowScroll(geometry_.scrollShowing(i, height()));
      return;
    }
  }
}

QSize TimelineWidget::sizeHint() const {
  const int rows = std::clamp(static_cast<int>(model_.rows.size()), 3, 8);
  return {600, geometry_.ruler + rows * geometry_.rowHeight + 4};
}

void TimelineWidget::rebuild() {
  model_ = timelineModel(editor_.session().project(), folded_);
  geometry_.layOut(model_.rows);
  loadAudio();
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
  // Rows taller than the view scroll: the bar on the right shows where.
  const int spare = geometry_.contentHeight() - (height() - geometry_.ruler);
  rowBar_->setRange(0, std::max(0, spare));
  rowBar_->setPageStep(std::max(1, height() - geometry_.ruler));
  rowBar_->setSingleStep(geometry_.laneHeight);
  rowBar_->setVisible(spare > 0);
  geometry_.rowScroll = rowBar_->value();
  updateGeometry();
  update();
}

void TimelineWidget::loadAudio() {
  const AudioTrack audio =
      projectAudio(editor_.session().project(), editor_.session().projectFolder());
  if (audio.path == audioPath_) return;
  audioPath_ = audio.path;
  audio_ = Waveform();
  if (audio.path.empty()) return;
  // Decoded aside; a result for a track no longer the project's is dropped.
  QPointer<TimelineWidget> self(this);
  std::thread([self, path = audio.path] {
    auto wave = std::make_shared<Waveform>();
    const std::string failed = readWaveform(path, *wave);
    QMetaObject::invokeMethod(
        qApp,
        [self, path, wave, failed] {
          if (!self || self->audioPath_ != path) return;
          self->audio_ = std::move(*wave);
          self->update();
        },
        Qt::QueuedConnection);
  }).detach();
}

void TimelineWidget::scrubTo(double t) {
  // The sound first: the frame under the playhead takes longer to compose.
  for (const TimelineRow& row : model_.rows) {
    if (row.audio && !audio_.empty())
      scrub_->play(audio_.slice(t, row.audioOffset, 0.04), audio_.rate());
  }
  editor_.view().scrubTo(static_cast<float>(t));
}

void TimelineWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  rowBar_->setGeometry(width() - 12, geometry_.ruler, 12, height() - geometry_.ruler);
  if (shownProject_.empty()) rebuild();
  rebuild();
}

double TimelineWidget::playheadTime() const {
  return editor_.playback().playing() ? editor_.playback().playbackTime()
                                      : editor_.view().currentTime();
}

double TimelineWidget::frameTimeAt(int x) const {
  const double t = std::max(0.0, geometry_.timeOf(x));
  return model_.fps > 0.0 ? std::round(t * model_.fps) / model_.fps : t;
}

int TimelineWidget::frameAt(int x) const {
  return static_cast<int>(std::lround(geometry_.timeOf(x) * (model_.fps > 0.0 ? model_.fps : 1.0)));
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
  // The work area: a bar along the ruler, and the time outside it shaded.
  if (const auto area = editor_.timeline().workArea()) {
    const int a = std::max(geometry_.header, static_cast<int>(geometry_.xOf(area->first)));
    const int b = std::max(a, static_cast<int>(geometry_.xOf(area->second)));
    painter.fillRect(QRect(a, geometry_.ruler - 5, b - a, 5), QColor(90, 170, 90));
    const QColor shade(0, 0, 0, 40);
    painter.fillRect(QRect(geometry_.header, geometry_.ruler, a - geometry_.header, height()),
                     shade);
    painter.fillRect(QRect(b, geometry_.ruler, std::max(0, width() - b), height()), shade);
  }
  // Play from here, in the corner above the headers.
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(QRect(4, 0, geometry_.header - 8, geometry_.ruler), Qt::AlignVCenter,
                   QString::fromUtf8("▶ ") + qtr("ここから再生"));
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
        model_.fps > 0.0 ? formatC("%.0ff %.2fs", f, f / fps) : formatC("%.4gs", f);
    painter.drawText(x + 3, geometry_.ruler - 8, QString::fromStdString(text));
  }
}

bool TimelineWidget::rowSelected(const TimelineRow& row) const {
  const LayerList& lists = editor_.lists();
  return lists.selectedTreeItem() >= 0 &&
         lists.treeItems()[static_cast<size_t>(lists.selectedTreeItem())].layerIndex ==
             row.layerIndex;
}

// The header: the layer's name with a triangle that folds its lanes, or a lane's property.
void TimelineWidget::paintHeader(QPainter& painter, int index) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const int top = geometry_.rowTop(index);
  const int h = geometry_.rowHeightOf(index);
  const bool selectedLayer = !row.lane && row.layerIndex >= 0 && rowSelected(row);
  painter.fillRect(QRect(0, top, geometry_.header, h),
                   selectedLayer ? palette().highlight()
                                 : (row.lane ? palette().alternateBase() : palette().button()));
  painter.setPen(palette().color(row.shown ? QPalette::WindowText : QPalette::PlaceholderText));
  if (selectedLayer) painter.setPen(palette().color(QPalette::HighlightedText));
  int left = 4;
  if (row.keyed) {
    painter.drawText(QRect(2, top, 12, h), Qt::AlignCenter,
                     QString::fromUtf8(row.folded ? "▸" : "▾"));
    left = 16;
  }
  if (row.lane) left = 22;
  painter.drawText(QRect(left, top, geometry_.header - left - 4, h),
                   Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(row.name));
}

// A lane: its keys as diamonds, the selected ones filled, the curve to the next key as a line.
void TimelineWidget::paintLane(QPainter& painter, int index, double from, double to) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const int top = geometry_.rowTop(index);
  const int mid = top + geometry_.rowHeightOf(index) / 2;
  const std::vector<KeyRef>& selected = editor_.motion().selectedKeys();
  painter.setRenderHint(QPainter::Antialiasing);
  if (row.keys.size() > 1) {
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawLine(QPointF(geometry_.xOf(row.keys.front()), mid),
                     QPointF(geometry_.xOf(row.keys.back()), mid));
  }
  for (size_t i = 0; i < row.keys.size(); ++i) {
    if (row.keys[i] < from - 1.0 || row.keys[i] > to + 1.0) continue;
    const double x = geometry_.xOf(row.keys[i]);
    QPainterPath diamond;
    diamond.moveTo(x, mid - 5);
    diamond.lineTo(x + 5, mid);
    diamond.lineTo(x, mid + 5);
    diamond.lineTo(x - 5, mid);
    diamond.closeSubpath();
    const bool on = std::find(selected.begin(), selected.end(),
                              KeyRef{row.target, static_cast<int>(i)}) != selected.end();
    painter.setPen(QPen(QColor(40, 40, 60), 1));
    painter.fillPath(diamond, on ? QColor(255, 170, 0) : QColor(235, 235, 240));
    painter.drawPath(diamond);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
}

// The sound track: its waveform from where its offset puts it (drag it to move the sound).
void TimelineWidget::paintAudio(QPainter& painter, int index, double from) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const int top = geometry_.rowTop(index);
  const int h = geometry_.rowHeightOf(index);
  const int left = geometry_.header;
  const double start = geometry_.xOf(row.audioOffset);
  if (audio_.empty()) {
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(QRect(std::max(left, static_cast<int>(start)) + 4, top, 300, h),
                     Qt::AlignVCenter, qtr("音声を読んでいます…"));
    return;
  }
  const auto peaks =
      audio_.peaks(from, 1.0 / geometry_.pixelsPerSecond, width() - left, row.audioOffset);
  const double mid = top + h / 2.0;
  const double scale = h / 2.0 - 2.0;
  QVector<QLineF> lines;
  lines.reserve(static_cast<qsizetype>(peaks.size()));
  for (size_t i = 0; i < peaks.size(); ++i) {
    const auto [low, high] = peaks[i];
    if (low == 0.0f && high == 0.0f) continue;
    const double x = left + static_cast<double>(i) + 0.5;
    lines.append(QLineF(x, mid - high * scale, x, mid - low * scale));
  }
  painter.setPen(QColor(70, 130, 90));
  painter.drawLines(lines);
}

void TimelineWidget::paintDrop(QPainter& painter) {
  if ((drag_ != Drag::Block && drag_ != Drag::Layer) || (dragAt_ - pressAt_).manhattanLength() <= 4)
    return;
  const int row = geometry_.rowAt(dragAt_.y(), static_cast<int>(model_.rows.size()));
  if (row < 0 || model_.rows[static_cast<size_t>(row)].lane ||
      model_.rows[static_cast<size_t>(row)].layerIndex < 0) {
    return;
  }
  const int top = geometry_.rowTop(row);
  painter.setPen(QPen(QColor(255, 170, 0), 2));
  if (drag_ == Drag::Layer) {
    painter.drawLine(0, top, width(), top);
    return;
  }
  // The block at the edge nearest the mouse, as long as it is.
  const Layer& layer =
      editor_.session().project().layers[static_cast<size_t>(dragBlock_.layerIndex)];
  const double length =
      static_cast<double>(layer.sources[static_cast<size_t>(dragBlock_.source)].duration);
  const int x = static_cast<int>(geometry_.xOf(frameTimeAt(dragAt_.x())));
  painter.setBrush(QColor(255, 170, 0, 60));
  painter.drawRect(QRect(x, top + 2,
                         std::max(4, static_cast<int>(length * geometry_.pixelsPerSecond)),
                         geometry_.rowHeightOf(row) - 4));
}

void TimelineWidget::paintRow(QPainter& painter, int index, double from, double to) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(index)];
  const int top = geometry_.rowTop(index);
  const int h = geometry_.rowHeightOf(index);
  paintHeader(painter, index);
  painter.save();
  painter.setClipRect(QRect(geometry_.header, top, width() - geometry_.header, h));
  if (row.lane) paintLane(painter, index, from, to);
  if (row.audio) paintAudio(painter, index, from);
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
  const int x0 = static_cast<int>(geometry_.xOf(block.start));
  const int x1 = std::max(x0 + 1, static_cast<int>(geometry_.xOf(end)));
  const QRect box(x0, top + 2, x1 - x0, h - 4);
  const std::vector<BlockRef>& chosen = editor_.timeline().selectedBlocks();
  const bool selected =
      (rowSelected(row) && editor_.lists().selectedRow() == block.row) ||
      std::find(chosen.begin(), chosen.end(), BlockRef{row.layerIndex, block.row}) != chosen.end();
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
  painter.save();
  painter.setClipRect(QRect(0, geometry_.ruler, width(), height()));
  for (int i = 0; i < static_cast<int>(model_.rows.size()); ++i) {
    if (geometry_.rowTop(i) > height()) break;
    if (geometry_.rowTop(i) + geometry_.rowHeightOf(i) < geometry_.ruler) continue;
    paintRow(painter, i, from, to);
  }
  painter.restore();
  paintRuler(painter, from, to);
  paintDrop(painter);
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

}  // namespace pelorix::gui
