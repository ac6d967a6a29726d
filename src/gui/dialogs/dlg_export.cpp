// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_export.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "../message_box.h"
#include "../qtr.h"
#include "app/dialog_rules.h"
#include "base/c_locale.h"
#include "base/paths.h"
#include "imageio/codec.h"

namespace pelorix::gui {
namespace {

QSpinBox* spin(int low, int high, int value, QWidget* parent, const char* name) {
  auto* box = new QSpinBox(parent);
  box->setObjectName(name);
  box->setRange(low, high);
  box->setValue(value);
  return box;
}

QComboBox* combo(const QStringList& items, int current, QWidget* parent, const char* name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->addItems(items);
  box->setCurrentIndex(std::clamp(current, 0, static_cast<int>(items.size()) - 1));
  return box;
}

const OutputFormat& formatAt(int index) {
  return outputFormats()[static_cast<size_t>(index)];
}

// A format's line in the list: its label and extension; with a codec other than the format's
// own, that codec in the label's brackets ("MP4 動画 (AV1)").
QString formatText(const OutputFormat& format, const char* codecLabel) {
  std::string label = _(format.label);
  const size_t open = label.rfind(" (");
  if (codecLabel && open != std::string::npos && label.back() == ')')
    label = label.substr(0, open) + " (" + codecLabel + ")";
  return QString::fromStdString(formatC("%s (.%.*s)", label.c_str(),
                                        static_cast<int>(format.extension().size()),
                                        format.extension().data()));
}

}  // namespace

DlgExport::DlgExport(const ExportValues& values, bool projectHasAudio, QWidget* parent)
    : QDialog(parent), values_(values), projectHasAudio_(projectHasAudio) {
  setObjectName("DlgExport");
  setWindowTitle(qtr("書き出し"));
  format_ = new QComboBox(this);
  format_->setObjectName("format");
  for (const OutputFormat& format : outputFormats())
    format_->addItem(formatText(format, nullptr));
  format_->setCurrentIndex(values.format);
  path_ = new QLineEdit(QString::fromStdString(values.path), this);
  path_->setObjectName("path");
  auto* browseButton = new QPushButton(">", this);
  browseButton->setObjectName("browse");
  browseButton->setAutoDefault(false);
  browseButton->setMaximumWidth(28);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(browseButton);

  makeFields(values);
  QFormLayout* form = makeForm(pathRow);
  auto* ok = new QPushButton(qtr("書き出し"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(qtr("キャンセル"), this);
  cancel->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &DlgExport::accept);
  connect(cancel, &QPushButton::clicked, this, &DlgExport::reject);
  connect(browseButton, &QPushButton::clicked, this, &DlgExport::browse);
  connect(format_, &QComboBox::currentIndexChanged, this, &DlgExport::formatChosen);
  connect(codec_, &QComboBox::currentIndexChanged, this, &DlgExport::codecChosen);
  choosePath = [this](const QString& start, bool oneFile) {
    return oneFile ? QFileDialog::getSaveFileName(this, qtr("書き出し"), start)
                   : QFileDialog::getExistingDirectory(this, qtr("書き出し"), start);
  };
  formatChosen();
  // The codec kept from last time, when the format takes it.
  const OutputFormat& format = formatAt(values.format);
  for (size_t i = 0; i < format.codecs.size(); ++i) {
    if (format.codecs[i] == values.encode.codec) codec_->setCurrentIndex(static_cast<int>(i));
  }
}

QWidget* DlgExport::makeOptionField(const FormatOptionInfo& info, const EncodeOptions& encode) {
  const std::string value = info.get(encode);
  const std::string name(info.name);
  switch (info.kind) {
    case OptionKind::Whole: {
      QSpinBox* box = spin(info.dialogLow, info.high, cAtoi(value), this, name.c_str());
      if (info.specialLabel) box->setSpecialValueText(qtr(info.specialLabel));
      return box;
    }
    case OptionKind::Level: {
      auto* box = new QDoubleSpinBox(this);
      box->setObjectName(QString::fromStdString(name));
      box->setRange(0.0, 1.0);
      box->setSingleStep(0.25);
      box->setValue(cAtof(value));
      return box;
    }
    case OptionKind::Choice: {
      QStringList items;
      if (info.specialLabel) items << qtr(info.specialLabel);
      int current = 0;
      for (const OptionChoice& choice : info.choices()) {
        if (choice.name == value) current = static_cast<int>(items.size());
        items << qtr(choice.label);
      }
      return combo(items, current, this, name.c_str());
    }
    case OptionKind::Switch: {
      auto* box = new QCheckBox(this);
      box->setObjectName(QString::fromStdString(name));
      box->setChecked(value == "1");
      return box;
    }
    case OptionKind::Text: {
      auto* edit = new QLineEdit(QString::fromStdString(value), this);
      edit->setObjectName(QString::fromStdString(name));
      if (info.specialLabel) edit->setPlaceholderText(qtr(info.specialLabel));
      return edit;
    }
  }
  return nullptr;
}

bool DlgExport::readOptionField(const FormatOptionInfo& info, EncodeOptions& encode) {
  QWidget* field = fields_.at(info.option);
  std::string text;
  if (field == codec_) {
    const OutputFormat& format = formatAt(format_->currentIndex());
    const int index = codec_->currentIndex();
    if (index < 0 || format.codecs.empty()) {
      encode.codec = video::Codec::Default;
      return true;
    }
    for (const VideoCodec& codec : videoCodecs()) {
      if (codec.id == format.codecs[static_cast<size_t>(index)]) text = codec.name;
    }
  } else if (auto* box = qobject_cast<QSpinBox*>(field)) {
    text = std::to_string(box->value());
  } else if (auto* level = qobject_cast<QDoubleSpinBox*>(field)) {
    text = formatC("%g", level->value());
  } else if (auto* choices = qobject_cast<QComboBox*>(field)) {
    const int index = choices->currentIndex() - (info.specialLabel ? 1 : 0);
    if (index < 0) {
      text = "0";  // "not chosen": the first value
    } else {
      text = info.choices()[static_cast<size_t>(index)].name;
    }
  } else if (auto* check = qobject_cast<QCheckBox*>(field)) {
    text = check->isChecked() ? "1" : "0";
  } else if (auto* edit = qobject_cast<QLineEdit*>(field)) {
    text = edit->text().trimmed().toStdString();
  }
  const std::string problem = info.set(text, encode, _(info.label));
  if (problem.empty()) return true;
  showNotice(this, QString::fromStdString(problem));
  field->setFocus();
  return false;
}

void DlgExport::makeFields(const ExportValues& values) {
  for (const FormatOptionInfo& info : formatOptions())
    fields_[info.option] = makeOptionField(info, values.encode);
  codec_ = qobject_cast<QComboBox*>(fields_.at(FormatOption::Codec));
  width_ = spin(1, 65535, values.width, this, "width");
  height_ = spin(1, 65535, values.height, this, "height");
  fps_ =
      new QLineEdit(QString::fromStdString(formatC("%g", static_cast<double>(values.fps))), this);
  fps_->setObjectName("fps");
  transparent_ = new QCheckBox(qtr("背景を透明にする"), this);
  transparent_->setObjectName("transparent");
  transparent_->setChecked(values.transparent);
  const int lastFrame = std::max(0, values.frameCount - 1);
  first_ = spin(0, lastFrame, values.first, this, "first");
  last_ = spin(0, lastFrame, values.last, this, "last");
  audio_ = new QCheckBox(qtr("プロジェクトの音声を入れる"), this);
  audio_->setObjectName("audio");
  audio_->setChecked(values.audio);
}

// The rows: those of the format's options shown only when the format and codec use them.
QFormLayout* DlgExport::makeForm(QLayout* pathRow) {
  auto* form = new QFormLayout;
  form->addRow(qtr("形式"), format_);
  form->addRow(qtr("書き出し先"), pathRow);
  // The codec first among a video's settings: the others follow from it.
  std::vector<FormatOption> order = {FormatOption::Codec};
  for (const FormatOptionInfo& info : formatOptions()) {
    if (info.option != FormatOption::Codec) order.push_back(info.option);
  }
  for (FormatOption option : order) {
    auto* text = new QLabel(qtr(formatOptionInfo(option).label), this);
    form->addRow(text, fields_.at(option));
    rows_[option] = {text, fields_.at(option)};
  }
  auto* size = new QHBoxLayout;
  size->addWidget(width_);
  size->addWidget(new QLabel("x", this));
  size->addWidget(height_);
  form->addRow(qtr("大きさ"), size);
  form->addRow(qtr("フレームレート（FPS)"), fps_);
  auto* range = new QHBoxLayout;
  range->addWidget(first_);
  range->addWidget(new QLabel("-", this));
  range->addWidget(last_);
  form->addRow(qtr("画面"), range);
  form->addRow(transparent_);
  form->addRow(audio_);
  return form;
}

void DlgExport::codecChosen() {
  const OutputFormat& format = formatAt(format_->currentIndex());
  const int codec = codec_->currentIndex();
  const FormatOptionSet used =
      format.optionsWith(codec >= 0 && codec < static_cast<int>(format.codecs.size())
                             ? format.codecs[static_cast<size_t>(codec)]
                             : video::Codec::Default);
  for (auto& [option, row] : rows_) {
    row.first->setVisible(used.has(option));
    row.second->setVisible(used.has(option));
  }
  const char* codecLabel = nullptr;
  if (codec > 0 && codec < static_cast<int>(format.codecs.size())) {
    for (const VideoCodec& known : videoCodecs()) {
      if (known.id == format.codecs[static_cast<size_t>(codec)]) codecLabel = known.label;
    }
  }
  for (int i = 0; i < format_->count(); ++i)
    format_->setItemText(
        i, formatText(formatAt(i), i == format_->currentIndex() ? codecLabel : nullptr));
}

bool DlgExport::rowShown(FormatOption option) const {
  const auto it = rows_.find(option);
  return it != rows_.end() && !it->second.second->isHidden();
}

void DlgExport::formatChosen() {
  const OutputFormat& format = formatAt(format_->currentIndex());
  // The codecs of the container, its own first.
  codec_->blockSignals(true);
  codec_->clear();
  for (video::Codec id : format.codecs) {
    for (const VideoCodec& codec : videoCodecs()) {
      if (codec.id == id) codec_->addItem(QString::fromUtf8(codec.label));
    }
  }
  codec_->blockSignals(false);
  codec_->setCurrentIndex(format.codecs.empty() ? -1 : 0);
  emit codec_->currentIndexChanged(codec_->currentIndex());
  transparent_->setEnabled(format.keepsAlpha || !format.codecs.empty());
  audio_->setVisible(format.audio && projectHasAudio_);
  // A file's extension follows the format; a folder stays.
  QString path = path_->text();
  const std::string pathText = path.toStdString();
  const std::string_view extension = fileExtension(pathText);
  if (format.kind == OutputKind::OneFile) {
    const QString wanted = QString::fromUtf8(format.extension().data(),
                                             static_cast<qsizetype>(format.extension().size()));
    if (extension.empty()) {
      path = path + "." + wanted;
    } else if (!findOutputFormat(extension, OutputKind::OneFile) ||
               findOutputFormat(extension, OutputKind::OneFile) != &format) {
      path = path.left(path.size() - static_cast<qsizetype>(extension.size())) + "." + wanted;
    }
  } else if (!extension.empty() && findOutputFormat(extension, OutputKind::OneFile)) {
    path = QString::fromStdString(folderOf(path.toStdString()));
  }
  path_->setText(path);
}

void DlgExport::browse() {
  const OutputFormat& format = formatAt(format_->currentIndex());
  QString start = path_->text();
  if (QFileInfo(start).isRelative())
    start = QString::fromStdString(joinPath(values_.projectFolder, start.toStdString()));
  const QString chosen = choosePath(start, format.kind == OutputKind::OneFile);
  if (!chosen.isEmpty()) path_->setText(chosen);
}

void DlgExport::accept() {
  ExportValues read = values_;
  read.format = format_->currentIndex();
  read.path = path_->text().toStdString();
  if (read.path.empty()) {
    showNotice(this, qtr("書き出し先を入れてください。"));
    path_->setFocus();
    return;
  }
  for (const FormatOptionInfo& info : formatOptions()) {
    if (!readOptionField(info, read.encode)) return;
  }
  read.width = width_->value();
  read.height = height_->value();
  std::string problem;
  static constexpr NumberField kRate{N_("フレームレート（FPS)"), 0.01, 1000.0};
  const std::optional<double> fps = readNumberField(fps_->text().toStdString(), kRate, problem);
  if (!fps) {
    showNotice(this, QString::fromStdString(problem));
    fps_->setFocus();
    return;
  }
  // The project's own rate stays exactly as it is when the field still shows it.
  if (formatC("%g", static_cast<double>(values_.fps)) != fps_->text().trimmed().toStdString())
    read.fps = static_cast<float>(*fps);
  read.transparent = transparent_->isChecked();
  read.first = std::min(first_->value(), last_->value());
  read.last = std::max(first_->value(), last_->value());
  read.audio = audio_->isChecked();
  values_ = read;
  QDialog::accept();
}

}  // namespace pelorix::gui
