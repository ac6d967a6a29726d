// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/project_files.h"

#include <algorithm>
#include <filesystem>

#include "app/dialog_rules.h"
#include "app/frame_view.h"
#include "app/layer_editing.h"
#include "app/layer_list.h"
#include "app/session.h"
#include "app/settings.h"
#include "app/texts.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "imageio/codec.h"
#include "model/project_file.h"

namespace pelorix {

bool ProjectFiles::askToSaveBeforeLeaving() {
  if (!session_.modified() || session_.project().layerCount == 0) return true;
  const Answer answer = session_.port().ask(_("プロジェクトファイルを保存しますか？"));
  if (answer == Answer::Cancel) return false;
  if (answer == Answer::Yes)
    return saveProjectTo(session_.projectFolder() + session_.projectFileName());
  return true;
}

void ProjectFiles::showProjectLoaded() {
  session_.setLoaded(true);
  session_.setTitle();
  session_.enableEditing(true);
  lists_.setSelectedItem(-1);
  lists_.fillTree();
  // The first layer is selected before the draw list is rebuilt (which redraws), so the redraw
  // finds a selected layer.
  const bool any = !lists_.treeItems().empty();
  if (any) lists_.setSelectedItem(0);
  const Project& project = session_.project();
  session_.port().setPreviewFrameSize(project.outputWidth, project.outputHeight);
  view_.rebuildDrawList();
  if (any) {
    lists_.selectTreeItem(0);
  } else {
    lists_.clearRows();
  }
}

bool ProjectFiles::openProject(const std::string& path, OpenOptions options) {
  if (options.askToSave && !askToSaveBeforeLeaving()) return false;
  UiPort& port = session_.port();
  lists_.clear();
  session_.setModified(false);
  view_.clearCanvas();
  const ProjectLoadResult loaded = loadProject(session_.edit(), path);
  for (const std::string& warning : loaded.warnings)
    port.appendLog(warning);
  if (!loaded.cause.empty()) port.appendLog(loaded.message + ": " + loaded.cause);
  if (!loaded.message.empty()) port.notice(loaded.message);
  if (!loaded.summary.empty()) {
    if (options.summaryToLog) {
      for (const std::string& line : textRows(loaded.summary))
        port.appendLog(line);
    } else {
      port.showInformation(loaded.summary, InformationKind::Summary);
    }
  }
  session_.markSaved();
  // The file just saved, read back: the edits that led to it can still be undone.
  session_.resetHistory(options.keepHistory);
  if (loaded.result == kLoadCannotOpen) {
    session_.setLoaded(false);
    session_.setTitle();
    session_.enableEditing(false);
    view_.rebuildDrawList();
  } else {
    // The first frame shown resolves its pictures in the new project's folder.
    session_.setFile(folderOf(path), fileNameOf(path));
    showProjectLoaded();
  }
  port.refresh(RefreshButtons);
  return true;
}

void ProjectFiles::startUp(const std::optional<std::string>& path) {
  if (!path) {
    // The very first start has no previous project: nothing to open, nothing to say.
    if (session_.projectFileName().empty()) {
      session_.setLoaded(false);
      session_.setTitle();
      session_.enableEditing(false);
      view_.rebuildDrawList();
      session_.port().refresh(RefreshButtons);
      return;
    }
    const std::string previous = session_.projectFolder() + session_.projectFileName();
    openProject(previous);
    if (!session_.noProjectLoaded()) rememberRecent(previous);
    return;
  }
  openProject(*path);
  if (!session_.noProjectLoaded()) opened(*path);
}

void ProjectFiles::opened(const std::string& path) {
  session_.setFile(folderOf(path), fileNameOf(path));
  rememberRecent(path);
}

void ProjectFiles::rememberRecent(const std::string& path) {
  std::error_code error;
  std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
  if (error) absolute = path;
  recent_.erase(std::remove(recent_.begin(), recent_.end(), absolute), recent_.end());
  recent_.insert(recent_.begin(), absolute);
  if (recent_.size() > static_cast<size_t>(kRecentProjects)) recent_.resize(kRecentProjects);
  session_.port().refresh(RefreshButtons);
}

bool ProjectFiles::saveProjectTo(const std::string& path) {
  const ProjectSaveResult saved = saveProject(session_.project(), path);
  for (const std::string& warning : saved.warnings)
    session_.port().appendLog(warning);
  if (saved.result == kSaveNothing) return false;
  if (saved.result != kSaveWritten) {
    session_.port().notice(saved.message);
    return false;
  }
  session_.edit().fileEncoding = saved.encoding;
  session_.markSaved();
  return true;
}

void ProjectFiles::loadProjectCommand() {
  if (session_.busy()) return;
  const std::optional<std::string> chosen =
      session_.port().chooseProjectFile(session_.projectFolder());
  if (!chosen || !openProject(*chosen)) return;
  if (!session_.noProjectLoaded()) opened(*chosen);
}

void ProjectFiles::saveProjectCommand() {
  if (session_.busy() || session_.project().layerCount == 0) return;
  if (session_.port().ask(_("プロジェクトファイルを保存しますか？")) != Answer::Yes) return;
  const std::string path = session_.projectFolder() + session_.projectFileName();
  // Reading back a file that could not be written would throw the edits away.
  if (!saveProjectTo(path)) return;
  session_.port().appendLog(_("プロジェクトファイルを保存しました。"));
  openProject(path, {.askToSave = false, .keepHistory = true});
}

void ProjectFiles::saveProjectAsCommand() {
  if (session_.busy() || session_.noProjectLoaded() || session_.project().layerCount == 0) return;
  const std::optional<std::string> chosen =
      session_.port().chooseProjectSaveFile(session_.projectFolder(), session_.projectFileName());
  if (!chosen) return;
  std::string path = *chosen;
  if (fileExtension(path).empty()) path += ".pxp";
  if (!saveProjectTo(path)) return;
  session_.setFile(folderOf(path), fileNameOf(path));
  session_.port().appendLog(_("プロジェクトファイルを保存しました。"));
  openProject(path, {.askToSave = false, .keepHistory = true});
  rememberRecent(path);
}

void ProjectFiles::openRecent(const std::string& path) {
  if (session_.busy() || !openProject(path)) return;
  if (!session_.noProjectLoaded()) opened(path);
}

void ProjectFiles::newProjectCommand() {
  if (session_.busy() || !askToSaveBeforeLeaving()) return;
  session_.edit().resetProject();
  view_.clearCanvas();
  session_.markSaved();
  session_.resetHistory(false);
  lists_.clear();
  session_.setFile(session_.projectFolder(), "new.pxp");
  session_.setLoaded(true);
  session_.enableEditing(true);
  session_.setTitle();
  projectSettings();
  layers_.newLayer();
  const std::string path = session_.projectFolder() + session_.projectFileName();
  const bool any = session_.project().layerCount > 0;
  if (any && std::filesystem::exists(path) &&
      session_.port().ask(formatC(_("%s は既に存在します。上書きしますか？"), path.c_str())) !=
          Answer::Yes) {
    // Not written: the new project stays on screen, unsaved.
    showProjectLoaded();
    session_.markModified();
    return;
  }
  if (saveProjectTo(path)) {
    openProject(path);
  } else {
    view_.rebuildDrawList();
    if (any) {
      showProjectLoaded();
      session_.markModified();
    }
  }
}

void ProjectFiles::projectSettings() {
  if (session_.noProjectLoaded() || session_.busy()) return;
  const Project& project = session_.project();
  ProjectValues values;
  values.fileName = session_.projectFileName();
  values.name = project.name;
  values.saveFolder = project.saveFolder;
  values.saveFileName = project.saveFileName;
  values.width = project.outputWidth;
  values.height = project.outputHeight;
  values.fps = rateText(project.fps);
  values.format = project.outputFormat;
  values.options = project.options;
  values.projectFolder = session_.projectFolder();
  values.audio = project.setting("audio");
  values.audioOffset = project.setting("audioOffset");
  values.audioVolume = project.setting("audioVolume");
  bool accepted = false;
  {
    Session::BusyScope busy(session_);
    accepted = session_.port().editProject(values);
  }
  if (!accepted) return;
  {
    Session::EditScope edit(session_);
    Project& p = session_.edit();
    session_.setFile(session_.projectFolder(), values.fileName);
    p.name = values.name;
    p.saveFolder = values.saveFolder;
    p.saveFileName = values.saveFileName;
    p.outputWidth = values.width;
    p.outputHeight = values.height;
    double rate = 0.0;
    if (values.fps != rateText(project.fps) && parseRate(values.fps, rate))
      p.fps = narrowToFloat(rate);
    p.outputFormat = values.format;
    p.options = values.options;
    const bool audio = !values.audio.empty();
    p.setSetting("audio", values.audio);
    p.setSetting("audioOffset", audio ? values.audioOffset : std::string());
    p.setSetting("audioVolume", audio ? values.audioVolume : std::string());
    session_.markModified();
  }
  session_.setTitle();
  session_.port().setPreviewFrameSize(session_.project().outputWidth,
                                      session_.project().outputHeight);
  // The slider counts frames: a new frame rate changes its range (and redraws the frame).
  view_.rebuildDrawList();
}

void ProjectFiles::about() {
  session_.port().showInformation(aboutText(), InformationKind::About);
}

}  // namespace pelorix
