// SPDX-License-Identifier: GPL-3.0-or-later
#include "source_list.h"
#include "qtr.h"

#include <QDropEvent>
#include <QHeaderView>

#include "app/texts.h"

namespace pelorix::gui {

SourceList::SourceList(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("sourceList");
  setColumnCount(static_cast<int>(kSourceColumns));
  setHeaderLabels({"ID", qtr("ファイル名"), qtr("時間"), "X", "Y", qtr("倍率"), qtr("回転角"),
                   qtr("透明度"), qtr("動き")});
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
  static const int shares[kSourceColumns] = {6, 26, 9, 9, 9, 9, 10, 10, 12};
  for (size_t i = 0; i < kSourceColumns; ++i)
    setColumnWidth(static_cast<int>(i), clientWidth * shares[i] / 100);
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
