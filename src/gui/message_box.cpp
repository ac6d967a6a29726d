// SPDX-License-Identifier: GPL-3.0-or-later
#include "message_box.h"

#include <QApplication>
#include <QMessageBox>

#include "dialogs/dlg_version.h"

namespace pelorix::gui {
namespace {

NoticeHook& noticeHook() {
  static NoticeHook hook;
  return hook;
}

AskHook& askHook() {
  static AskHook hook;
  return hook;
}

InformationHook& informationHook() {
  static InformationHook hook;
  return hook;
}

}  // namespace

void setMessageHooks(NoticeHook notice, AskHook ask, InformationHook information) {
  noticeHook() = std::move(notice);
  askHook() = std::move(ask);
  informationHook() = std::move(information);
}

namespace {

// A message box must be answerable by mouse: a window that holds the mouse for a gesture lets
// it go (its gesture ends).
void releaseGrab() {
  if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

}  // namespace

void showInformationDialog(QWidget* parent, const QString& text, const QString& title) {
  if (informationHook()) {
    informationHook()(text);
    return;
  }
  releaseGrab();
  DlgVersion dialog(text, title, parent);
  dialog.exec();
}

void showNotice(QWidget* parent, const QString& text) {
  if (noticeHook()) {
    noticeHook()(text);
    return;
  }
  releaseGrab();
  QMessageBox::information(parent, QApplication::applicationName(), text);
}

BoxAnswer askYesNoCancel(QWidget* parent, const QString& text) {
  if (askHook()) return askHook()(text);
  releaseGrab();
  const auto button = QMessageBox::question(
      parent, QApplication::applicationName(), text,
      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
  if (button == QMessageBox::Yes) return BoxAnswer::Yes;
  if (button == QMessageBox::No) return BoxAnswer::No;
  return BoxAnswer::Cancel;
}

}  // namespace pelorix::gui
