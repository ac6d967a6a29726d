// SPDX-License-Identifier: GPL-3.0-or-later
// The timeline's mouse, keys and menus: scrubbing, the work area, blocks, keys, headers.
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

#include "app/editor.h"
#include "app/layer_list.h"
#include "app/session.h"
#include "base/i18n.h"
#include "qtr.h"
#include "timeline_widget.h"

namespace pelorix::gui {

void TimelineWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  const bool add = (event->modifiers() & Qt::ControlModifier) != 0;
  pressAt_ = at;
  pressTime_ = frameTimeAt(at.x());
  pressFrame_ = frameAt(at.x());
  if (at.y() < geometry_.ruler && at.x() < geometry_.header) {
    emit playFromHereRequested();
    return;
  }
  if (at.x() < geometry_.header) {
    const int row = geometry_.rowAt(at.y(), static_cast<int>(model_.rows.size()));
    if (row >= 0) pressHeader(row, at);
    update();
    return;
  }
  const TimelineHit hit = hitTimeline(model_, geometry_, at.x(), at.y());
  switch (hit.kind) {
    case TimelineHit::Ruler:
      if (event->modifiers() & Qt::ShiftModifier) {
        drag_ = Drag::WorkArea;
        editor_.session().beginGesture();
        editor_.timeline().setWorkArea(std::pair{pressTime_, pressTime_});
      } else {
        drag_ = Drag::Scrub;
        scrubTo(pressTime_);
      }
      break;
    case TimelineHit::BlockEnd: {
      const TimelineRow& row = model_.rows[static_cast<size_t>(hit.rowIndex)];
      dragBlock_ = {row.layerIndex, row.blocks[static_cast<size_t>(hit.block)].row};
      // With Shift the edge is the next block's start (the blocks after it stay); without, the
      // block's end (the blocks after it follow).
      const bool roll = (event->modifiers() & Qt::ShiftModifier) != 0 &&
                        hit.block + 1 < static_cast<int>(row.blocks.size());
      if (roll) ++dragBlock_.source;
      drag_ = roll ? Drag::Roll : Drag::Edge;
      editor_.session().beginGesture();
      break;
    }
    case TimelineHit::Block:
      pressBlock(hit, add);
      break;
    case TimelineHit::Key:
      pressKey(hit, add);
      break;
    case TimelineHit::Nothing:
      if (const int row = geometry_.rowAt(at.y(), static_cast<int>(model_.rows.size()));
          row >= 0 && model_.rows[static_cast<size_t>(row)].audio) {
        drag_ = Drag::Audio;
        pressOffset_ = model_.rows[static_cast<size_t>(row)].audioOffset;
        editor_.session().beginGesture();
        break;
      }
      editor_.timeline().clearBlocks();
      editor_.motion().selectKeys({});
      break;
  }
  update();
}

// A header: its triangle folds the lanes; a layer's header is dragged to reorder the layers.
void TimelineWidget::pressHeader(int rowIndex, const QPoint& at) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(rowIndex)];
  if (row.keyed && at.x() < 16) {
    const int number =
        row.layerIndex < 0
            ? 0
            : editor_.session().project().layers[static_cast<size_t>(row.layerIndex)].number;
    if (!folded_.erase(number)) folded_.insert(number);
    rebuild();
    return;
  }
  if (row.lane || row.layerIndex < 0) return;
  editor_.lists().selectTreeItem(editor_.lists().treeItemOfLayer(row.layerIndex));
  drag_ = Drag::Layer;
  dragRow_ = rowIndex;
}

void TimelineWidget::pressKey(const TimelineHit& hit, bool add) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(hit.rowIndex)];
  const KeyRef key{row.target, hit.block};
  std::vector<KeyRef> keys = editor_.motion().selectedKeys();
  const auto found = std::find(keys.begin(), keys.end(), key);
  if (add && found != keys.end()) {
    keys.erase(found);
  } else if (add) {
    keys.push_back(key);
  } else if (found == keys.end()) {
    keys = {key};
  }
  editor_.motion().selectKeys(keys);
  if (found != keys.end() || !add) {
    drag_ = Drag::Keys;
    keyFrames_ = 0;
    editor_.session().beginGesture();
  }
}

