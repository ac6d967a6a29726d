// The compositor: one 1024x768 layer drawn into a 1920x1080 frame at rotation 30 and scale 1.3,
// nearest and bilinear, scalar and AVX2; and a whole 8-layer 1280x720 frame on one and on two
// threads. Rates are covered (drawn) pixels per second.
#include <benchmark/benchmark.h>

#include "base/log_sink.h"
#include "base/row_workers.h"
#include "bench_support.h"
#include "render/blit_kernel.h"
#include "render/compositor.h"
#include "render/draw_list.h"

namespace pelorix {
namespace {

struct LayerScene {
  NullLogSink log;
  Compositor compositor{log};
  Project project;
  DibImage canvas;
  double covered = 0;

  LayerScene(int effects, float opacity) {
    const std::string folder = bench::scratchFolder();
    bench::photoLike(1024, 768).save(folder + "layer.bmp");
    compositor.setProjectFolder(folder);
    project.resetProject();
    project.outputWidth = 1920;
    project.outputHeight = 1080;
    const int layer = project.addLayer();
    project.layers[0].number = 2;
    project.layers[0].visible = 1;
    project.layers[0].effects = effects;
    Source s;
    s.file = "layer.bmp";
    s.duration = 10;
    s.scale = 1.3f;
    s.rotation = 30.0f;
    s.opacity = opacity;
    project.addSource(layer, s);
    canvas.create(1920, 1080, 24);
    // Count the covered pixels once: draw white over black.
    DibImage probe;
    probe.create(1920, 1080, 24);
    bench::photoLike(1024, 768).save(folder + "white.bmp");
    Project white = project;
    white.layers[0].sources[0].file = "white.bmp";
    white.layers[0].sources[0].opacity = 1.0f;
    white.layers[0].effects = 0;
    compositor.drawLayer(probe, white, 0, 0.0f);
    for (int y = 0; y < 1080; ++y) {
      for (int x = 0; x < 1920 * 3; x += 3)
        covered += (probe.row(y)[x] | probe.row(y)[x + 1] | probe.row(y)[x + 2]) != 0;
    }
  }
};

void drawOneLayer(benchmark::State& state, int effects, KernelPath path, float opacity) {
  setKernelPath(path);
  LayerScene scene(effects, opacity);
  for (auto _ : state) {
    scene.compositor.drawLayer(scene.canvas, scene.project, 0, 0.0f);
    benchmark::ClobberMemory();
  }
  state.counters["covered_Mpx"] = scene.covered / 1e6;
  state.counters["Mpx_per_s"] = benchmark::Counter(
      scene.covered * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  setKernelPath(KernelPath::Auto);
}

void BM_LayerNearestScalar(benchmark::State& s) {
  drawOneLayer(s, 0, KernelPath::Scalar, 1.0f);
}
void BM_LayerNearestAvx2(benchmark::State& s) {
  drawOneLayer(s, 0, KernelPath::Avx2, 1.0f);
}
void BM_LayerBilinearScalar(benchmark::State& s) {
  drawOneLayer(s, effectInterpolate, KernelPath::Scalar, 1.0f);
}
void BM_LayerBilinearAvx2(benchmark::State& s) {
  drawOneLayer(s, effectInterpolate, KernelPath::Avx2, 1.0f);
}
void BM_LayerBilinearOpacityAvx2(benchmark::State& s) {
  drawOneLayer(s, effectInterpolate, KernelPath::Avx2, 0.8f);
}
void BM_LayerBilinearKeyedAvx2(benchmark::State& s) {
  drawOneLayer(s, effectInterpolate | effectColorKey, KernelPath::Avx2, 0.8f);
}
BENCHMARK(BM_LayerNearestScalar)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LayerNearestAvx2)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LayerBilinearScalar)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LayerBilinearAvx2)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LayerBilinearOpacityAvx2)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LayerBilinearKeyedAvx2)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// A preview redraw: eight bilinear, rotated layers of 640x480 over a 1280x720 background.
void composeEight(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  NullLogSink log;
  Compositor compositor(log);
  RowWorkers workers(threads);
  if (threads > 1) compositor.setRowWorkers(&workers);
  const std::string folder = bench::scratchFolder();
  compositor.setProjectFolder(folder);
  const Project project = bench::eightLayerProject(folder);
  const DrawList list = buildDrawList(project);
  DibImage canvas;
  for (auto _ : state) {
    compositor.composeFrame(canvas, project, list.layers, 1.0f);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(composeEight)
    ->Name("BM_ComposeEightLayers1280x720")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace pelorix

BENCHMARK_MAIN();
