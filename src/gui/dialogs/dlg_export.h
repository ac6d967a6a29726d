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
  DlgExport(const ExportValues& values, bool projectHasAudio, QWidget* parent = nullptr);
  const ExportValues& values() const { return values_; }
  // Whether the row of a setting is shown now (it applies to the format and codec chosen).
  bool rowShown(FormatOption option) const;
  // Chooses the path; tests replace it.
  std::function<QString(const QString& start, bool oneFile)> choosePath;

 public slots:
  void accept() override;

 private:
  void makeFields(const ExportValues& values);
  // The field of an encoder setting, made as its row in the format table says.
  QWidget* makeOptionField(const FormatOptionInfo& info, const EncodeOptions& encode);
  // The setting's field read into `encode`; false (after saying why) when it does not read.
  bool readOptionField(const FormatOptionInfo& info, EncodeOptions& encode);
  QFormLayout* makeForm(QLayout* pathRow);
  void formatChosen();
  void codecChosen();
  void browse();

  ExportValues values_;
  bool projectHasAudio_;
  QComboBox* format_ = nullptr;
  QLineEdit* path_ = nullptr;
  std::map<FormatOption, QWidget*> fields_;
  QComboBox* codec_ = nullptr;  // the codec's field, whose choices are the format's codecs
  QSpinBox* width_ = nullptr;
  QSpinBox* height_ = nullptr;
  QLineEdit* fps_ = nullptr;
  QCheckBox* transparent_ = nullptr;
  QSpinBox* first_ = nullptr;
  QSpinBox* last_ = nullptr;
  QCheckBox* audio_ = nullptr;
  std::map<FormatOption, std::pair<QLabel*, QWidget*>> rows_;
};

}  // namespace pelorix::gui
