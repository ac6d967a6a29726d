// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_list.h"
#include "qtr.h"

#include <QDropEvent>
#include <QHeaderView>

namespace pelorix::gui {

SourceList::SourceList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("sourceList");
  setColumnCount(8);
  setHeaderLabels(
      {"ID", qtr("ファイル名"), qtr("時間"), "X", "Y", qtr("倍率"), qtr("回転角"), qtr("透明度")});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::InternalMove);
  header()->setSectionsClickable(false);
  header()->setSortIndicatorShown(false);
}

void SourceList::setColumnShares(int clientWidth) {
  static const int shares[8] = {7, 30, 10, 10, 10, 10, 10, 10};
  for (int i = 0; i < 8; ++i)
    setColumnWidth(i, clientWidth * shares[i] / 100);
}

void SourceList::dragMoveEvent(QDragMoveEvent* event) {
  if (event->source() == this) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else {
    event->ignore();  // files from outside are dropped on the main window
  }
}

void SourceList::dropEvent(QDropEvent* event) {
  if (event->source() != this) {
    event->ignore();
    return;
  }
  const QModelIndex target = indexAt(event->position().toPoint());
  const int dragged = currentIndex().isValid() ? currentIndex().row() : -1;
  event->setDropAction(Qt::IgnoreAction);
  event->accept();
  if (target.isValid()) emit rowMoveRequested(dragged, target.row());
}

}  // namespace pelorix::gui
