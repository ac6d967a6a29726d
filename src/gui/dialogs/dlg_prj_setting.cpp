// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_prj_setting.h"
#include "../qtr.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "../message_box.h"
#include "../toggle_button.h"
#include "app/dialog_rules.h"
#include "base/c_locale.h"
#include "model/project.h"

namespace pelorix::gui {
namespace {

QLineEdit* edit(const QString& text, QWidget* parent, const char* name) {
  auto* line = new QLineEdit(text, parent);
  line->setObjectName(name);
  return line;
}

}  // namespace

DlgPrjSetting::DlgPrjSetting(const ProjectValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setObjectName("DlgPrjSetting");
  setWindowTitle(qtr("プロジェクト設定"));
  makeFields(values);
  layOut();
  chooseFolder = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(this, qtr("保存フォルダ指定"), start);
  };
  chooseAudio = [this](const QString& start) {
    return QFileDialog::getOpenFileName(this, qtr("音声"), start,
                                        qtr("音声ファイル") +
                                            " (*.wav *.flac *.mp3 *.ogg *.opus *.m4a *.aac);;" +
                                            qtr("すべてのファイル (*)"));
  };
}

void DlgPrjSetting::makeFields(const ProjectValues& values) {
  fileName_ = edit(QString::fromStdString(values.fileName), this, "fileName");
  name_ = edit(QString::fromStdString(values.name), this, "name");
  saveFolder_ = edit(QString::fromStdString(values.saveFolder), this, "saveFolder");
  saveFileName_ = edit(QString::fromStdString(values.saveFileName), this, "saveFileName");
  width_ = edit(QString::number(values.width), this, "width");
  height_ = edit(QString::number(values.height), this, "height");
  fps_ = edit(QString::fromStdString(values.fps), this, "fps");
  format_ = edit(QString::fromStdString(values.format), this, "format");
  transparent_ = new ToggleButton(qtr("背景を透明にする"), this);
  transparent_->setObjectName("transparentBackground");
  transparent_->setChecked((values.options & projectTransparentBackground) != 0);
  animated_ = new ToggleButton(qtr("gif/webp を1つのファイルに"), this);
  animated_->setObjectName("animatedFile");
  animated_->setChecked((values.options & projectAnimatedFile) != 0);
  audio_ = edit(QString::fromStdString(values.audio), this, "audio");
  audioOffset_ = edit(QString::fromStdString(values.audioOffset.empty() ? "0" : values.audioOffset),
                      this, "audioOffset");
  audioVolume_ = edit(QString::fromStdString(values.audioVolume.empty() ? "1" : values.audioVolume),
                      this, "audioVolume");
  audioOffset_->setMaximumWidth(80);
  audioVolume_->setMaximumWidth(80);
}

void DlgPrjSetting::layOut() {
  auto* browseButton = new QPushButton(">", this);
  browseButton->setObjectName("browse");
  browseButton->setAutoDefault(false);
  browseButton->setMaximumWidth(28);
  auto* audioButton = new QPushButton(">", this);
  audioButton->setObjectName("browseAudio");
  audioButton->setAutoDefault(false);
  audioButton->setMaximumWidth(28);
  connect(audioButton, &QPushButton::clicked, this, &DlgPrjSetting::browseAudio);
  auto* ok = new QPushButton(qtr("OK"), this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(qtr("キャンセル"), this);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &DlgPrjSetting::accept);
  connect(cancel, &QPushButton::clicked, this, &DlgPrjSetting::reject);
  connect(browseButton, &QPushButton::clicked, this, &DlgPrjSetting::browse);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(qtr("ファイル名"), this), 0, 0);
  layout->addWidget(fileName_, 0, 1, 1, 4);
  layout->addWidget(new QLabel(qtr("プロジェクト名"), this), 1, 0);
  layout->addWidget(name_, 1, 1, 1, 4);
  layout->addWidget(new QLabel(qtr("保存フォルダ名"), this), 2, 0);
  layout->addWidget(saveFolder_, 2, 1, 1, 3);
  layout->addWidget(browseButton, 2, 4);
  layout->addWidget(new QLabel(qtr("保存ファイル名"), this), 3, 0);
  layout->addWidget(saveFileName_, 3, 1, 1, 4);
  layout->addWidget(new QLabel(qtr("出力サイズ幅"), this), 4, 0);
  layout->addWidget(width_, 4, 1);
  layout->addWidget(new QLabel(qtr("出力形式"), this), 4, 2);
  layout->addWidget(format_, 4, 3);
  layout->addWidget(new QLabel(qtr("出力サイズ高さ"), this), 5, 0);
  layout->addWidget(height_, 5, 1);
  layout->addWidget(new QLabel(qtr("フレームレート（FPS)"), this), 6, 0);
  layout->addWidget(fps_, 6, 1);
  layout->addWidget(transparent_, 5, 2, 1, 3);
  layout->addWidget(animated_, 6, 2, 1, 3);
  layout->addWidget(new QLabel(qtr("音声"), this), 7, 0);
  layout->addWidget(audio_, 7, 1, 1, 3);
  layout->addWidget(audioButton, 7, 4);
  layout->addWidget(new QLabel(qtr("音声の開始（秒）"), this), 8, 0);
  layout->addWidget(audioOffset_, 8, 1);
  layout->addWidget(new QLabel(qtr("音量"), this), 8, 2);
  layout->addWidget(audioVolume_, 8, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 9, 0, 1, 5);
}

