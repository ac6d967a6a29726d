// SPDX-License-Identifier: GPL-3.0-or-later
// A timeline redraw with 16 layers of 200 sources each, as the window paints it (offscreen):
// the median of 200 paints, in milliseconds, with the whole animation in view and zoomed in.
#include <QApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/editor.h"
#include "bench_support.h"
#include "core/app/scripted_port.h"
#include "model/project_file.h"
#include "timeline_widget.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  using namespace pelorix;
  const std::string folder = bench::scratchFolder();
  bench::photoLike(64, 48).save(folder + "a.bmp");
  Project project;
  project.resetProject();
  for (int i = 0; i < kMaxLayers; ++i) {
    const int layer = project.addLayer();
    project.layers[static_cast<size_t>(layer)].number = i + 1;
    project.layers[static_cast<size_t>(layer)].visible = 1;
    for (int s = 0; s < 200; ++s) {
      Source source;
      source.file = "a.bmp";
      source.duration = 0.5f + 0.01f * static_cast<float>(s % 7);
      source.flags = sourceAutoCalc;
      project.addSource(layer, source);
    }
  }
  saveProject(project, folder + "long.pxp");
  test::ScriptedPort port;
  Editor editor(port);
  editor.startUp(folder + "long.pxp");
  gui::TimelineWidget timeline(editor);
  timeline.resize(1400, 16 * 28 + 24);
  timeline.rebuild();
  QImage target(timeline.size(), QImage::Format_RGB32);
  for (double zoom : {0.0, 80.0}) {
    if (zoom > 0) timeline.geometry().pixelsPerSecond = zoom;
    std::vector<double> times;
    for (int i = 0; i < 200; ++i) {
      const auto start = std::chrono::steady_clock::now();
      timeline.render(&target);
      times.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: median %.2f ms, worst %.2f ms\n",
                zoom > 0 ? "zoomed in (80 px/s)" : "whole animation in view",
                times[times.size() / 2], times.back());
  }
  return 0;
}
