// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QListWidget;

namespace pelorix::gui {

// "Pelorixの情報": the version line and a text shown one line per row (the About text or a
// project summary).
class DlgVersion : public QDialog {
  Q_OBJECT

 public:
  DlgVersion(const QString& displayText, const QString& title, QWidget* parent = nullptr);
  QListWidget* lines() const { return lines_; }

 private:
  QListWidget* lines_;
};

}  // namespace pelorix::gui
