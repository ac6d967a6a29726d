// SPDX-License-Identifier: GPL-3.0-or-later
// The compositor: one 1024x768 layer drawn into a 1920x1080 frame at rotation 30 and scale 1.3
// (nearest, bilinear, with opacity and key), a 1280x720 background copied on whole pixels, each
// with the scalar reference and every vector set of this processor; and a whole 8-layer
// 1280x720 frame on one and on two threads. Rates are covered (drawn) pixels per second.
#include <benchmark/benchmark.h>

#include "base/c_locale.h"
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

  LayerScene(int effects, float opacity, bool whole) {
    const std::string folder = bench::scratchFolder();
    const int width = whole ? 1280 : 1024, height = whole ? 720 : 768;
    bench::photoLike(width, height).save(folder + "layer.bmp");
    compositor.setProjectFolder(folder);
    project.resetProject();
    project.outputWidth = whole ? 1280 : 1920;
    project.outputHeight = whole ? 720 : 1080;
    const int layer = project.addLayer();
    project.layers[0].number = 2;
    project.layers[0].visible = 1;
    project.layers[0].effects = effects;
    Source s;
    s.file = "layer.bmp";
    s.duration = 10;
    s.scale = whole ? 1.0f : 1.3f;
    s.rotation = whole ? 0.0f : 30.0f;
    s.opacity = opacity;
    project.addSource(layer, s);
    compositor.drawLayer(canvas, project, 0, 0.0f);
    // Count the covered pixels once: draw a bright picture over black.
    DibImage probe;
    bench::flatColour(width, height).save(folder + "white.bmp");
    Project white = project;
    white.layers[0].sources[0].file = "white.bmp";
    white.layers[0].sources[0].opacity = 1.0f;
    white.layers[0].effects = 0;
    compositor.drawLayer(probe, white, 0, 0.0f);
    for (int y = 0; y < probe.height(); ++y) {
      for (int x = 0; x < probe.width() * 4; x += 4)
        covered += (probe.row(y)[x] | probe.row(y)[x + 1] | probe.row(y)[x + 2]) != 0;
    }
  }
};

void drawOneLayer(benchmark::State& state, const std::string& kernel, int effects, float opacity,
                  bool whole) {
  setKernel(kernel);
  LayerScene scene(effects, opacity, whole);
  for (auto _ : state) {
    scene.compositor.drawLayer(scene.canvas, scene.project, 0, 0.0f);
    benchmark::ClobberMemory();
  }
  state.counters["covered_Mpx"] = scene.covered / 1e6;
  state.counters["Mpx_per_s"] = benchmark::Counter(
      scene.covered * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
  setKernel("");
}

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

// N rotated, bilinear, translucent 640x480 layers over 1280x720 that all glide, so that no layer
// is ever the same two frames running: the cost of composing grows with the layers alone. With
// reuse on and off (nothing can be reused: reuse must cost nothing here). With `keyed`, the same
// motion comes from keys on every layer's position, rotation, scale and opacity (curves, a
// pivot) and a keyed camera instead of glides: the cost of evaluating motion.
void composeMoving(benchmark::State& state) {
  const int layers = static_cast<int>(state.range(0));
  const bool keyed = state.range(2) != 0;
  NullLogSink log;
  Compositor compositor(log);
  compositor.setReuse(state.range(1) != 0);
  const std::string folder = bench::scratchFolder();
  compositor.setProjectFolder(folder);
  bench::photoLike(640, 480, 3).save(folder + "layer.bmp");
  Project project;
  project.resetProject();
  project.outputWidth = 1280;
  project.outputHeight = 720;
  for (int i = 0; i < layers; ++i) {
    const int layer = project.addLayer();
    project.layers[static_cast<size_t>(layer)].number = i + 2;
    project.layers[static_cast<size_t>(layer)].visible = 1;
    project.layers[static_cast<size_t>(layer)].effects = effectInterpolate;
    Source from;
    from.file = "layer.bmp";
    from.duration = 10;
    from.x = static_cast<float>((i % 5) * 60 - 120);
    from.rotation = static_cast<float>(i * 23 + 7);
    from.opacity = 0.85f;
    Source to = from;
    to.duration = 0;
    to.x = -from.x;
    to.rotation = from.rotation + 90;
    project.addSource(layer, from);
    if (!keyed) {
      project.addSource(layer, to);
      continue;
    }
    const int number = project.layers[static_cast<size_t>(layer)].number;
    const char* curve = "bezier(0.4200,0.0000,0.5800,1.0000)";
    project.setSetting(
        layerMotionKey(number, "position"),
        formatC("0:0,0:%s;10:%.1f,0:linear", curve, static_cast<double>(-2 * from.x)));
    project.setSetting(layerMotionKey(number, "rotation"), formatC("0:0:%s;10:90:linear", curve));
    // The same pixels as the glides draw: a scale that stays 1, evaluated all the same.
    project.setSetting(layerMotionKey(number, "scale"), formatC("0:1:%s;10:1:linear", curve));
    project.setSetting(layerMotionKey(number, "opacity"), "0:1:linear;10:0.9:linear");
    project.setSetting(layerMotionKey(number, "pivot"), "0,0");
  }
  if (keyed) project.setSetting("camera.position", "0:0,0:linear;10:4,2:linear");
  const DrawList list = buildDrawList(project);
  DibImage canvas;
  float t = 0.0f;
  for (auto _ : state) {
    t = t >= 9.9f ? 0.0f : t + 1.0f / 30.0f;
    compositor.composeFrame(canvas, project, list.layers, t);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(composeMoving)
    ->Name("BM_ComposeMovingLayers1280x720")
    ->ArgNames({"layers", "reuse", "keyed"})
    ->Args({1, 1, 0})
    ->Args({4, 1, 0})
    ->Args({16, 1, 0})
    ->Args({8, 0, 0})
    ->Args({8, 1, 0})
    ->Args({8, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace pelorix

int main(int argc, char** argv) {
  using pelorix::effectColorKey;
  using pelorix::effectInterpolate;
  std::vector<std::string> kernels{"scalar"};
  for (const std::string& name : pelorix::vectorKernels())
    kernels.push_back(name);
  struct Case {
    const char* name;
    int effects;
    float opacity;
    bool whole;
  };
  const Case cases[] = {{"Nearest", 0, 1.0f, false},
                        {"Bilinear", effectInterpolate, 1.0f, false},
                        {"BilinearOpacity", effectInterpolate, 0.8f, false},
                        {"BilinearKeyedOpacity", effectInterpolate | effectColorKey, 0.8f, false},
                        {"WholePixelCopy720p", 0, 1.0f, true},
                        {"WholePixelBlend720p", 0, 0.5f, true}};
  for (const Case& c : cases) {
    for (const std::string& kernel : kernels) {
      if (c.whole && kernel != kernels.front()) continue;  // the copy has no vector variant
      benchmark::RegisterBenchmark(("BM_Layer" + std::string(c.name) + "/" + kernel).c_str(),
                                   [c, kernel](benchmark::State& state) {
                                     pelorix::drawOneLayer(state, kernel, c.effects, c.opacity,
                                                           c.whole);
                                   })
          ->Unit(benchmark::kMillisecond)
          ->MinTime(1.0);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
