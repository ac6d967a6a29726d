// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/output_control.h"

#include <algorithm>
#include <mutex>

#include "app/export_choices.h"
#include "app/frame_view.h"
#include "app/project_files.h"
#include "app/session.h"
#include "app/timeline_editing.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "output/formats.h"
#include "output/output_files.h"
#include "output/run_plan.h"
#include "render/timeline.h"

namespace pelorix {

// Carries the reports of a conversion run from its worker threads to the user-interface
// thread, in order. Of the frames written only the newest waits to be shown in the preview.
class OutputControl::Relay final : public ConversionListener {
 public:
  explicit Relay(OutputControl& output) : output_(output), port_(output.session_.port()) {}

  void appendLog(const std::string& line) override {
    port_.post([this, line] { port_.appendLog(line); });
  }

  void progress(int value, int done, int total) override {
    port_.post([this, value, done, total] {
      output_.progressValue_ = value;
      output_.framesDone_ = done;
      output_.framesTotal_ = total;
      port_.refresh(RefreshProgress);
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
    port_.post([this] {
      DibImage shown;
      std::string shownPath;
      {
        std::lock_guard lock(mutex_);
        shown = std::move(latestFrame_);
        shownPath = latestPath_;
        pending_ = false;
      }
      output_.progressText_ = "File Name " + shownPath;
      if (!shown.empty()) output_.view_.canvas() = std::move(shown);
      port_.refresh(RefreshProgress | RefreshPreview);
    });
  }

  void finished(ConversionOutcome outcome, const std::string& message) override {
    port_.post([this, outcome, message] {
      output_.converting_ = false;
      port_.refresh(RefreshButtons | RefreshProgress | RefreshControls);
      // The preview showed the frames as they were written: back to the frame of the time.
      FrameView& view = output_.view_;
      if (view.previewShown()) {
        view.redraw(view.currentTime());
      } else {
        view.clearCanvas();
      }
      if ((outcome == ConversionOutcome::Failed || outcome == ConversionOutcome::Refused) &&
          !message.empty()) {
        port_.notice(message);
      }
    });
  }

 private:
  OutputControl& output_;
  UiPort& port_;
  std::mutex mutex_;
  DibImage latestFrame_;
  std::string latestPath_;
  bool pending_ = false;
};

OutputControl::OutputControl(Session& session, FrameView& view, ProjectFiles& files)
    : session_(session), view_(view), files_(files) {}

OutputControl::~OutputControl() {
  abort();
}

std::string OutputControl::progressFrames() const {
  if (framesTotal_ <= 0) return {};
  return formatC(_("%d / %d 画面"), framesDone_, framesTotal_);
}

void OutputControl::abort() {
  engine_.abort();
  engine_.wait();
}

void OutputControl::setWorkAreaOnly(bool only) {
  workAreaOnly_ = only;
  session_.port().refresh(RefreshButtons);
}

void OutputControl::setSwitches(bool refuseGif, int debugLevel) {
  refuseGif_ = refuseGif;
  debugLevel_ = debugLevel;
}

void OutputControl::convertAllPressed() {
  // While converting the button reads "中断": it aborts, whatever the format.
  if (converting_) {
    engine_.abort();
    return;
  }
  UiPort& port = session_.port();
  if (gifRefused(session_.project().outputFormat, refuseGif_)) {
    port.notice(_(kGifRefused));
    port.appendLog(_(kGifRefused));
    return;
  }
  if (session_.busy() || session_.noProjectLoaded()) return;
  ConversionSettings settings;
  settings.projectFolder = session_.projectFolder();
  settings.refuseGif = refuseGif_;
  settings.keepFrames = true;
  if (workAreaOnly_ && workAreaOf(session_.project())) {
    const Project& project = session_.project();
    const int frames =
        static_cast<int>(conversionFrameTimes(view_.totalTime(), project.fps).size());
    settings.frames = workAreaFrames(project, frames);
  }
  if (session_.modified()) {
    // Whatever would refuse the conversion is said before the file is written: a refused
    // conversion writes nothing.
    if (const PlanOutcome planned = planRun(session_.project(), settings); !planned.plan) {
      port.appendLog(planned.refusal);
      port.notice(planned.refusal);
      return;
    }
    const std::string path = session_.projectFolder() + session_.projectFileName();
    // A project that could not be saved is not read back: the edits stay, nothing converts.
    if (!files_.saveProjectTo(path) && session_.modified()) return;
    port.appendLog(_("プロジェクトファイルを保存しました。"));
    // No dialog while the conversion runs: the summary goes into the log.
    files_.openProject(path, {.askToSave = false, .keepHistory = true, .summaryToLog = true});
  }
  startConversion(session_.project(), settings);
}

void OutputControl::startConversion(const Project& project, const ConversionSettings& settings) {
  if (!relay_) relay_ = std::make_shared<Relay>(*this);
  progressValue_ = 0;
  framesDone_ = framesTotal_ = 0;
  progressText_ = _("スタティック");
  converting_ = engine_.start(project, settings, *relay_);
  session_.port().refresh(RefreshButtons | RefreshProgress | RefreshControls);
}

void OutputControl::exportCommand() {
  if (session_.busy() || session_.noProjectLoaded() || converting_) return;
  const Project& project = session_.project();
  const std::string key = session_.projectFolder() + session_.projectFileName();
  ExportValues values = defaultExport(project, session_.projectFolder());
  const auto kept = std::find_if(exportChoices_.begin(), exportChoices_.end(),
                                 [&key](const auto& entry) { return entry.first == key; });
  if (kept != exportChoices_.end()) applyExportChoices(kept->second, values);
  bool accepted = false;
  {
    Session::BusyScope busy(session_);
    accepted = session_.port().editExport(values);
  }
  if (!accepted) return;
  const std::string text = exportChoicesText(values, project);
  if (kept != exportChoices_.end()) {
    kept->second = text;
  } else {
    exportChoices_.emplace_back(key, text);
  }
  ExportRun run = exportRun(values, project);
  run.settings.refuseGif = refuseGif_;
  run.settings.keepFrames = true;
  startConversion(run.project, run.settings);
}

void OutputControl::waitForConversion() {
  engine_.wait();
}

void OutputControl::screenSave() {
  if (view_.canvas().empty()) return;
  const std::optional<std::string> path = session_.port().chooseImageFile(session_.projectFolder());
  if (!path) return;
  // A saved frame has the project's size, whatever size the window shows it at.
  const ViewScale shown = view_.viewScale();
  const bool smaller = shown.factor(session_.project()) < 1.0;
  if (smaller) {
    view_.viewScale() = ViewScale{};
    view_.redraw(view_.currentTime());
  }
  const ScreenSaveResult saved =
      saveFrameToFile(*path, view_.canvas(), refuseGif_, debugLevel_, session_.log());
  if (smaller) {
    view_.viewScale() = shown;
    view_.redraw(view_.currentTime());
  }
  if (!saved.message.empty()) session_.port().notice(saved.message);
}

}  // namespace pelorix
