// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/session.h"

#include <chrono>

namespace pelorix {

void Session::setFile(std::string folder, std::string fileName) {
  projectFolder_ = std::move(folder);
  projectFileName_ = std::move(fileName);
}

void Session::markModified() {
  modified_ = true;
  port_.refresh(RefreshButtons | RefreshTitle);
}

void Session::markSaved() {
  modified_ = false;
  savedProject_ = project_;
  port_.refresh(RefreshButtons);
}

void Session::enableEditing(bool enabled) {
  editingEnabled_ = enabled;
  port_.refresh(RefreshControls);
}

void Session::setTitle() {
  // "[*]" is where the window shows that the project has unsaved changes.
  title_ = "Pelorix " + (noProjectLoaded_ ? std::string() : project_.name) + "[*]";
  port_.refresh(RefreshTitle);
}

UndoStack::Snapshot Session::current() const {
  const std::pair<int, int> selected = selection_ ? selection_() : std::pair{-1, -1};
  return {project_, selected.first, selected.second};
}

void Session::beginEdit() {
  if (!editStart_) editStart_ = current();
}

void Session::commitEdit(unsigned long long tag) {
  if (!editStart_) return;
  if (!(editStart_->project == project_)) {
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const bool merged = tag != 0 && tag == lastTag_ && now - lastTagTime_ < 1.0;
    if (!merged) undo_.push(std::move(*editStart_));
    lastTag_ = tag;
    lastTagTime_ = now;
  }
  editStart_.reset();
  port_.refresh(RefreshButtons);
}

void Session::restore(const UndoStack::Snapshot& snapshot) {
  project_ = snapshot.project;
  modified_ = !(project_ == savedProject_);
}

void Session::endGesture() {
  if (gestures_ == 0) return;
  if (--gestures_ == 0 && editDepth_ == 0) commitEdit();
}

UndoStack::Snapshot Session::undo() {
  lastTag_ = 0;
  UndoStack::Snapshot snapshot = undo_.undo(current());
  restore(snapshot);
  return snapshot;
}

UndoStack::Snapshot Session::redo() {
  lastTag_ = 0;
  UndoStack::Snapshot snapshot = undo_.redo(current());
  restore(snapshot);
  return snapshot;
}

void Session::resetHistory(bool keep) {
  if (!keep) undo_.clear();
  editStart_.reset();
}

}  // namespace pelorix
