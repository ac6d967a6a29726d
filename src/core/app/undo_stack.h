// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "model/project.h"

namespace pelorix {

// Whole-project snapshots for undo and redo; the project is small, so a copy per edit is cheap
// and every command undoes the same way.
class UndoStack {
 public:
  struct Snapshot {
    Project project;
    int layerIndex = -1;  // the selected layer and row, restored with the project
    int row = -1;
  };

  // Records the state before an edit; clears the redo side.
  void push(Snapshot before);
  bool canUndo() const { return !undo_.empty(); }
  bool canRedo() const { return !redo_.empty(); }
  // Swaps `current` with the state to go back (or forward) to.
  Snapshot undo(Snapshot current);
  Snapshot redo(Snapshot current);
  void clear();

 private:
  static constexpr size_t kLimit = 200;
  std::vector<Snapshot> undo_;
  std::vector<Snapshot> redo_;
};

}  // namespace pelorix
