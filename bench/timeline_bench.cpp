// SPDX-License-Identifier: GPL-3.0-or-later
// A timeline redraw with 16 layers of 200 sources each, as the window paints it (offscreen):
// the median of 200 paints, in milliseconds, with the whole animation in view and zoomed in.
#include <QApplication>
#include <QAudioDevice>
#include <QImage>
#include <QMediaDevices>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/editor.h"
#include "bench_support.h"
#include "core/app/scripted_port.h"
#include "model/project_file.h"
#include "timeline_widget.h"

namespace {

double medianOf(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// A minute of sound as a WAV file.
void writeSound(const std::string& path) {
  std::string wav = "RIFF";
  const auto put = [&wav](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      wav.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const uint32_t samples = 44100 * 60;
  put(36 + samples * 2, 4);
  wav += "WAVEfmt ";
  put(16, 4), put(1, 2), put(1, 2), put(44100, 4), put(88200, 4), put(2, 2), put(16, 2);
  wav += "data";
  put(samples * 2, 4);
  for (uint32_t i = 0; i < samples; ++i)
    put(static_cast<uint16_t>(static_cast<int16_t>(9000 * std::sin(i * 0.05) * std::sin(i * 1e-4))),
        2);
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(wav.data(), 1, wav.size(), f);
    std::fclose(f);
  }
}

// Keys on every layer and the camera, and a minute of sound: the redraw with key lanes and the
// waveform, and a scrub on the ruler: from the mouse move to the sound's slice handed over (and
// to the frame composed).
void animate(pelorix::Editor& editor, const std::string& folder,
             pelorix::gui::TimelineWidget& timeline) {
  using namespace pelorix;
  for (int layer = 1; layer <= kMaxLayers; ++layer) {
    for (int k = 0; k < 200; ++k) {
      editor.motion().setKey({layer, MotionProperty::Position}, k * 0.5, {k * 1.0, 0.0});
      editor.motion().setKey({layer, MotionProperty::Rotation}, k * 0.5 + 0.25, {k * 3.0, 0.0});
    }
  }
  editor.motion().setKey({0, MotionProperty::Scale}, 0.0, {1.0, 0.0});
  editor.motion().setKey({0, MotionProperty::Scale}, 60.0, {2.0, 0.0});
  writeSound(folder + "sound.wav");
  editor.session().edit().setSetting("audio", "sound.wav");
  timeline.resize(1400, 700);
  timeline.rebuild();
  const auto loadStart = std::chrono::steady_clock::now();
  while (timeline.audio().empty() && msSince(loadStart) < 30000.0)
    QApplication::processEvents();
  std::printf("sound: a minute read in %.0f ms\n", msSince(loadStart));
  QImage target(timeline.size(), QImage::Format_RGB32);
  timeline.geometry().pixelsPerSecond = 80.0;
  std::vector<double> times;
  for (int i = 0; i < 200; ++i) {
    const auto start = std::chrono::steady_clock::now();
    timeline.render(&target);
    times.push_back(msSince(start));
  }
  std::printf("keyed, lanes and waveform (80 px/s): median %.2f ms\n", medianOf(times));
  // A scrub: a press on the ruler, then moves 50 ms apart.
  auto send = [&timeline](QEvent::Type type, double x) {
    QMouseEvent event(type, QPointF(x, 5), timeline.mapToGlobal(QPointF(x, 5)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&timeline, &event);
  };
  const TimelineGeometry& g = timeline.geometry();
  send(QEvent::MouseButtonPress, g.xOf(1.0));
  std::vector<double> slices, moves;
  for (int i = 0; i < 200; ++i) {
    const double t = 1.0 + i * 0.05;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<int16_t> slice = timeline.audio().slice(t, 0.0, 0.04);
    slices.push_back(msSince(start));
    const auto moved = std::chrono::steady_clock::now();
    send(QEvent::MouseMove, g.xOf(t));
    moves.push_back(msSince(moved));
  }
  send(QEvent::MouseButtonRelease, g.xOf(11.0));
  std::printf(
      "scrub: slice made median %.3f ms; mouse move handled median %.2f ms; "
      "sound device: %s\n",
      medianOf(slices), medianOf(moves), QMediaDevices::audioOutputs().isEmpty() ? "none" : "yes");
}

}  // namespace

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
  animate(editor, folder, timeline);
  return 0;
}
