// SPDX-License-Identifier: GPL-3.0-or-later
// Opening, saving and creating projects, and the project settings.
#include <filesystem>

#include "app/edit_scope.h"
#include "app/texts.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "imageio/codec.h"
#include "model/project_file.h"

namespace pelorix {

// Before another project replaces this one: Yes saves, No goes on, Cancel stops the command.
bool Editor::askToSaveBeforeLeaving() {
  if (!modified_ || project_.layerCount == 0) return true;
  const Answer answer = port_.ask(_("プロジェクトファイルを保存しますか？"));
  if (answer == Answer::Cancel) return false;
  if (answer == Answer::Yes) return saveProjectTo(projectFolder_ + projectFileName_);
  return true;
}

// Shows the project in the model: title, controls, tree, frame size, draw list, first layer.
void Editor::showProjectLoaded() {
  noProjectLoaded_ = false;
  setTitle();
  enableEditing(true);
  selectedTree_ = -1;
  fillTree();
  // The first layer is selected before the draw list is rebuilt (which redraws), so the redraw
  // finds a selected layer.
  if (!tree_.empty()) selectedTree_ = 0;
  port_.setPreviewFrameSize(project_.outputWidth, project_.outputHeight);
  rebuildDrawList();
  if (!tree_.empty()) {
    selectTreeItem(0);
  } else {
    rows_.clear();
    selectedRow_ = -1;
    port_.refresh(RefreshList);
  }
}

bool Editor::openProject(const std::string& path, OpenOptions options) {
  if (options.askToSave && !askToSaveBeforeLeaving()) return false;
  tree_.clear();
  selectedTree_ = -1;
  rows_.clear();
  selectedRow_ = -1;
  port_.refresh(RefreshTree | RefreshList);
  modified_ = false;
  clearCanvas();
  const ProjectLoadResult loaded = loadProject(project_, path);
  for (const std::string& warning : loaded.warnings)
    port_.appendLog(warning);
  if (!loaded.message.empty()) port_.notice(loaded.message);
  if (!loaded.summary.empty()) {
    if (options.summaryToLog) {
      for (const std::string& line : textRows(loaded.summary))
        port_.appendLog(line);
    } else {
      port_.showInformation(loaded.summary, InformationKind::Summary);
    }
  }
  savedProject_ = project_;
  // The file just saved, read back: the edits that led to it can still be undone.
  if (!options.keepHistory) undo_.clear();
  editStart_.reset();
  if (loaded.result == kLoadCannotOpen) {
    noProjectLoaded_ = true;
    setTitle();
    enableEditing(false);
    rebuildDrawList();
  } else {
    showProjectLoaded();
  }
  port_.refresh(RefreshButtons);
  return true;
}

bool Editor::saveProjectTo(const std::string& path) {
  const ProjectSaveResult saved = saveProject(project_, path);
  for (const std::string& warning : saved.warnings)
    port_.appendLog(warning);
  if (saved.result == kSaveNothing) return false;
  if (saved.result != kSaveWritten) {
    port_.notice(saved.message);
    return false;
  }
  project_.fileEncoding = saved.encoding;
  modified_ = false;
  savedProject_ = project_;
  port_.refresh(RefreshButtons);
  return true;
}

void Editor::loadProjectCommand() {
  if (busy_) return;
  const std::optional<std::string> chosen = port_.chooseProjectFile(projectFolder_);
  if (!chosen) return;
  if (!openProject(*chosen)) return;
  if (!noProjectLoaded_) {
    projectFolder_ = folderOf(*chosen);
    projectFileName_ = fileNameOf(*chosen);
    rememberRecent(*chosen);
  }
}

void Editor::saveProjectCommand() {
  if (busy_ || project_.layerCount == 0) return;
  if (port_.ask(_("プロジェクトファイルを保存しますか？")) != Answer::Yes) return;
  const std::string path = projectFolder_ + projectFileName_;
  // Reading back a file that could not be written would throw the edits away.
  if (!saveProjectTo(path)) return;
  port_.appendLog(_("プロジェクトファイルを保存しました。"));
  openProject(path, {.askToSave = false, .keepHistory = true});
}

void Editor::saveProjectAsCommand() {
  if (busy_ || noProjectLoaded_ || project_.layerCount == 0) return;
  const std::optional<std::string> chosen =
      port_.chooseProjectSaveFile(projectFolder_, projectFileName_);
  if (!chosen) return;
  std::string path = *chosen;
  if (fileExtension(path).empty()) path += ".pxp";
  if (!saveProjectTo(path)) return;
  projectFolder_ = folderOf(path);
  projectFileName_ = fileNameOf(path);
  port_.appendLog(_("プロジェクトファイルを保存しました。"));
  openProject(path, {.askToSave = false, .keepHistory = true});
  rememberRecent(path);
}

void Editor::openRecent(const std::string& path) {
  if (busy_) return;
  if (!openProject(path)) return;
  if (!noProjectLoaded_) {
    projectFolder_ = folderOf(path);
    projectFileName_ = fileNameOf(path);
    rememberRecent(path);
  }
}

void Editor::newProjectCommand() {
  if (busy_) return;
  if (!askToSaveBeforeLeaving()) return;
  project_.resetProject();
  clearCanvas();
  savedProject_ = project_;
  undo_.clear();
  editStart_.reset();
  tree_.clear();
  selectedTree_ = -1;
  rows_.clear();
  selectedRow_ = -1;
  port_.refresh(RefreshTree | RefreshList);
  projectFileName_ = "new.pxp";
  noProjectLoaded_ = false;
  enableEditing(true);
  setTitle();
  projectSettings();
  newLayer();
  const std::string path = projectFolder_ + projectFileName_;
  if (project_.layerCount > 0 && std::filesystem::exists(path) &&
      port_.ask(formatC(_("%s は既に存在します。上書きしますか？"), path.c_str())) != Answer::Yes) {
    // Not written: the new project stays on screen, unsaved.
    showProjectLoaded();
    markModified();
    return;
  }
  if (saveProjectTo(path)) {
    openProject(path);
  } else {
    rebuildDrawList();
    if (project_.layerCount > 0) {
      showProjectLoaded();
      markModified();
    }
  }
}

void Editor::projectSettings() {
  if (noProjectLoaded_ || busy_) return;
  busy_ = true;
  ProjectValues values;
  values.fileName = projectFileName_;
  values.name = project_.name;
  values.saveFolder = project_.saveFolder;
  values.saveFileName = project_.saveFileName;
  values.width = project_.outputWidth;
  values.height = project_.outputHeight;
  values.fps = truncToInt(static_cast<double>(project_.fps));
  values.format = project_.outputFormat;
  values.options = project_.options;
  values.projectFolder = projectFolder_;
  values.audio = project_.setting("audio");
  values.audioOffset = project_.setting("audioOffset");
  values.audioVolume = project_.setting("audioVolume");
  const bool accepted = port_.editProject(values);
  busy_ = false;
  if (!accepted) return;
  {
    EditScope edit(*this);
    projectFileName_ = values.fileName;
    project_.name = values.name;
    project_.saveFolder = values.saveFolder;
    project_.saveFileName = values.saveFileName;
    project_.outputWidth = values.width;
    project_.outputHeight = values.height;
    project_.fps = static_cast<float>(values.fps);
    project_.outputFormat = values.format;
    project_.options = values.options;
    project_.setSetting("audio", values.audio);
    project_.setSetting("audioOffset", values.audio.empty() ? std::string() : values.audioOffset);
    project_.setSetting("audioVolume", values.audio.empty() ? std::string() : values.audioVolume);
    markModified();
  }
  setTitle();
  port_.setPreviewFrameSize(project_.outputWidth, project_.outputHeight);
  // The slider counts frames: a new frame rate changes its range (and redraws the frame).
  rebuildDrawList();
}

void Editor::about() {
  port_.showInformation(aboutText(), InformationKind::About);
}

}  // namespace pelorix
