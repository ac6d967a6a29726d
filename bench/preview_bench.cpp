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

#include "app/frame_view.h"
#include "base/log_sink.h"
#include "base/row_workers.h"
#include "bench_support.h"
#include "render/compositor.h"
#include "render/draw_list.h"

namespace pelorix {
namespace {

// What changes between redraws: nothing moves and the time changes (0, every layer composed),
// the top layer is dragged (1), the bottom one is (2).
enum Edit { kFull = 0, kTop = 1, kBottom = 2 };

// As the window shows a frame: the canvas copied into Qt's picture (`shown`, made again only
// when the size changes), then drawn stretched with nearest sampling into `window`.
void paintStretched(const DibImage& canvas, QImage& shown, QImage& window) {
  if (shown.width() != canvas.width() || shown.height() != canvas.height())
    shown = QImage(canvas.width(), canvas.height(), QImage::Format_RGB32);
  for (int y = 0; y < canvas.height(); ++y)
    std::memcpy(shown.scanLine(y), canvas.row(y), static_cast<size_t>(canvas.width()) * 4);
  QPainter painter(&window);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(window.rect(), shown);
  painter.end();
  benchmark::DoNotOptimize(window.constBits());
}

void BM_PreviewRedraw(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const auto edit = static_cast<Edit>(state.range(1));
  NullLogSink log;
  Compositor compositor(log);
  RowWorkers workers(threads);
  compositor.setRowWorkers(&workers);
  const std::string folder = bench::scratchFolder();
  compositor.setProjectFolder(folder);
  Project project = bench::eightLayerProject(folder);
  const DrawList list = buildDrawList(project);
  DibImage canvas;
  QImage shown(1280, 720, QImage::Format_RGB32);
  QImage window(1280, 720, QImage::Format_RGB32);
  Source& top = project.layers[static_cast<size_t>(list.layers.back())].sources[0];
  Source& bottom = project.layers[static_cast<size_t>(list.layers.front())].sources[0];
  int step = 0;
  compositor.setReuse(edit != kFull);
  for (auto _ : state) {
    ++step;
    if (edit == kTop) top.x = static_cast<float>(step % 40);
    if (edit == kBottom) bottom.x = static_cast<float>(step % 40);
    compositor.composeFrame(canvas, project, list.layers, 1.0f);
    paintStretched(canvas, shown, window);
  }
}
BENCHMARK(BM_PreviewRedraw)
    ->ArgNames({"threads", "edit"})
    ->Args({1, kFull})
    ->Args({2, kFull})
    ->Args({2, kTop})
    ->Args({2, kBottom})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

// The 4K project of 16 bilinear, rotated, translucent layers in a 1600x900 view: composed at
// the frame's size and stretched (view 0), or at the shown size (view 1), as the preview does.
void BM_BigPreview(benchmark::State& state) {
  const bool atView = state.range(0) != 0;
  const auto edit = static_cast<Edit>(state.range(1));
  NullLogSink log;
  Compositor compositor(log);
  RowWorkers workers(2);
  compositor.setRowWorkers(&workers);
  const std::string folder = bench::scratchFolder();
  compositor.setProjectFolder(folder);
  const Project big = test::layerStack(folder, 3, 16);
  ViewScale scale;
  if (atView) scale.setSize(1600, 900);
  Project project = big;
  scale.apply(project);
  const DrawList list = buildDrawList(project);
  DibImage canvas;
  QImage shown;
  QImage window(1600, 900, QImage::Format_RGB32);
  const size_t topIndex = static_cast<size_t>(list.layers.back());
  const size_t bottomIndex = static_cast<size_t>(list.layers.front());
  int step = 0;
  compositor.setReuse(edit != kFull);
  for (auto _ : state) {
    ++step;
    // A drag moves the layer in the project, and the view's copy follows.
    Project moved = big;
    if (edit == kTop) moved.layers[topIndex].sources[0].x = static_cast<float>(step % 40);
    if (edit == kBottom) moved.layers[bottomIndex].sources[0].x = static_cast<float>(step % 40);
    scale.apply(moved);
    compositor.composeFrame(canvas, moved, list.layers, 1.0f);
    paintStretched(canvas, shown, window);
  }
}
BENCHMARK(BM_BigPreview)
    ->ArgNames({"view", "edit"})
    ->Args({0, kFull})
    ->Args({1, kFull})
    ->Args({1, kTop})
    ->Args({1, kBottom})
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
