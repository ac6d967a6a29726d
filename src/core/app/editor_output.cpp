// SPDX-License-Identifier: GPL-3.0-or-later
// Movie playback, convert all and screen save.
#include "app/editor.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "output/output_files.h"

namespace pelorix {

// Carries the reports of a conversion run from its worker threads to the user-interface
// thread, in order. Of the frames written only the newest waits to be shown in the preview.
class Editor::ConversionRelay final : public ConversionListener {
 public:
  explicit ConversionRelay(Editor& editor) : editor_(editor) {}

  void appendLog(const std::string& line) override {
    editor_.port_.post([this, line] { editor_.port_.appendLog(line); });
  }

  void progress(int value, int, int) override {
    editor_.port_.post([this, value] {
      editor_.progressValue_ = value;
      editor_.port_.refresh(RefreshProgress);
    });
  }

  void frameWritten(int, const std::string& path, const DibImage* frame) override {
    bool schedule = false;
    {
      std::lock_guard lock(mutex_);
      latestPath_ = path;
      if (frame) latestFrame_ = frame->clone();
      schedule = !pending_;
      pending_ = true;
    }
    if (!schedule) return;
    editor_.port_.post([this] {
      DibImage shown;
      std::string shownPath;
      {
        std::lock_guard lock(mutex_);
        shown = std::move(latestFrame_);
        shownPath = latestPath_;
        pending_ = false;
      }
      editor_.progressText_ = "File Name " + shownPath;
      if (!shown.empty()) editor_.canvas_ = std::move(shown);
      editor_.port_.refresh(RefreshProgress | RefreshPreview);
    });
  }

  void finished(ConversionOutcome outcome, const std::string& message) override {
    editor_.port_.post([this, outcome, message] {
      editor_.converting_ = false;
      editor_.port_.refresh(RefreshButtons | RefreshProgress);
      if ((outcome == ConversionOutcome::Failed || outcome == ConversionOutcome::Refused) &&
          !message.empty()) {
        editor_.port_.notice(message);
      }
    });
  }

 private:
  Editor& editor_;
  std::mutex mutex_;
  DibImage latestFrame_;
  std::string latestPath_;
  bool pending_ = false;
};

// ---- playback ----

int Editor::moviePressed() {
  if (playing_) {
    playbackStop_ = true;  // the next tick stops the movie
    return 0;
  }
  if (!(project_.fps > 0.0f)) {
    port_.notice(formatC(_("フレームレートが %.2f のため再生できません。"),
                         static_cast<double>(project_.fps)));
    return 0;
  }
  playing_ = true;
  playbackStop_ = false;
  playbackTime_ = 0.0f;
  port_.refresh(RefreshButtons);
  composeInto(0.0f, true, -1);
  const int period = truncToInt(1000.0 / static_cast<double>(project_.fps));
  if (period <= 0) {
    // Above 1000 frames per second there is no timer period: the start is refused.
    playing_ = false;
    playbackStop_ = true;
    port_.refresh(RefreshButtons);
    port_.appendLog(
        formatC(_("フレームレート %.2f では再生できません。"), static_cast<double>(project_.fps)));
    return 0;
  }
  return period;
}

bool Editor::playbackTick() {
  if (!playing_) return false;
  port_.refresh(RefreshPreview);  // the frame composed at the previous tick
  playbackTime_ =
      narrowToFloat(static_cast<double>(playbackTime_) + 1.0 / static_cast<double>(project_.fps));
  if (playbackTime_ > totalTime_ || playbackStop_) {
    playing_ = false;
    port_.refresh(RefreshButtons);
    return false;
  }
  composeInto(playbackTime_, true, -1);
  return true;
}

// ---- convert all ----

void Editor::convertAllPressed() {
  // While converting the button reads "中断": it aborts, whatever the format.
  if (converting_) {
    engine_.abort();
    return;
  }
  if (conversionRefusesGif(project_.outputFormat, refuseGif_)) {
    port_.notice(_(kGifRefused));
    port_.appendLog(_(kGifRefused));
    return;
  }
  if (busy_ || noProjectLoaded_) return;
  if (modified_) {
    const std::string path = projectFolder_ + projectFileName_;
    // A project that could not be saved is not read back: the edits stay, nothing converts.
    if (!saveProjectTo(path) && modified_) return;
    port_.appendLog(_("プロジェクトファイルを保存しました。"));
    openProject(path);
  }
  if (!relay_) relay_ = std::make_shared<ConversionRelay>(*this);
  ConversionSettings settings;
  settings.projectFolder = projectFolder_;
  settings.refuseGif = refuseGif_;
  settings.keepFrames = true;
  progressValue_ = 0;
  progressText_ = _("スタティック");
  converting_ = engine_.start(project_, settings, *relay_);
  port_.refresh(RefreshButtons | RefreshProgress);
}

void Editor::waitForConversion() {
  engine_.wait();
}

// ---- screen save ----

void Editor::screenSave() {
  if (canvas_.empty()) return;
  const std::optional<std::string> path = port_.chooseImageFile(projectFolder_);
  if (!path) return;
  const ScreenSaveResult saved = saveFrameToFile(*path, canvas_, refuseGif_, debugLevel_, *log_);
  if (!saved.message.empty()) port_.notice(saved.message);
}

}  // namespace pelorix
