// SPDX-License-Identifier: GPL-3.0-or-later
// Movie playback, convert all and screen save.
#include <algorithm>
#include <thread>
#include "app/editor.h"

#include "app/export_choices.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "output/output_files.h"
#include "output/run_plan.h"

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
      editor_.port_.refresh(RefreshButtons | RefreshProgress | RefreshControls);
      // The preview showed the frames as they were written: back to the frame of the time.
      if (editor_.previewShown_) {
        editor_.redraw(editor_.currentTime_);
      } else {
        editor_.clearCanvas();
      }
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
  const int period = truncToInt(1000.0 / static_cast<double>(project_.fps));
  if (period <= 0) {
    // Above 1000 frames per second there is no timer period: the start is refused.
    port_.appendLog(
        formatC(_("フレームレート %.2f では再生できません。"), static_cast<double>(project_.fps)));
    return 0;
  }
  playing_ = true;
  playbackStop_ = false;
  playbackTime_ = 0.0f;
  onion_.clear();
  // The workers compose ahead; the user-interface thread keeps one core for showing frames.
  const int workers = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
  playback_ =
      std::make_unique<Playback>(project_, drawList_, projectFolder_, workers, 8, playbackClock_);
  port_.refresh(RefreshButtons);
  const AudioTrack audio = projectAudio(project_, projectFolder_);
  if (!audio.path.empty()) port_.playAudio(audio, 0.0);
  // Ticks twice a frame or more often, so a frame is shown within a few milliseconds of its
  // time.
  return std::clamp(period / 2, 1, 10);
}

bool Editor::playbackTick() {
  if (!playing_ || !playback_) return false;
  float time = 0.0f;
  const Playback::Tick tick =
      playbackStop_ ? Playback::Tick::Ended : playback_->take(canvas_, time);
  if (tick == Playback::Tick::New) {
    playbackTime_ = time;
    port_.refresh(RefreshPreview | RefreshTimeline);
    return true;
  }
  if (tick == Playback::Tick::Same) return true;
  playing_ = false;
  port_.stopAudio();
  const int dropped = playback_->dropped();
  const int frames = playback_->frames();
  playback_.reset();
  port_.showStatus(
      formatC(_("再生: %d 画面のうち %d 画面を間に合わずに飛ばしました。"), frames, dropped));
  port_.refresh(RefreshButtons | RefreshTimeline);
  // Back to the frame of the time the window shows.
  redraw(currentTime_);
  return false;
}

// ---- convert all ----

void Editor::convertAllPressed() {
  // While converting the button reads "中断": it aborts, whatever the format.
  if (converting_) {
    engine_.abort();
    return;
  }
  if (gifRefused(project_.outputFormat, refuseGif_)) {
    port_.notice(_(kGifRefused));
    port_.appendLog(_(kGifRefused));
    return;
  }
  if (busy_ || noProjectLoaded_) return;
  ConversionSettings settings;
  settings.projectFolder = projectFolder_;
  settings.refuseGif = refuseGif_;
  settings.keepFrames = true;
  if (modified_) {
    // Whatever would refuse the conversion is said before the file is written: a refused
    // conversion writes nothing.
    if (const PlanOutcome planned = planRun(project_, settings); !planned.plan) {
      port_.appendLog(planned.refusal);
      port_.notice(planned.refusal);
      return;
    }
    const std::string path = projectFolder_ + projectFileName_;
    // A project that could not be saved is not read back: the edits stay, nothing converts.
    if (!saveProjectTo(path) && modified_) return;
    port_.appendLog(_("プロジェクトファイルを保存しました。"));
    // No dialog while the conversion runs: the summary goes into the log.
    openProject(path, {.askToSave = false, .keepHistory = true, .summaryToLog = true});
  }
  startConversion(project_, settings);
}

void Editor::startConversion(const Project& project, const ConversionSettings& settings) {
  if (!relay_) relay_ = std::make_shared<ConversionRelay>(*this);
  progressValue_ = 0;
  progressText_ = _("スタティック");
  converting_ = engine_.start(project, settings, *relay_);
  port_.refresh(RefreshButtons | RefreshProgress | RefreshControls);
}

// ---- export ----

void Editor::exportCommand() {
  if (busy_ || noProjectLoaded_ || converting_) return;
  const std::string key = projectFolder_ + projectFileName_;
  ExportValues values = defaultExport(project_, projectFolder_);
  const auto kept = std::find_if(exportChoices_.begin(), exportChoices_.end(),
                                 [&key](const auto& entry) { return entry.first == key; });
  if (kept != exportChoices_.end()) applyExportChoices(kept->second, values);
  busy_ = true;
  const bool accepted = port_.editExport(values);
  busy_ = false;
  if (!accepted) return;
  const std::string text = exportChoicesText(values, project_);
  if (kept != exportChoices_.end()) {
    kept->second = text;
  } else {
    exportChoices_.emplace_back(key, text);
  }
  ExportRun run = exportRun(values, project_);
  run.settings.refuseGif = refuseGif_;
  run.settings.keepFrames = true;
  startConversion(run.project, run.settings);
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
