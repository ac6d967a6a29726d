// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>

#include "app/editor.h"
#include "test_support.h"

namespace pelorix::test {

// A UiPort with scripted answers that records everything shown.
class ScriptedPort final : public UiPort {
 public:
  Answer ask(const std::string& text) override {
    questions.push_back(text);
    if (answers.empty()) return Answer::Yes;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void notice(const std::string& text) override { notices.push_back(text); }
  void appendLog(const std::string& line) override {
    std::lock_guard lock(mutex);
    log.push_back(line);
  }
  void showInformation(const std::string& text, InformationKind kind) override {
    information.push_back(text);
    informationKinds.push_back(kind);
  }
  void showStatus(const std::string& text) override { status.push_back(text); }
  bool editLayer(LayerValues& values) override {
    ++layerDialogs;
    return layerDialog ? layerDialog(values) : false;
  }
  bool editSource(SourceDialogValues& values) override {
    ++sourceDialogs;
    return sourceDialog ? sourceDialog(values) : false;
  }
  bool editProject(ProjectValues& values) override {
    ++projectDialogs;
    return projectDialog ? projectDialog(values) : false;
  }
  bool editExport(ExportValues& values) override {
    ++exportDialogs;
    return exportDialog ? exportDialog(values) : false;
  }
  std::optional<std::string> chooseProjectFile(const std::string&) override { return projectFile; }
  std::optional<std::string> chooseProjectSaveFile(const std::string&,
                                                   const std::string&) override {
    return projectFile;
  }
  std::optional<std::string> chooseImageFile(const std::string&) override { return imageFile; }
  void refresh(unsigned parts) override {
    if (parts & RefreshPreview) ++previewRepaints;
  }
  void setPreviewFrameSize(int width, int height) override { frameSize = {width, height}; }
  void showPreview(bool shown) override { previewVisible = shown; }
  void post(std::function<void()> task) override {
    std::lock_guard lock(mutex);
    posted.push_back(std::move(task));
  }
  void playAudio(const AudioTrack& audio, double from) override {
    audioPlaying = audio.path;
    soundFrom = from;
  }
  void stopAudio() override { audioPlaying.clear(); }
  std::optional<double> soundPosition() const override { return soundAt; }
  // Runs what the worker threads posted, as the event loop would.
  void runPosted() {
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex);
        if (posted.empty()) return;
        task = std::move(posted.front());
        posted.pop_front();
      }
      task();
    }
  }
  bool logged(const std::string& line) const {
    return std::find(log.begin(), log.end(), line) != log.end();
  }

  std::deque<Answer> answers;
  std::vector<std::string> questions, notices, log, information, status;
  std::vector<InformationKind> informationKinds;
  std::function<bool(ExportValues&)> exportDialog;
  int exportDialogs = 0;
  std::string audioPlaying;
  double soundFrom = -1.0;
  std::optional<double> soundAt;  // where the sound plays, when it does
  std::function<bool(LayerValues&)> layerDialog;
  std::function<bool(SourceDialogValues&)> sourceDialog;
  std::function<bool(ProjectValues&)> projectDialog;
  int layerDialogs = 0, sourceDialogs = 0, projectDialogs = 0, previewRepaints = 0;
  std::optional<std::string> projectFile, imageFile;
  std::pair<int, int> frameSize{0, 0};
  bool previewVisible = false;
  std::mutex mutex;
  std::deque<std::function<void()>> posted;
};

// The demo project copied into a temporary folder, so commands may write it.
class DemoCopy {
 public:
  DemoCopy() {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(PELORIX_SOURCE_DIR) + "/examples/demo")) {
      if (entry.is_regular_file())
        std::filesystem::copy_file(entry.path(), dir.path() / entry.path().filename());
    }
  }
  std::string project() const { return dir.file("demo.pxp"); }
  TempDir dir;
};

}  // namespace pelorix::test
