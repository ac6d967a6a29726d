// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_progress.h"
#include "qtr.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace pelorix::gui {

DlgProgress::DlgProgress(QWidget* parent) : QDialog(parent) {
  setObjectName("DlgProgress");
  setWindowTitle(qtr("ファイル生成"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setModal(false);
  text_ = new QLabel(qtr("スタティック"), this);
  text_->setObjectName("fileText");
  text_->setMinimumWidth(360);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("progressBar");
  bar_->setRange(0, 30);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  frames_ = new QLabel(this);
  frames_->setObjectName("framesText");
  abort_ = new QPushButton(qtr("中断"), this);
  abort_->setObjectName("stop");
  abort_->setAutoDefault(false);
  connect(abort_, &QPushButton::clicked, this, &DlgProgress::stopPressed);
  auto* layout = new QGridLayout(this);
  layout->addWidget(text_, 0, 0);
  layout->addWidget(abort_, 0, 1);
  layout->addWidget(bar_, 1, 0);
  layout->addWidget(frames_, 1, 1);
}

void DlgProgress::setPosition(int position) {
  bar_->setValue(position);
}
void DlgProgress::setFileText(const QString& text) {
  text_->setText(text);
}
void DlgProgress::setFramesText(const QString& text) {
  frames_->setText(text);
}
QString DlgProgress::framesText() const {
  return frames_->text();
}
int DlgProgress::position() const {
  return bar_->value();
}
QString DlgProgress::fileText() const {
  return text_->text();
}

}  // namespace pelorix::gui
