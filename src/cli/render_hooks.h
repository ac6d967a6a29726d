// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace pelorix {
struct Project;
}

namespace pelorix::cli {

// What a caller inside this process (the Python module) puts in place of the command line's
// project file, signals and progress bar while `render` runs on its thread.
struct RenderHooks {
  // Rendered instead of the file PROJECT names (which still gives the folder that image names
  // are looked up in). Null: the file is read.
  const Project* project = nullptr;
  // Called on the rendering thread every 20 ms while frames are made: how many are done.
  std::function<void(int done, int total)> progress;
  // Polled as often: true stops the render, which then leaves nothing (as Ctrl-C does).
  std::function<bool()> stop;
  // Set by the render: how many frames it wrote.
  int framesDone = 0;
};

// Puts `hooks` in place for the renders of this thread while it lives.
class ScopedRenderHooks {
 public:
  explicit ScopedRenderHooks(RenderHooks& given);
  ~ScopedRenderHooks();
  ScopedRenderHooks(const ScopedRenderHooks&) = delete;
  ScopedRenderHooks& operator=(const ScopedRenderHooks&) = delete;

 private:
  RenderHooks* before_;
};

}  // namespace pelorix::cli