void DlgPrjSetting::browseAudio() {
  const QString picked = chooseAudio(QString::fromStdString(
      folderBrowserStart(audio_->text().toStdString(), values_.projectFolder)));
  if (picked.isEmpty()) return;
  // Stored like a picture: relative to the project when it lies below it.
  audio_->setText(
      QString::fromStdString(storedImagePath(picked.toStdString(), values_.projectFolder)));
}

void DlgPrjSetting::browse() {
  // A relative save folder starts below the project folder.
  QString folder = chooseFolder(QString::fromStdString(
      folderBrowserStart(saveFolder_->text().toStdString(), values_.projectFolder)));
  if (folder.isEmpty()) return;
  if (!folder.endsWith('/')) folder += '/';
  // Only the folder changes; what was typed in the other fields stays.
  saveFolder_->setText(folder);
}

void DlgPrjSetting::accept() {
  ProjectValues read = values_;
  read.name = name_->text().toStdString();
  read.saveFolder = saveFolder_->text().toStdString();
  read.saveFileName = saveFileName_->text().toStdString();
  QLineEdit* numbers[3] = {width_, height_, fps_};
  int* targets[2] = {&read.width, &read.height};
  const NumberField* fields[3] = {&kFieldWidth, &kFieldHeight, &kFieldFps};
  std::string problem;
  for (int i = 0; i < 3; ++i) {
    const std::optional<double> value =
        readNumberField(numbers[i]->text().toStdString(), *fields[i], problem);
    if (!value) {
      showNotice(this, QString::fromStdString(problem));
      numbers[i]->setFocus();
      return;
    }
    if (i < 2) *targets[i] = static_cast<int>(*value);
  }
  read.fps = fps_->text().trimmed().toStdString();
  read.audio = audio_->text().trimmed().toStdString();
  const std::optional<double> offset =
      readNumberField(audioOffset_->text().toStdString(), kFieldAudioOffset, problem);
  const std::optional<double> volume =
      offset ? readNumberField(audioVolume_->text().toStdString(), kFieldAudioVolume, problem)
             : std::nullopt;
  if (!offset || !volume) {
    showNotice(this, QString::fromStdString(problem));
    (offset ? audioVolume_ : audioOffset_)->setFocus();
    return;
  }
  // The defaults are not written: a project without them stays as it was.
  read.audioOffset = *offset == 0.0 ? std::string() : formatC("%.3f", *offset);
  read.audioVolume = *volume == 1.0 ? std::string() : formatC("%.3f", *volume);
  read.format = format_->text().toStdString();

  read.options = (values_.options & ~(projectTransparentBackground | projectAnimatedFile)) |
                 (transparent_->isChecked() ? projectTransparentBackground : 0) |
                 (animated_->isChecked() ? projectAnimatedFile : 0);
  if (const auto unknown = outputFormatProblem(read.format, read.options)) {
    showNotice(this, QString::fromStdString(*unknown));
    format_->setFocus();
    return;
  }

  read.fileName = fileName_->text().toStdString();
  values_ = read;
  QDialog::accept();
}

}  // namespace pelorix::gui
