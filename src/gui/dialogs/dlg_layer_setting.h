// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "app/ui_port.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace pelorix::gui {

// "レイヤー設定": number, name, shown, colour key, interpolation, the picture's transparency and
// the key colour of one layer.
// Only OK is visible; Escape or the close box cancels.
class DlgLayerSetting : public QDialog {
  Q_OBJECT

 public:
  DlgLayerSetting(const LayerValues& values, QWidget* parent = nullptr);
  const LayerValues& values() const { return values_; }

  void accept() override;

 private:
  LayerValues values_;
  QLineEdit* number_;
  QLineEdit* name_;
  QPushButton* visible_;
  QPushButton* colorKey_;
  QPushButton* interpolate_;
  QPushButton* alpha_;
  QLineEdit* red_;
  QLineEdit* green_;
  QLineEdit* blue_;
  QComboBox* mode_;
  QComboBox* parent_;
};

}  // namespace pelorix::gui