void TimelineWidget::pressBlock(const TimelineHit& hit, bool add) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(hit.rowIndex)];
  const BlockRef block{row.layerIndex, row.blocks[static_cast<size_t>(hit.block)].row};
  editor_.timeline().clickBlock(block, add);
  editor_.motion().selectKeys({});
  if (!add) {
    drag_ = Drag::Block;
    dragBlock_ = block;
  }
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  switch (drag_) {
    case Drag::Scrub:
      scrubTo(frameTimeAt(at.x()));
      break;
    case Drag::Audio:
      editor_.timeline().setAudioOffset(pressOffset_ + frameTimeAt(at.x()) - pressTime_);
      break;
    case Drag::WorkArea:
      editor_.timeline().setWorkArea(std::pair{pressTime_, frameTimeAt(at.x())});
      break;
    case Drag::Edge:
      editor_.timeline().trimEnd(dragBlock_, frameTimeAt(at.x()));
      break;
    case Drag::Roll:
      editor_.timeline().trimStart(dragBlock_, frameTimeAt(at.x()));
      break;
    case Drag::Keys: {
      // Live: the keys follow the mouse a frame at a time.
      const int frames = frameAt(at.x()) - pressFrame_;
      if (frames != keyFrames_) {
        editor_.motion().shiftKeys(editor_.motion().selectedKeys(), frames - keyFrames_);
        keyFrames_ = frames;
      }
      break;
    }
    case Drag::Block:
    case Drag::Layer:
      setCursor((at - pressAt_).manhattanLength() > 4 ? Qt::ClosedHandCursor : Qt::ArrowCursor);
      dragAt_ = at;
      break;
    case Drag::None: {
      const TimelineHit hit = hitTimeline(model_, geometry_, at.x(), at.y());
      setCursor(hit.kind == TimelineHit::BlockEnd ? Qt::SizeHorCursor : Qt::ArrowCursor);
      return;
    }
  }
  update();
}

void TimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  finishDrag(event->position().toPoint());
  setCursor(Qt::ArrowCursor);
  update();
}

// The end of a drag: a block or a layer row is put where the mouse is; a gesture ends as one
// undo step.
void TimelineWidget::finishDrag(const QPoint& at) {
  const Drag drag = drag_;
  drag_ = Drag::None;
  const bool moved = (at - pressAt_).manhattanLength() > 4;
  const int row = geometry_.rowAt(at.y(), static_cast<int>(model_.rows.size()));
  switch (drag) {
    case Drag::Block:
      if (moved && row >= 0 && !model_.rows[static_cast<size_t>(row)].lane &&
          model_.rows[static_cast<size_t>(row)].layerIndex >= 0) {
        editor_.timeline().moveBlock(dragBlock_, model_.rows[static_cast<size_t>(row)].layerIndex,
                                     frameTimeAt(at.x()));
      }
      break;
    case Drag::Layer:
      if (moved && row >= 0 && row != dragRow_) {
        // The row among the layers' rows (lanes and the camera do not count).
        int layerRow = 0;
        for (int i = 0; i < row; ++i) {
          const TimelineRow& r = model_.rows[static_cast<size_t>(i)];
          layerRow += !r.lane && r.layerIndex >= 0;
        }
        editor_.timeline().moveLayer(model_.rows[static_cast<size_t>(dragRow_)].layerIndex,
                                     layerRow);
      }
      break;
    case Drag::Edge:
    case Drag::Roll:
    case Drag::Keys:
    case Drag::WorkArea:
    case Drag::Audio:
      editor_.session().endGesture();
      break;
    case Drag::Scrub:
    case Drag::None:
      break;
  }
}

void TimelineWidget::contextMenuEvent(QContextMenuEvent* event) {
  const QPoint at = event->pos();
  if (at.x() < geometry_.header) {
    const int row = geometry_.rowAt(at.y(), static_cast<int>(model_.rows.size()));
    if (row >= 0) headerMenu(row, event->globalPos());
    return;
  }
  const TimelineHit hit = hitTimeline(model_, geometry_, at.x(), at.y());
  if (hit.kind == TimelineHit::Key) {
    const TimelineRow& row = model_.rows[static_cast<size_t>(hit.rowIndex)];
    const KeyRef key{row.target, hit.block};
    const std::vector<KeyRef>& keys = editor_.motion().selectedKeys();
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) editor_.motion().selectKeys({key});
    keyMenu(event->globalPos());
  } else if (hit.kind == TimelineHit::Ruler && editor_.timeline().workArea()) {
    QMenu menu(this);
    menu.addAction(qtr("作業範囲を消す"), this,
                   [this] { editor_.timeline().setWorkArea(std::nullopt); });
    menu.exec(event->globalPos());
  }
  update();
}

