// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pelorix::gui {

// "ファイル生成": the file just written and a bar from 0 to 30 while a conversion runs.
class DlgProgress : public QDialog {
  Q_OBJECT

 public:
  explicit DlgProgress(QWidget* parent = nullptr);
  void setPosition(int position);
  void setFileText(const QString& text);
  int position() const;
  QString fileText() const;

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* abort_;  // kept hidden: the main window's convert button aborts
};

}  // namespace pelorix::gui
