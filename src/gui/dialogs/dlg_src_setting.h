// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>

#include "app/ui_port.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace pelorix::gui {

// "ソース画像設定": the image file, placement, duration, opacity, automatic calculation and the
// easing of the glide of one source. The plug-in text is kept in a hidden field and passes
// through.
class DlgSrcSetting : public QDialog {
  Q_OBJECT

 public:
  DlgSrcSetting(const SourceDialogValues& values, QWidget* parent = nullptr);
  const SourceDialogValues& values() const { return values_; }

  void accept() override;
  // The open dialog of the browse button; tests replace it.
  std::function<QString(const QString& folder, const QString& pattern)> chooseImage;

 private:
  void browse();

  SourceDialogValues values_;
  QLineEdit* file_;
  QLineEdit* x_;
  QLineEdit* y_;
  QLineEdit* scale_;
  QLineEdit* rotation_;
  QLineEdit* duration_;
  QLineEdit* opacity_;
  QLineEdit* plugin_;
  QPushButton* autoCalc_;
  QComboBox* ease_;
};

}  // namespace pelorix::gui
