// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time playback as the desktop application does it: the workers compose an 8-layer project
// (bilinear, rotated, translucent layers that glide) ahead into the ring while this thread, as
// the window's would, takes the frame that is due every 2 ms and paints it stretched into a
// window of the frame's size (or of VIEW_WIDTH x VIEW_HEIGHT, the frames then composed at that
// size as the preview does). Prints the frames dropped of those of 10 seconds.
//   playback_bench WIDTH HEIGHT [SECONDS [WORKERS [LAYERS [VIEW_WIDTH VIEW_HEIGHT]]]]
// WIDTH a multiple of 1280 gives pictures of that scale (3840: the 4K project's).
// With PELORIX_BENCH_PROJECT=NAME the project is written as NAME into a scratch folder with its
// pictures, and the path printed, instead (for a render of the same project).
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/frame_view.h"
#include "app/playback.h"
#include "bench_support.h"
#include "model/project_file.h"
#include "render/draw_list.h"

int main(int argc, char** argv) {
  using namespace pelorix;
  const int width = argc > 2 ? std::atoi(argv[1]) : 1920;
  const int height = argc > 2 ? std::atoi(argv[2]) : 1080;
  const float seconds = argc > 3 ? static_cast<float>(std::atof(argv[3])) : 10.0f;
  const std::string folder = bench::scratchFolder();
  const int layers = argc > 5 ? std::atoi(argv[5]) : 8;
  const int scale = width % 1280 == 0 ? width / 1280 : 1;
  Project project = test::layerStack(folder, scale, layers);
  // The frame at the size asked for, every layer gliding to another place over the time.
  const float k = static_cast<float>(width) / (1280.0f * static_cast<float>(scale));
  project.outputWidth = width;
  project.outputHeight = height;
  project.fps = 30.0f;
  for (int i = 0; i < project.layerCount; ++i) {
    Layer& layer = project.layers[static_cast<size_t>(i)];
    Source& first = layer.sources[0];
    first.x *= k;
    first.y *= k;
    first.scale *= k;
    first.duration = seconds;
    first.flags = sourceAutoCalc;
    Source last = first;
    last.duration = 0.0f;
    last.x = -first.x + 40.0f * k;
    last.rotation = first.rotation + 90.0f;
    project.addSource(i, last);
  }
  // With PELORIX_BENCH_PROJECT set, the project is written there (its pictures beside it in the
  // scratch folder) for a render of it, and nothing is played.
  if (const char* path = std::getenv("PELORIX_BENCH_PROJECT")) {
    const bool saved = saveProject(project, folder + path).result == kSaveWritten;
    std::printf("%s%s\n", folder.c_str(), path);
    return saved ? 0 : 1;
  }
  const DrawList list = buildDrawList(project);
  const int viewWidth = argc > 7 ? std::atoi(argv[6]) : width;
  const int viewHeight = argc > 7 ? std::atoi(argv[7]) : height;
  ViewScale view;
  view.setSize(viewWidth, viewHeight);
  // PELORIX_BENCH_NO_LEVELS: pictures sampled themselves, as a paused frame does (the baseline).
  if (std::getenv("PELORIX_BENCH_NO_LEVELS")) {
    view.apply(project);
  } else {
    view.applyForPlayback(project);
  }
  const int workers = argc > 4 ? std::atoi(argv[4])
                               : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  Playback playback(project, list.layers, folder, workers);
  DibImage canvas;
  QImage window(viewWidth, viewHeight, QImage::Format_RGB32);
  int painted = 0;
  for (;;) {
    float time = 0.0f;
    const Playback::Tick tick = playback.take(canvas, time);
    if (tick == Playback::Tick::Ended) break;
    if (tick == Playback::Tick::New) {
      QImage shown(canvas.width(), canvas.height(), QImage::Format_RGB32);
      for (int y = 0; y < canvas.height(); ++y)
        std::memcpy(shown.scanLine(y), canvas.row(y), static_cast<size_t>(canvas.width()) * 4);
      QPainter painter(&window);
      painter.drawImage(window.rect(), shown);
      ++painted;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::printf("%dx%d, %d layers, in %dx%d: %d frames, %d shown, %d dropped (%.2f %%), %d workers\n",
              width, height, layers, viewWidth, viewHeight, playback.frames(), painted,
              playback.dropped(), 100.0 * playback.dropped() / std::max(1, playback.frames()),
              workers);
  return 0;
}
