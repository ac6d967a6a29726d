// SPDX-License-Identifier: GPL-3.0-or-later
// What the editor's tests share: an editor with the demo project open, and projects written
// for a test.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "../imageio/image_test_support.h"
#include "app/editor.h"
#include "app/texts.h"
#include "model/project_file.h"
#include "output/formats.h"
#include "pelorix_version.h"
#include "render/timeline.h"
#include "scripted_port.h"

namespace pelorix {

using test::DemoCopy;
using test::ScriptedPort;

// An editor with the demo project open (answers and dialogs scripted per test).
struct Opened {
  Opened() : editor(port) {
    editor.startUp(demo.project());
    port.notices.clear();
    port.information.clear();
  }
  const Layer& layer(int index) const {
    return editor.session().project().layers[static_cast<size_t>(index)];
  }
  DemoCopy demo;
  ScriptedPort port;
  Editor editor;
};

// A project of one layer with sources of the given durations, written to a folder.
inline std::string writeProject(const test::TempDir& dir, const std::string& name, float fps,
                                const std::vector<std::pair<int, std::vector<float>>>& layers) {
  Project p;
  p.resetProject();
  p.name = name;
  p.fps = fps;
  for (const auto& [number, durations] : layers) {
    const int index = p.addLayer();
    p.layers[static_cast<size_t>(index)].number = number;
    p.layers[static_cast<size_t>(index)].visible = 1;
    for (float d : durations) {
      Source s;
      s.file = "missing.bmp";
      s.duration = d;
      p.addSource(index, s);
    }
  }
  const std::string path = dir.file(name + ".pxp");
  saveProject(p, path);
  return path;
}

}  // namespace pelorix
