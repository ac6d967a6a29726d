// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/editor.h"

namespace pelorix {

// One undo step: the project is remembered when the outermost scope opens and the step is
// recorded when it closes, if the project changed, however the command ends (an early return, a
// cancelled dialog, an exception). A preview drag keeps its step open from its first move to its
// end.
class Editor::EditScope {
 public:
  explicit EditScope(Editor& editor) : editor_(editor) {
    if (editor_.editDepth_++ == 0) editor_.beginEdit();
  }
  ~EditScope() {
    if (--editor_.editDepth_ == 0 && !keepOpen_) editor_.commitEdit();
  }
  EditScope(const EditScope&) = delete;
  EditScope& operator=(const EditScope&) = delete;
  // The step goes on after this scope: a later scope records it.
  void keepOpen() { keepOpen_ = true; }

 private:
  Editor& editor_;
  bool keepOpen_ = false;
};

}  // namespace pelorix
