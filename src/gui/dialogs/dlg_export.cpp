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

}  // namespace

DlgExport::DlgExport(const ExportValues& values, bool projectHasSound, QWidget* parent)
    : QDialog(parent), values_(values), projectHasSound_(projectHasSound) {
  setObjectName("DlgExport");
  setWindowTitle(qtr("書き出し"));
  const EncodeOptions& e = values.encode;
  format_ = new QComboBox(this);
  format_->setObjectName("format");
  for (const OutputFormat& format : outputFormats()) {
    format_->addItem(QString::fromStdString(formatC("%s (.%.*s)", _(format.label),
                                                    static_cast<int>(format.extension().size()),
                                                    format.extension().data())));
  }
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
    if (format.codecs[i] == e.codec) codec_->setCurrentIndex(static_cast<int>(i));
  }
}

void DlgExport::makeFields(const ExportValues& values) {
  const EncodeOptions& e = values.encode;
  quality_ = spin(1, 100, e.quality, this, "quality");
  pngLevel_ = spin(0, 9, e.pngLevel, this, "pngLevel");
  crf_ = spin(-1, 63, e.crf, this, "crf");
  crf_->setSpecialValueText(qtr("既定"));
  lossless_ = new QCheckBox(this);
  lossless_->setObjectName("lossless");
  lossless_->setChecked(e.lossless);
  codec_ = new QComboBox(this);
  codec_->setObjectName("codec");
  preset_ = combo({qtr("速い"), qtr("普通"), qtr("遅い (小さい)")},
                  std::max(0, static_cast<int>(e.preset) - 1), this, "preset");
  bitrate_ = new QLineEdit(e.bitrate > 0 ? QString::number(e.bitrate) : QString(), this);
  bitrate_->setObjectName("bitrate");
  bitrate_->setPlaceholderText(qtr("なし (CRF)"));
  prores_ = combo({qtr("既定"), "proxy", "lt", "standard", "hq", "4444"},
                  static_cast<int>(e.proresProfile), this, "proresProfile");
  even_ =
      combo({qtr("背景で広げる"), qtr("切り詰める")}, static_cast<int>(values.even), this, "even");
  loop_ = spin(0, 65535, e.loop, this, "loop");
  loop_->setSpecialValueText(qtr("無限"));
  palette_ =
      combo({qtr("画面ごと"), qtr("全画面で一つ")}, e.globalPalette ? 1 : 0, this, "gifPalette");
  dither_ = new QDoubleSpinBox(this);
  dither_->setObjectName("dither");
  dither_->setRange(0.0, 1.0);
  dither_->setSingleStep(0.25);
  dither_->setValue(static_cast<double>(e.dither));
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
  sound_ = new QCheckBox(qtr("プロジェクトの音声を入れる"), this);
  sound_->setObjectName("sound");
  sound_->setChecked(values.sound);
}

// The rows: those of the format's options shown only when the format and codec use them.
QFormLayout* DlgExport::makeForm(QLayout* pathRow) {
  auto* form = new QFormLayout;
  form->addRow(qtr("形式"), format_);
  form->addRow(qtr("書き出し先"), pathRow);
  auto add = [&](FormatOption option, const char* label, QWidget* field) {
    auto* text = new QLabel(qtr(label), this);
    form->addRow(text, field);
    rows_[option] = {text, field};
  };
  add(FormatOption::Quality, N_("品質"), quality_);
  add(FormatOption::PngLevel, N_("PNG 圧縮レベル"), pngLevel_);
  add(FormatOption::Lossless, N_("劣化なし"), lossless_);
  add(FormatOption::Codec, N_("コーデック"), codec_);
  add(FormatOption::Crf, N_("品質 (CRF)"), crf_);
  add(FormatOption::Bitrate, N_("ビットレート"), bitrate_);
  add(FormatOption::Preset, N_("速さ"), preset_);
  add(FormatOption::ProResProfile, N_("ProRes プロファイル"), prores_);
  add(FormatOption::Even, N_("奇数の辺"), even_);
  add(FormatOption::Loop, N_("再生回数"), loop_);
  add(FormatOption::GifPalette, N_("パレット"), palette_);
  add(FormatOption::Dither, N_("ディザリング"), dither_);
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
  form->addRow(sound_);
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
  sound_->setVisible(format.sound && projectHasSound_);
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
  const OutputFormat& format = formatAt(read.format);
  read.path = path_->text().toStdString();
  if (read.path.empty()) {
    showNotice(this, qtr("書き出し先を入れてください。"));
    path_->setFocus();
    return;
  }
  EncodeOptions& e = read.encode;
  e.quality = quality_->value();
  e.pngLevel = pngLevel_->value();
  e.crf = crf_->value();
  e.lossless = lossless_->isChecked();
  e.codec = codec_->currentIndex() >= 0 && !format.codecs.empty()
                ? format.codecs[static_cast<size_t>(codec_->currentIndex())]
                : video::Codec::Default;
  e.preset = static_cast<video::Preset>(preset_->currentIndex() + 1);
  e.bitrate = 0;
  if (!bitrate_->text().trimmed().isEmpty()) {
    const std::string text = bitrate_->text().trimmed().toStdString();
    const double number = cAtof(text);
    const char unit = text.back();
    const double factor = unit == 'k' || unit == 'K' ? 1e3 : unit == 'M' || unit == 'm' ? 1e6 : 1.0;
    if (!(number * factor >= 1000.0)) {
      showNotice(this, qtr("ビットレートは 5M や 800k のように入れてください。"));
      bitrate_->setFocus();
      return;
    }
    e.bitrate = static_cast<int64_t>(number * factor);
  }
  e.proresProfile = static_cast<video::ProResProfile>(prores_->currentIndex());
  read.even = even_->currentIndex() == 1 ? EvenSides::Crop : EvenSides::Pad;
  e.loop = loop_->value();
  e.globalPalette = palette_->currentIndex() == 1;
  e.dither = static_cast<float>(dither_->value());
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
  read.sound = sound_->isChecked();
  values_ = read;
  QDialog::accept();
}

}  // namespace pelorix::gui
