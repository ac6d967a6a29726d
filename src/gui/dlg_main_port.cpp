// SPDX-License-Identifier: GPL-3.0-or-later
// DlgMain as the editor's user interface: questions, dialogs, and drawing the editor's state.
#include <QAction>
#include <QAudioDevice>
#include <QAudioOutput>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>

#include "base/c_locale.h"
#include "base/paths.h"
#include "curve_editor.h"
#include "dialogs/dlg_export.h"
#include "dialogs/dlg_layer_setting.h"
#include "dialogs/dlg_prj_setting.h"
#include "dialogs/dlg_src_setting.h"
#include "dlg_disp.h"
#include "dlg_main.h"
#include "dlg_progress.h"
#include "layer_icons.h"
#include "message_box.h"
#include "qtr.h"
#include "source_list.h"
#include "time_slider.h"
#include "timeline_widget.h"
#include "updating.h"

namespace pelorix::gui {

Answer DlgMain::ask(const std::string& text) {
  switch (askYesNoCancel(this, QString::fromStdString(text))) {
    case BoxAnswer::Yes:
      return Answer::Yes;
    case BoxAnswer::No:
      return Answer::No;
    case BoxAnswer::Cancel:
      return Answer::Cancel;
  }
  return Answer::Cancel;
}

void DlgMain::notice(const std::string& text) {
  showNotice(this, QString::fromStdString(text));
}

void DlgMain::appendLog(const std::string& line) {
  const QString text = QString::fromStdString(line);
  log_->addItem(text);
  log_->item(log_->count() - 1)->setToolTip(text);
  // Shown, not selected: the selection stays what the user chose to copy.
  log_->scrollToBottom();
}

void DlgMain::showInformation(const std::string& text, InformationKind kind) {
  showInformationDialog(
      this, QString::fromStdString(text),
      kind == InformationKind::About ? qtr("Pelorixの情報") : qtr("プロジェクトの概要"));
}

void DlgMain::showStatus(const std::string& text) {
  statusBar()->showMessage(QString::fromStdString(text), 10000);
}

bool DlgMain::editLayer(LayerValues& values) {
  DlgLayerSetting dialog(values, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.values();
  return true;
}

bool DlgMain::editSource(SourceDialogValues& values) {
  DlgSrcSetting dialog(values, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.values();
  return true;
}

bool DlgMain::editProject(ProjectValues& values) {
  DlgPrjSetting dialog(values, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.values();
  return true;
}

bool DlgMain::editExport(ExportValues& values) {
  if (exportEditor) return exportEditor(values);
  DlgExport dialog(values, !editor_->session().project().setting("audio").empty(), this);
  if (dialog.exec() != QDialog::Accepted) return false;
  values = dialog.values();
  return true;
}

std::optional<std::string> DlgMain::chooseProjectFile(const std::string& folder) {
  if (projectFileChooser) return projectFileChooser(folder);
  const QString path = QFileDialog::getOpenFileName(
      this, qtr("プロジェクト読込"), QString::fromStdString(folder),
      qtr("Pelorix プロジェクト (*.pxp)") + ";;" + qtr("すべてのファイル (*)"));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> DlgMain::chooseProjectSaveFile(const std::string& folder,
                                                          const std::string& name) {
  if (projectSaveChooser) return projectSaveChooser(folder, name);
  const QString path = QFileDialog::getSaveFileName(
      this, qtr("名前を付けて保存"), QString::fromStdString(joinPath(folder, name)),
      qtr("Pelorix プロジェクト (*.pxp)") + ";;" + qtr("すべてのファイル (*)"));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> DlgMain::chooseImageFile(const std::string& folder) {
  if (imageFileChooser) return imageFileChooser(folder);
  const std::vector<FileFilter> types = frameFilters();
  QFileDialog dialog(this, qtr("画面保存"), QString::fromStdString(folder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters(qtFilters(types));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  QString path = dialog.selectedFiles().front();
  if (QFileInfo(path).suffix().isEmpty()) {
    // No extension typed: the chosen filter's first. A typed one stays.
    const qsizetype filter = dialog.nameFilters().indexOf(dialog.selectedNameFilter());
    const FileFilter& type = types[filter >= 0 ? static_cast<size_t>(filter) : 0];
    path += QString::fromStdString("." + type.extensions.front());
  }
  return path.toStdString();
}

void DlgMain::setPreviewFrameSize(int width, int height) {
  preview_->setFrameSize(width, height);
}

void DlgMain::showPreview(bool shown) {
  if (shown) {
    preview_->show();
    preview_->repaintNow();
  } else {
    preview_->hide();
  }
}

void DlgMain::post(std::function<void()> task) {
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

// The sound track plays from `from` seconds of the animation; with a positive offset it waits
// until its start. Without a sound device it stays silent, and the frames play on (a player
// without an output device is never made: Qt's audio thread would write to nothing).
void DlgMain::playAudio(const AudioTrack& audio, double from) {
  stopAudio();
  if (QMediaDevices::audioOutputs().isEmpty() || QMediaDevices::defaultAudioOutput().isNull()) {
    if (!silenceSaid_) appendLog(_("音声の出力先がないため、音を出さずに再生します。"));
    silenceSaid_ = true;
    return;
  }
  if (!player_) {
    player_ = new QMediaPlayer(this);
    audioOutput_ = new QAudioOutput(this);
    player_->setAudioOutput(audioOutput_);
    audioStart_.setSingleShot(true);
    connect(&audioStart_, &QTimer::timeout, player_, &QMediaPlayer::play);
  }
  audioOutput_->setVolume(static_cast<float>(std::clamp(audio.volume, 0.0, 1.0)));
  player_->setSource(QUrl::fromLocalFile(QString::fromStdString(audio.path)));
  soundOffset_ = audio.offset;
  const double into = from - audio.offset;  // seconds into the sound
  if (into >= 0.0) {
    player_->setPosition(static_cast<qint64>(into * 1000.0));
    player_->play();
  } else {
    player_->setPosition(0);
    audioStart_.start(static_cast<int>(-into * 1000.0));
  }
}

std::optional<double> DlgMain::soundPosition() const {
  if (!player_ || player_->playbackState() != QMediaPlayer::PlayingState) return std::nullopt;
  return soundOffset_ + static_cast<double>(player_->position()) / 1000.0;
}

void DlgMain::stopAudio() {
  audioStart_.stop();
  if (player_) player_->stop();
}

void DlgMain::refresh(unsigned parts) {
  if (!started_) return;
  Updating guard(updating_);
  if (parts & RefreshTree) refreshTree();
  if (parts & RefreshList) refreshList();
  if (parts & RefreshSlider) refreshSlider();
  if (parts & RefreshTitle) setWindowTitle(QString::fromStdString(editor_->session().title()));
  if (parts & (RefreshTitle | RefreshButtons)) setWindowModified(editor_->session().modified());
  if (parts & RefreshTime) timeLabel_->setText(QString::fromStdString(editor_->view().timeText()));
  if (parts & (RefreshControls | RefreshButtons)) {
    // A disabled button says why in its tooltip.
    for (const auto& [command, b] : buttons_) {
      b->setEnabled(editor_->enabled(command));
      b->setToolTip(QString::fromStdString(editor_->whyDisabled(command)));
    }
  }
  if (parts & (RefreshTree | RefreshList | RefreshControls | RefreshMotion)) timeline_->rebuild();
  if (parts & (RefreshSlider | RefreshTime | RefreshTimeline)) timeline_->update();
  if (parts & (RefreshTree | RefreshList | RefreshMotion | RefreshTime)) curveEditor_->follow();
  if (parts & RefreshButtons) {
    for (Command command : {Command::Play, Command::ConvertAll})
      button(command)->setText(QString::fromStdString(editor_->label(command)));
    for (Command command : {Command::ShowPreview, Command::AllLayers})
      button(command)->setChecked(editor_->checked(command));
    for (const auto& [command, item] : actions_) {
      item->setEnabled(editor_->enabled(command));
      if (item->isCheckable()) item->setChecked(editor_->checked(command));
    }
  }
  if (parts & (RefreshPreview | RefreshTime)) preview_->repaintNow();
  if (parts & RefreshProgress) refreshProgress();
}

namespace {

// A tree text "NN :name [length]" in two columns: the length gets a column of its own so the
// lengths line up whatever the widths of the names' characters; a blend mode other than the
// plain one in a third.
QStringList treeColumns(const TreeItem& item) {
  const QString all = QString::fromStdString(item.text);
  const qsizetype bracket = all.lastIndexOf(" [");
  if (bracket < 0) return {all, QString(), QString::fromStdString(item.mode)};
  return {all.left(bracket).trimmed(), all.mid(bracket + 1), QString::fromStdString(item.mode)};
}

}  // namespace

void DlgMain::refreshTree() {
  const auto& items = editor_->lists().treeItems();
  bool same = layerTree_->topLevelItemCount() == static_cast<int>(items.size());
  for (int i = 0; same && i < layerTree_->topLevelItemCount(); ++i) {
    same = layerTree_->topLevelItem(i)->data(0, Qt::UserRole).toString() ==
               QString::fromStdString(items[static_cast<size_t>(i)].text) &&
           layerTree_->topLevelItem(i)->text(2) ==
               QString::fromStdString(items[static_cast<size_t>(i)].mode);
  }
  if (!same) {
    layerTree_->clear();
    for (const TreeItem& item : items) {
      auto* row = new QTreeWidgetItem(layerTree_, treeColumns(item));
      row->setData(0, Qt::UserRole, QString::fromStdString(item.text));
      row->setIcon(0, layerIcon(item.icon));
    }
    layerTree_->resizeColumnToContents(0);
    layerTree_->resizeColumnToContents(1);
  } else {
    for (int i = 0; i < layerTree_->topLevelItemCount(); ++i) {
      layerTree_->topLevelItem(i)->setIcon(0, layerIcon(items[static_cast<size_t>(i)].icon));
    }
  }
  const int selected = editor_->lists().selectedTreeItem();
  layerTree_->setCurrentItem(selected >= 0 ? layerTree_->topLevelItem(selected) : nullptr);
  if (selected < 0) layerTree_->clearSelection();
}

void DlgMain::refreshList() {
  const auto& rows = editor_->lists().rows();
  bool same = sourceList_->topLevelItemCount() == static_cast<int>(rows.size());
  for (int i = 0; same && i < sourceList_->topLevelItemCount(); ++i) {
    for (int c = 0; same && c < static_cast<int>(kSourceColumns); ++c) {
      same = sourceList_->topLevelItem(i)->text(c) ==
             QString::fromStdString(rows[static_cast<size_t>(i)][static_cast<size_t>(c)]);
    }
  }
  if (!same) {
    sourceList_->clear();
    for (const auto& cells : rows) {
      QStringList texts;
      for (const std::string& cell : cells)
        texts << QString::fromStdString(cell);
      new QTreeWidgetItem(sourceList_, texts);
    }
  }
  const int selected = editor_->lists().selectedRow();
  sourceList_->setCurrentItem(selected >= 0 ? sourceList_->topLevelItem(selected) : nullptr);
  if (selected < 0) sourceList_->clearSelection();
}

void DlgMain::refreshSlider() {
  const SliderState& s = editor_->view().slider();
  slider_->setRange(0, s.maximum);
  slider_->setPageStep(s.pageSize);
  slider_->setSingleStep(s.lineSize);
  slider_->setTickInterval(std::max(1, s.pageSize));
  slider_->setValue(s.position);
  slider_->setSelection(s.selectionStart, s.selectionEnd);
}

void DlgMain::refreshProgress() {
  if (editor_->output().converting()) {
    if (!progress_) {
      progress_ = new DlgProgress(this);
      connect(progress_, &DlgProgress::stopPressed, this, [this] {
        if (editor_->output().converting()) run(Command::ConvertAll);
      });
    }
    progress_->setPosition(editor_->output().progressValue());
    progress_->setFileText(QString::fromStdString(editor_->output().progressText()));
    progress_->setFramesText(QString::fromStdString(editor_->output().progressFrames()));
    if (!progress_->isVisible()) progress_->show();
  } else if (progress_) {
    progress_->close();
    progress_->deleteLater();
    progress_ = nullptr;
  }
}

}  // namespace pelorix::gui
