// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>
#include <map>

#include "app/ui_port.h"
#include "output/formats.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace pelorix::gui {

// "書き出し": a format of the format table, the settings that apply to it, the size, rate,
// background and frames, the place to write; the same run as pelorix-cli render.
class DlgExport : public QDialog {
  Q_OBJECT

 public:
  DlgExport(const ExportValues& values, bool projectHasSound, QWidget* parent = nullptr);
  const ExportValues& values() const { return values_; }
  // Whether the row of a setting is shown now (it applies to the format and codec chosen).
  bool rowShown(FormatOption option) const;
  // Chooses the path; tests replace it.
  std::function<QString(const QString& start, bool oneFile)> choosePath;

 public slots:
  void accept() override;

 private:
  void makeFields(const ExportValues& values);
  QFormLayout* makeForm(QLayout* pathRow);
  void formatChosen();
  void codecChosen();
  void browse();

  ExportValues values_;
  bool projectHasSound_;
  QComboBox* format_ = nullptr;
  QLineEdit* path_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QSpinBox* pngLevel_ = nullptr;
  QSpinBox* crf_ = nullptr;
  QCheckBox* lossless_ = nullptr;
  QComboBox* codec_ = nullptr;
  QComboBox* preset_ = nullptr;
  QLineEdit* bitrate_ = nullptr;
  QComboBox* prores_ = nullptr;
  QComboBox* even_ = nullptr;
  QSpinBox* loop_ = nullptr;
  QComboBox* palette_ = nullptr;
  QDoubleSpinBox* dither_ = nullptr;
  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QLineEdit* fps_ = nullptr;
  QCheckBox* transparent_ = nullptr;
  QSpinBox* first_ = nullptr;
  QSpinBox* last_ = nullptr;
  QCheckBox* sound_ = nullptr;
  std::map<FormatOption, std::pair<QLabel*, QWidget*>> rows_;
};

}  // namespace pelorix::gui
