// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <algorithm>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "../render/render_test_support.h"
#include "output/conversion_engine.h"

namespace pelorix::test {

class RecordingListener final : public ConversionListener {
 public:
  void appendLog(const std::string& line) override {
    std::lock_guard lock(mutex);
    log.push_back(line);
  }
  void progress(int value, int done, int total) override {
    std::lock_guard lock(mutex);
    values.push_back(value);
    lastDone = done;
    lastTotal = total;
    if (abortAfter > 0 && done == abortAfter && engine) engine->abort();
    if (abortAtLast && done == total && engine) engine->abort();
  }
  void frameWritten(int index, const std::string& path, const DibImage* frame) override {
    std::lock_guard lock(mutex);
    written.push_back(index);
    paths.push_back(path);
    if (frame) framesKept += !frame->empty();
  }
  void finished(ConversionOutcome result, const std::string& text) override {
    std::lock_guard lock(mutex);
    outcome = result;
    message = text;
    ++finishedCalls;
  }
  bool logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
  }

  std::mutex mutex;
  std::vector<std::string> log;
  std::vector<int> values;
  std::vector<int> written;
  std::vector<std::string> paths;
  int lastDone = 0, lastTotal = 0, framesKept = 0, finishedCalls = 0;
  int abortAfter = 0;
  bool abortAtLast = false;  // abort as the last frame is reported
  ConversionEngine* engine = nullptr;
  ConversionOutcome outcome = ConversionOutcome::Refused;
  std::string message;
};

// A moving sprite over a background, `seconds` long.
struct Animation {
  explicit Animation(float seconds, float fps = 30.0f) : scene(64, 48) {
    scene.writeImage("bg.bmp", photoLikeImage(64, 48, 3));
    scene.writeImage("sprite.png", patternImage(16, 12));
    Project& p = scene.project;
    p.fps = fps;
    p.saveFolder = "out";
    p.saveFileName = "img";
    p.outputFormat = "png";
    Source bg;
    bg.duration = seconds;
    scene.addLayer(1, "bg.bmp", bg);
    Source from;
    from.duration = seconds;
    from.x = 30;
    from.rotation = 0;
    const int sprite = scene.addLayer(2, "sprite.png", from, effectInterpolate);
    Source to = from;
    to.file = "sprite.png";
    to.x = -30;
    to.rotation = 90;
    to.duration = 0.0f;  // only the target of the glide
    p.addSource(sprite, to);
    settings.projectFolder = scene.dir.folder();
  }

  ConversionOutcome run(RecordingListener& listener) {
    ConversionEngine engine;
    listener.engine = &engine;
    engine.start(scene.project, settings, listener);
    engine.wait();
    listener.engine = nullptr;
    summary = engine.summary();
    return listener.outcome;
  }

  std::vector<std::string> files(const std::string& folder = "out") const {
    std::vector<std::string> names;
    const auto path = scene.dir.path() / folder;
    if (!std::filesystem::exists(path)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  Scene scene;
  ConversionSettings settings;
  ConversionSummary summary;
};

// Nothing of a stopped one-file run is left: no file `name`, no temporary file beside it.
inline void expectNothingLeft(const Animation& animation, const std::string& name) {
  EXPECT_FALSE(std::filesystem::exists(animation.scene.dir.file(name))) << name;
  for (const auto& entry : std::filesystem::directory_iterator(animation.scene.dir.path()))
    EXPECT_EQ(entry.path().filename().string().find("pelorix-tmp"), std::string::npos) << name;
}

}  // namespace pelorix::test
