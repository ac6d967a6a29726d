// SPDX-License-Identifier: GPL-3.0-or-later
// Encode and decode of one frame in every format, 1280x720 and 1920x1080, photo-like and
// flat-colour content. The bytes counter is the encoded size.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "imageio/dib_image.h"

namespace pelorix {
namespace {

struct Format {
  const char* extension;
  int pngLevel;
};

constexpr Format kFormats[] = {{".bmp", 1}, {".jpg", 1},  {".png", 1}, {".png", 6},
                               {".gif", 1}, {".webp", 1}, {".tif", 1}};

DibImage content(int kind, int width, int height) {
  return kind == 0 ? bench::photoLike(width, height) : bench::flatColour(width, height);
}

void encode(benchmark::State& state) {
  const Format& format = kFormats[state.range(0)];
  const DibImage image = content(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)),
                                 static_cast<int>(state.range(3)));
  ImageEncodeOptions options;
  options.pngLevel = format.pngLevel;
  std::vector<uint8_t> out;
  for (auto _ : state) {
    if (image.encode(format.extension, options, out).failed()) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(out.size());
  state.SetLabel(std::string(format.extension) + (format.pngLevel > 1 ? " libpng-6" : "") +
                 (state.range(1) == 0 ? " photo" : " flat"));
}

void decode(benchmark::State& state) {
  const Format& format = kFormats[state.range(0)];
  const DibImage image = content(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)),
                                 static_cast<int>(state.range(3)));
  ImageEncodeOptions options;
  options.pngLevel = format.pngLevel;
  std::vector<uint8_t> bytes;
  image.encode(format.extension, options, bytes);
  for (auto _ : state) {
    DibImage decoded;
    if (decoded.loadFromMemory(bytes).failed()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoded.bits());
  }
  state.SetLabel(std::string(format.extension) + (format.pngLevel > 1 ? " libpng-6" : "") +
                 (state.range(1) == 0 ? " photo" : " flat"));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (int f = 0; f < static_cast<int>(std::size(kFormats)); ++f) {
    for (int kind = 0; kind < 2; ++kind) {
      b->Args({f, kind, 1280, 720});
      b->Args({f, kind, 1920, 1080});
    }
  }
}

BENCHMARK(encode)->Name("BM_Encode")->Apply(sizes)->Unit(benchmark::kMillisecond)->MinTime(0.3);
BENCHMARK(decode)->Name("BM_Decode")->Apply(sizes)->Unit(benchmark::kMillisecond)->MinTime(0.3);

}  // namespace
}  // namespace pelorix

BENCHMARK_MAIN();
