// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pelorix {

class FrameView;
class LayerEditing;
class LayerList;
class Session;

// The project's file: opening, saving, saving under another name, a new project, the projects
// opened lately, the project settings and the About box.
class ProjectFiles {
 public:
  ProjectFiles(Session& session, LayerList& lists, FrameView& view, LayerEditing& layers)
      : session_(session), lists_(lists), view_(view), layers_(layers) {}

  struct OpenOptions {
    bool askToSave = true;      // the save question when the project is modified
    bool keepHistory = false;   // the reload of the file just saved: undo goes on
    bool summaryToLog = false;  // the summary into the log instead of a dialog
  };
  // False when the user cancelled at the save question (nothing was opened).
  bool openProject(const std::string& path, OpenOptions options);
  bool openProject(const std::string& path) { return openProject(path, {}); }
  // Opens the previous project (the session's file, when it names one) or `path`, as the
  // start-up does.
  void startUp(const std::optional<std::string>& path);
  // True when the project was written.
  bool saveProjectTo(const std::string& path);
  void loadProjectCommand();
  void saveProjectCommand();
  void saveProjectAsCommand();
  void newProjectCommand();
  void projectSettings();
  void about();
  // Projects opened lately, newest first; and opening one of them.
  const std::vector<std::string>& recentProjects() const { return recent_; }
  void setRecentProjects(std::vector<std::string> recent) { recent_ = std::move(recent); }
  void openRecent(const std::string& path);
  // Before another project replaces this one: Yes saves, No goes on, Cancel stops the command.
  bool askToSaveBeforeLeaving();

 private:
  // Shows the project in the model: title, controls, tree, frame size, draw list, first layer.
  void showProjectLoaded();
  void rememberRecent(const std::string& path);
  // The file of the session after `path` was opened from a command.
  void opened(const std::string& path);

  Session& session_;
  LayerList& lists_;
  FrameView& view_;
  LayerEditing& layers_;
  std::vector<std::string> recent_;
};

}  // namespace pelorix
