// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/undo_stack.h"

namespace pelorix {

void UndoStack::push(Snapshot before) {
  undo_.push_back(std::move(before));
  if (undo_.size() > kLimit) undo_.erase(undo_.begin());
  redo_.clear();
}

UndoStack::Snapshot UndoStack::undo(Snapshot current) {
  Snapshot target = std::move(undo_.back());
  undo_.pop_back();
  redo_.push_back(std::move(current));
  return target;
}

UndoStack::Snapshot UndoStack::redo(Snapshot current) {
  Snapshot target = std::move(redo_.back());
  redo_.pop_back();
  undo_.push_back(std::move(current));
  return target;
}

void UndoStack::clear() {
  undo_.clear();
  redo_.clear();
}

}  // namespace pelorix