// The curve of the selected keys: the presets, copy, paste at the playhead, delete.
void TimelineWidget::keyMenu(const QPoint& global) {
  MotionEditing& motion = editor_.motion();
  QMenu menu(this);
  menu.setObjectName("keyMenu");
  for (const CurvePreset& preset : curvePresets()) {
    menu.addAction(qtr(preset.label), this, [&motion, curve = preset.curve] {
      motion.setCurve(motion.selectedKeys(), curve);
    });
  }
  menu.addSeparator();
  menu.addAction(qtr("キーをコピー"), this, [&motion] { motion.copyKeys(); });
  menu.addAction(qtr("キーを貼り付け"), this, [this, &motion] { motion.pasteKeys(playheadTime()); })
      ->setEnabled(motion.canPaste());
  menu.addAction(qtr("キーを削除"), this, [&motion] { motion.deleteKeys(motion.selectedKeys()); });
  menu.exec(global);
}

// A layer's parent, chosen from the other layers.
void TimelineWidget::headerMenu(int rowIndex, const QPoint& global) {
  const TimelineRow& row = model_.rows[static_cast<size_t>(rowIndex)];
  if (row.lane || row.layerIndex < 0) return;
  const Project& project = editor_.session().project();
  const Layer& layer = project.layers[static_cast<size_t>(row.layerIndex)];
  const LayerMotion* own = project.motion.layer(layer.number);
  const int parent = own ? own->parent : 0;
  QMenu menu(this);
  QMenu* parents = menu.addMenu(qtr("親レイヤー"));
  parents->setObjectName("parentMenu");
  auto choose = [this, number = layer.number](int chosen) {
    editor_.motion().setParent(number, chosen);
  };
  QAction* none = parents->addAction(qtr("なし"), this, [choose] { choose(0); });
  none->setCheckable(true);
  none->setChecked(parent == 0);
  for (int i = 0; i < project.layerCount; ++i) {
    const Layer& other = project.layers[static_cast<size_t>(i)];
    if (other.number == layer.number) continue;
    QAction* item = parents->addAction(QString("%1 %2")
                                           .arg(other.number, 2, 10, QChar('0'))
                                           .arg(QString::fromStdString(other.name)),
                                       this, [choose, n = other.number] { choose(n); });
    item->setCheckable(true);
    item->setChecked(parent == other.number);
  }
  menu.exec(global);
}

void TimelineWidget::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  const int delta =
      event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
  if (event->modifiers() & Qt::ControlModifier) {
    geometry_.zoom(std::pow(1.25, notches), event->position().x());
  } else if ((event->modifiers() & Qt::ShiftModifier) || event->position().x() < geometry_.header) {
    setRowScroll(geometry_.rowScroll - delta / 120 * geometry_.rowHeight);
  } else {
    geometry_.scroll =
        std::max(0.0, geometry_.scroll - delta / 120.0 * 60.0 / geometry_.pixelsPerSecond);
  }
  update();
}

void TimelineWidget::keyPressEvent(QKeyEvent* event) {
  MotionEditing& motion = editor_.motion();
  TimelineEditing& timeline = editor_.timeline();
  const bool keys = !motion.selectedKeys().empty();
  if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Backspace) {
    if (keys) {
      motion.deleteKeys(motion.selectedKeys());
    } else {
      timeline.deleteBlocks();
    }
  } else if (event->matches(QKeySequence::Copy)) {
    if (keys) {
      motion.copyKeys();
    } else {
      timeline.copyBlocks();
    }
  } else if (event->matches(QKeySequence::Paste)) {
    if (motion.canPaste() && (keys || !timeline.canPaste())) {
      motion.pasteKeys(playheadTime());
    } else {
      timeline.pasteBlocks();
    }
  } else {
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
