// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/ui_port.h"
#include "app/undo_stack.h"
#include "base/log_sink.h"
#include "model/project.h"

namespace pelorix {

// The project being edited and what belongs to it: the file it came from, whether it changed
// since, the undo history, the window's title and the re-entry guard of the commands. Every part
// of the editor works on one Session and talks to the user through its port. All calls come from
// the user-interface thread.
class Session {
 public:
  Session(UiPort& port, LogSink& log) : port_(port), log_(log) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  UiPort& port() { return port_; }
  LogSink& log() { return log_; }

  const Project& project() const { return project_; }
  // The project to change. Commands change it inside an EditScope, so that each command is one
  // undo step; loading a file replaces it outside one.
  Project& edit() { return project_; }

  const std::string& projectFolder() const { return projectFolder_; }
  const std::string& projectFileName() const { return projectFileName_; }
  void setFile(std::string folder, std::string fileName);
  bool modified() const { return modified_; }
  void markModified();
  // Back to how it was before a change that was taken back (a new layer cancelled).
  void setModified(bool modified) { modified_ = modified; }
  // The project as it is now is the one in its file (just read or written).
  void markSaved();
  bool noProjectLoaded() const { return noProjectLoaded_; }
  void setLoaded(bool loaded) { noProjectLoaded_ = !loaded; }
  bool editingEnabled() const { return editingEnabled_; }
  void enableEditing(bool enabled);
  const std::string& title() const { return title_; }
  void setTitle();

  // The re-entry guard: set for the length of a command, on every way out.
  bool busy() const { return busy_; }
  class BusyScope;

  // ---- undo ----
  // One undo step: the project is remembered when the outermost scope opens and the step is
  // recorded when it closes, if the project changed, however the command ends (an early return,
  // a cancelled dialog). A preview drag keeps its step open from its first move to its end.
  class EditScope;
  // Everything between begin and end is one undo step (a drag): the scopes opened meanwhile
  // leave their step open, and the end records it.
  void beginGesture() { ++gestures_; }
  void endGesture();
  bool inGesture() const { return gestures_ > 0; }
  // Where the selection is (layer index and row), kept with each step.
  void setSelectionSource(std::function<std::pair<int, int>()> selection) {
    selection_ = std::move(selection);
  }
  bool canUndo() const { return undo_.canUndo(); }
  bool canRedo() const { return undo_.canRedo(); }
  // The state to go back (or forward) to; the project is already restored.
  UndoStack::Snapshot undo();
  UndoStack::Snapshot redo();
  // A new history (another project); `keep` the one there is (the file just saved, read back).
  void resetHistory(bool keep);

 private:
  void beginEdit();
  void commitEdit(unsigned long long tag = 0);
  UndoStack::Snapshot current() const;
  void restore(const UndoStack::Snapshot& snapshot);

  UiPort& port_;
  LogSink& log_;
  Project project_;
  Project savedProject_;  // as last read or written, for `modified` after undo
  std::string projectFolder_;
  std::string projectFileName_;
  bool modified_ = false;
  bool noProjectLoaded_ = true;
  bool editingEnabled_ = false;
  bool busy_ = false;
  std::string title_ = "Pelorix";
  UndoStack undo_;
  std::optional<UndoStack::Snapshot> editStart_;
  int editDepth_ = 0;  // open EditScopes
  int gestures_ = 0;   // open gestures
  // The last step's merge tag and when it was recorded: steps of one tag in quick succession
  // (the notches of a wheel) are one.
  unsigned long long lastTag_ = 0;
  double lastTagTime_ = 0.0;
  std::function<std::pair<int, int>()> selection_;
};

class Session::BusyScope {
 public:
  explicit BusyScope(Session& session) : busy_(session.busy_) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

class Session::EditScope {
 public:
  explicit EditScope(Session& session) : session_(session) {
    if (session_.editDepth_++ == 0) session_.beginEdit();
  }
  ~EditScope() {
    if (--session_.editDepth_ == 0 && !keepOpen_ && session_.gestures_ == 0)
      session_.commitEdit(tag_);
  }
  EditScope(const EditScope&) = delete;
  EditScope& operator=(const EditScope&) = delete;
  // The step goes on after this scope: a later scope records it.
  void keepOpen() { keepOpen_ = true; }
  // Steps of the same (non-zero) tag within a second of each other are one: the notches of a
  // wheel turned on the same thing.
  void mergeAs(unsigned long long tag) { tag_ = tag; }

 private:
  Session& session_;
  bool keepOpen_ = false;
  unsigned long long tag_ = 0;
};

}  // namespace pelorix
