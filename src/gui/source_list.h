// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTreeWidget>

namespace pelorix::gui {

// The source list (report view, eight columns). Dragging a row onto another row asks for a move
// instead of moving the item itself; the editor then refills the list.
class SourceList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit SourceList(QWidget* parent = nullptr);
  void setColumnShares(int clientWidth);

 signals:
  void rowMoveRequested(int dragged, int target);

 protected:
  void dropEvent(QDropEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
};

}  // namespace pelorix::gui
