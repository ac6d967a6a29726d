// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pelorix::gui {

// "ファイル生成": the file just written, the frames written of all, a bar from 0 to 30 and a
// button that stops the conversion while it runs.
class DlgProgress : public QDialog {
  Q_OBJECT

 public:
  explicit DlgProgress(QWidget* parent = nullptr);
  void setPosition(int position);
  void setFileText(const QString& text);
  void setFramesText(const QString& text);
  int position() const;
  QString fileText() const;
  QString framesText() const;

 signals:
  void stopPressed();

 private:
  QLabel* text_;
  QLabel* frames_;
  QProgressBar* bar_;
  QPushButton* abort_;
};

}  // namespace pelorix::gui
