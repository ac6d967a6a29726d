// SPDX-License-Identifier: GPL-3.0-or-later
// A preview redraw as the desktop application does it: compose the draw list of an 8-layer
// 1280x720 project (bilinear, rotated, translucent layers) with the rows split over the
// processor's threads, copy the canvas into the window's image and paint it stretched with
// nearest sampling onto a 1280x720 surface.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstring>
#include <thread>

#include "base/log_sink.h"
#include "base/row_workers.h"
#include "bench_support.h"
#include "render/compositor.h"
#include "render/draw_list.h"

namespace pelorix {
namespace {

void BM_PreviewRedraw(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  NullLogSink log;
  Compositor compositor(log);
  RowWorkers workers(threads);
  compositor.setRowWorkers(&workers);
  const std::string folder = bench::scratchFolder();
  compositor.setProjectFolder(folder);
  const Project project = bench::eightLayerProject(folder);
  const DrawList list = buildDrawList(project);
  DibImage canvas;
  QImage shown(1280, 720, QImage::Format_RGB32);
  QImage window(1280, 720, QImage::Format_RGB32);
  for (auto _ : state) {
    compositor.composeFrame(canvas, project, list.layers, 1.0f);
    for (int y = 0; y < canvas.height(); ++y)
      std::memcpy(shown.scanLine(y), canvas.row(y), 1280 * 4);
    QPainter painter(&window);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(window.rect(), shown);
    painter.end();
    benchmark::DoNotOptimize(window.constBits());
  }
}
BENCHMARK(BM_PreviewRedraw)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace pelorix

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
