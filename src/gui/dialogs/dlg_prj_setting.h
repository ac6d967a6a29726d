// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>

#include "app/ui_port.h"

class QLineEdit;
class QPushButton;

namespace pelorix::gui {

// "プロジェクト設定": project file name, name, save folder, save file name, size, frame rate,
// output format and the sound track of videos. Numbers outside what a project takes are
// refused with the field and its range.
class DlgPrjSetting : public QDialog {
  Q_OBJECT

 public:
  DlgPrjSetting(const ProjectValues& values, QWidget* parent = nullptr);
  const ProjectValues& values() const { return values_; }

  void accept() override;
  // The folder browser "保存フォルダ指定"; tests replace it.
  std::function<QString(const QString& start)> chooseFolder;
  // The file browser of the sound track; tests replace it.
  std::function<QString(const QString& start)> chooseAudio;

 private:
  void makeFields(const ProjectValues& values);
  void layOut();
  void browse();
  void browseAudio();

  ProjectValues values_;
  QLineEdit* fileName_;
  QLineEdit* name_;
  QLineEdit* saveFolder_;
  QLineEdit* saveFileName_;
  QLineEdit* width_;
  QLineEdit* height_;
  QLineEdit* fps_;
  QLineEdit* format_;
  QPushButton* transparent_;
  QPushButton* animated_;
  QLineEdit* audio_;
  QLineEdit* audioOffset_;
  QLineEdit* audioVolume_;
};

}  // namespace pelorix::gui
