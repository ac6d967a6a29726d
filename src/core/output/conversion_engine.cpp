// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/conversion_engine.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/log_sink.h"
#include "base/paths.h"
#include "imageio/codec.h"
#include "output/animation_writer.h"
#include "output/formats.h"
#include "output/output_files.h"
#include "output/parts.h"
#include "output/writers.h"
#include "render/compositor.h"
#include "render/layer_image_cache.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

struct FrameJob {
  int index = 0;
  float time = 0.0f;
};

struct FrameResult {
  FrameJob job;
  bool skipped = false;
  std::string path;
  std::vector<std::string> log;
  std::vector<MissingPicture> missing;
  std::string failure;  // "Save image failed:..." when the frame could not be written
  DibImage frame;
  std::unique_ptr<PreparedFrame> prepared;  // one-file output: ready for the writer
};

// Collects the log lines of the frame a worker is making.
class FrameLog final : public LogSink {
 public:
  void appendLog(const std::string& line) override {
    if (lines) lines->push_back(line);
  }
  std::vector<std::string>* lines = nullptr;
};

}  // namespace

struct ConversionEngine::Run {
  Run(ConversionListener& l, RunPlan p)
      : listener(l), plan(std::move(p)), clock(plan.totalTime, plan.project.fps, plan.spacing) {}

  ConversionListener& listener;
  RunPlan plan;
  std::time_t started = 0;

  PictureStore pictures{true};  // decoded once for all workers, reported once per run

  // One-file output: the writer, its file, and how far the workers may run ahead of it.
  std::unique_ptr<AnimationWriter> writer;
  int maxAhead = 0;
  int workersRunning = 0;
  std::condition_variable progressed;  // a frame was delivered, written, or a worker ended

  std::atomic<bool> abortRequested{false};
  std::atomic<bool> failed{false};
  std::atomic<bool> active{true};

  std::mutex jobMutex;  // guards the clock and the next index
  FrameClock clock;
  int nextIndex = 0;

  std::mutex mutex;  // guards everything below and serialises the listener
  std::map<int, FrameResult> finishedJobs;
  std::vector<std::string> writtenAfterFailure;
  int nextToReport = 0;
  bool reportingEnded = false;
  std::string failure;
  ConversionSummary summary;
  bool finishing = false;  // the writer is completing the file

  bool nextJob(FrameJob& job);
  void work();
  void deliver(FrameResult result);
  void writeFrames();
  void report(FrameResult& frame);
  void finish();
  // A format that describes the project: every frame counts as done, and the writer's finish()
  // writes the file.
  void describeProject();
  // Says once what went wrong with the sound track.
  void reportAudio();
};

bool ConversionEngine::Run::nextJob(FrameJob& job) {
  if (abortRequested.load() || failed.load()) return false;
  if (writer) {
    // Composed frames wait for the writer: no more of them than maxAhead.
    std::unique_lock lock(mutex);
    progressed.wait(lock, [this] {
      std::lock_guard handedOut(jobMutex);
      return abortRequested.load() || failed.load() || nextIndex - nextToReport < maxAhead;
    });
    if (abortRequested.load() || failed.load()) return false;
  }
  std::lock_guard lock(jobMutex);
  if (nextIndex > plan.last || !clock.next(job.time)) return false;
  job.index = nextIndex++;
  return true;
}

void ConversionEngine::Run::work() {
  FrameLog log;
  Compositor compositor(log);
  compositor.setProjectFolder(plan.projectFolder);
  compositor.setPictureStore(&pictures);
  DibImage canvas;  // kept from frame to frame, so the compositor can reuse its memory
  FrameJob job;
  while (nextJob(job)) {
    FrameResult result;
    result.job = job;
    result.path = writer ? plan.oneFilePath : plan.framePath(job.index);
    if (plan.skipExisting && fileExists(result.path)) {
      result.skipped = true;
    } else {
      log.lines = &result.log;
      const Project& project = plan.project;
      if (!compositor.composeFrame(canvas, project, plan.layers, job.time) &&
          !compositor.makeBlankFrame(canvas, project)) {
        // Nothing drew: the frame is black, when memory allows one at all.
        result.failure = saveFailedMessage(ImageError(
            E_OUTOFMEMORY,
            formatC("cannot make a %d x %d frame", project.outputWidth, project.outputHeight)));
        if (writer) writer->frameLost(job.index);
      } else if (writer) {
        const ImageError prepared = writer->prepare(canvas, job.index, result.prepared);
        if (prepared.failed()) result.failure = saveFailedMessage(prepared);
      } else {
        const ImageError saved = canvas.save(result.path, plan.format->codec(), plan.encode);
        if (saved.failed()) result.failure = saveFailedMessage(saved);
      }
      log.lines = nullptr;
      result.missing = compositor.missingPictures();
      if (plan.keepFrames && result.failure.empty()) result.frame = std::move(canvas);
    }
    if (!result.failure.empty() && !writer) failed = true;
    deliver(std::move(result));
  }
  std::lock_guard lock(mutex);
  --workersRunning;
  progressed.notify_all();
}

// Reports finished frames in order, as far as they are contiguous; with one-file output they
// wait for writeFrames() instead.
void ConversionEngine::Run::deliver(FrameResult result) {
  std::lock_guard lock(mutex);
  if (writer) {
    const int index = result.job.index;
    finishedJobs.emplace(index, std::move(result));
    progressed.notify_all();
    return;
  }
  if (reportingEnded) {
    // A frame after a failed one: it must not stay on disk.
    if (result.failure.empty() && !result.skipped) writtenAfterFailure.push_back(result.path);
    return;
  }
  const int index = result.job.index;
  finishedJobs.emplace(index, std::move(result));
  for (auto it = finishedJobs.find(nextToReport); it != finishedJobs.end();
       it = finishedJobs.find(nextToReport)) {
    FrameResult& frame = it->second;
    for (const std::string& line : frame.log)
      listener.appendLog(line);
    if (!frame.failure.empty()) {
      failure = frame.failure;
      listener.appendLog(failure);
      reportingEnded = true;
      for (auto& [later, pending] : finishedJobs) {
        if (later > nextToReport && pending.failure.empty() && !pending.skipped) {
          writtenAfterFailure.push_back(pending.path);
        }
      }
      finishedJobs.clear();
      return;
    }
    report(frame);
    finishedJobs.erase(it);
    ++nextToReport;
  }
}

// The reports of a frame that is written (or skipped); called in frame order.
void ConversionEngine::Run::report(FrameResult& frame) {
  ++summary.frames;
  if (!frame.missing.empty()) ++summary.framesWithMissingPictures;
  for (const MissingPicture& picture : frame.missing) {
    auto known =
        std::find_if(summary.missing.begin(), summary.missing.end(),
                     [&picture](const ConversionSummary::Missing& m) {
                       return m.layerNumber == picture.layerNumber && m.file == picture.file;
                     });
    if (known == summary.missing.end()) {
      summary.missing.push_back({picture.layerNumber, picture.file, 1});
    } else {
      ++known->frames;
    }
  }
  const double position =
      static_cast<double>(frame.job.time) / static_cast<double>(plan.totalTime) * kProgressSteps;
  listener.progress(truncToInt(position), summary.frames, plan.frameCount());
  if (!frame.skipped)
    listener.frameWritten(frame.job.index, frame.path, plan.keepFrames ? &frame.frame : nullptr);
}

// One-file output: takes the prepared frames in order and writes them, while the workers make
// the next ones.
void ConversionEngine::Run::writeFrames() {
  std::unique_lock lock(mutex);
  for (;;) {
    progressed.wait(
        lock, [this] { return finishedJobs.count(nextToReport) != 0 || workersRunning == 0; });
    auto it = finishedJobs.find(nextToReport);
    if (it == finishedJobs.end()) return;  // the workers stopped (end, abort or failure)
    FrameResult frame = std::move(it->second);
    finishedJobs.erase(it);
    for (const std::string& line : frame.log)
      listener.appendLog(line);
    if (frame.failure.empty()) {
      lock.unlock();
      const ImageError written = writer->write(std::move(frame.prepared));
      lock.lock();
      if (written.failed()) frame.failure = saveFailedMessage(written);
    }
    if (!frame.failure.empty()) {
      failure = frame.failure;
      listener.appendLog(failure);
      failed = true;
      finishedJobs.clear();
      progressed.notify_all();
      return;
    }
    report(frame);
    ++nextToReport;
    progressed.notify_all();
  }
}

void ConversionEngine::Run::reportAudio() {
  const std::string problem = writer ? writer->audioProblem() : std::string();
  if (problem.empty() || problem == summary.audioProblem) return;
  // At the start the sound is left out; later (damage on the way) it is partly silent.
  listener.appendLog(
      formatC(summary.frames == 0 && !finishing
                  ? _("音声を入れられません (%s)。動画は音声なしで書き出します。")
                  : _("音声の一部が読めません (%s)。読めない所から後は無音になります。"),
              problem.c_str()));
  summary.audioProblem = problem;
}

void ConversionEngine::Run::describeProject() {
  {
    std::lock_guard lock(mutex);
    nextToReport = plan.last + 1;
    summary.frames = plan.frameCount();
    workersRunning = 0;
  }
  listener.progress(kProgressSteps - 1, plan.frameCount(), plan.frameCount());
  finish();
}

void ConversionEngine::Run::finish() {
  std::lock_guard lock(mutex);
  for (const std::string& path : writtenAfterFailure)
    ::unlink(path.c_str());
  // An abort that comes when every frame is written changes nothing: the run is complete.
  const bool everyFrame = nextToReport == plan.last + 1;
  bool aborted = abortRequested.load() && !everyFrame;
  if (writer) {
    // The file is complete only with every frame; anything else is removed, and said so.
    if (failure.empty() && everyFrame) {
      finishing = true;
      listener.finishing();
      const ImageError finished = writer->finish();
      for (const std::string& line : writer->takeLog())
        listener.appendLog(line);
      if (finished.failed() && abortRequested.load()) {
        aborted = true;  // stopped while the file's end was written
      } else if (finished.failed()) {
        failure = saveFailedMessage(finished);
        listener.appendLog(failure);
      }
    }
    if (!failure.empty() || !everyFrame || aborted) {
      writer.reset();
      if (!plan.toStandardOutput()) {
        listener.appendLog(
            formatC(_("未完成のファイル %s を削除しました。"), plan.oneFilePath.c_str()));
      }
    } else {
      reportAudio();
    }
  }
  if (clock.stalled()) {
    summary.stalled = true;
    listener.appendLog(
        formatC(_("%.2f 秒より先はフレームの時刻が進まないため、%d 画面で打ち切りました。"),
                static_cast<double>(clock.stalledAt()), nextToReport));
  }
  if (!failure.empty()) {
    listener.finished(ConversionOutcome::Failed, failure);
  } else if (aborted) {
    listener.appendLog(_("中断しました。"));
    listener.finished(ConversionOutcome::Aborted, {});
  } else {
    listener.appendLog(
        formatC(_("変換時間は%ld 秒"), static_cast<long>(std::time(nullptr) - started)));
    listener.finished(ConversionOutcome::Completed, {});
  }
  active = false;
}

ConversionEngine::ConversionEngine() = default;

ConversionEngine::~ConversionEngine() {
  abort();
  wait();
}

void reportRefusal(const PlanOutcome& planned, ConversionListener& listener) {
  for (const std::string& line : planned.log)
    listener.appendLog(line);
  listener.appendLog(planned.refusal);
  listener.finished(ConversionOutcome::Refused, planned.refusal);
}

bool ConversionEngine::start(const Project& project, const ConversionSettings& settings,
                             ConversionListener& listener) {
  wait();
  PlanOutcome planned = planRun(project, settings);
  if (!planned.plan) {
    reportRefusal(planned, listener);
    return false;
  }
  return launch(std::move(*planned.plan), std::move(planned.log), listener);
}

bool ConversionEngine::launch(RunPlan plan, std::vector<std::string> log,
                              ConversionListener& listener) {
  wait();
  auto refuse = [&listener](const std::string& message) {
    listener.appendLog(message);
    listener.finished(ConversionOutcome::Refused, message);
    return false;
  };
  if (FileError error; !makeFolders(plan.folder, &error)) {
    return refuse(saveFailedMessage(ImageError(E_FAIL, error.message)));
  }
  // Left by renders that were killed: here, and where a linked output file really is.
  if (!plan.toStandardOutput()) {
    removeStaleTemporaries(plan.folder);
    if (plan.oneFile()) removeStaleTemporaries(folderOf(resolveSymlinks(plan.oneFilePath)));
  }
  for (const std::string& line : log)
    listener.appendLog(line);
  auto run = std::make_unique<Run>(listener, std::move(plan));
  const RunPlan& p = run->plan;
  if (p.oneFile()) {
    run->writer =
        p.format->makeWriter ? p.format->makeWriter(*p.format) : makeSeriesStreamWriter(*p.format);
    AnimationSettings animation;
    animation.path = p.oneFilePath;
    animation.width = p.project.outputWidth;
    animation.height = p.project.outputHeight;
    animation.fps = p.project.fps;
    animation.frames = p.frameCount();
    animation.transparent = (p.project.options & projectTransparentBackground) != 0 &&
                            keepsTransparency(*p.format, p.encode);
    animation.encode = p.encode;
    animation.firstIndex = p.first;
    animation.totalFrames = p.totalFrames;
    animation.audio = p.audio;
    animation.stop = &run->abortRequested;
    animation.project = &p.project;
    animation.projectFolder = p.projectFolder;
    if (!p.toStandardOutput()) animation.partComment = partComment(partTagOf(p));
    if (const ImageError opened = run->writer->open(animation); opened.failed()) {
      run->writer.reset();
      return refuse(saveFailedMessage(opened));
    }
    run->reportAudio();
    run->maxAhead = 2 * p.jobs + 2;
  }
  // The clock starts at the first frame of the range; the frames before it are only counted.
  float skipped = 0.0f;
  for (int i = 0; i < p.first && run->clock.next(skipped); ++i) {
  }
  run->nextIndex = p.first;
  run->nextToReport = p.first;
  run->started = std::time(nullptr);

  run_ = std::move(run);
  Run* active = run_.get();
  active->workersRunning = active->plan.jobs;
  coordinator_ = std::thread([active] {
    if (active->plan.format->wholeProject) {
      active->describeProject();
      return;
    }
    std::vector<std::thread> workers;
    // With one output file this thread writes it while the workers compose ahead.
    const int extra = active->writer ? active->plan.jobs : active->plan.jobs - 1;
    for (int i = 0; i < extra; ++i)
      workers.emplace_back([active] { active->work(); });
    if (active->writer) {
      active->writeFrames();
    } else {
      active->work();
    }
    for (std::thread& worker : workers)
      worker.join();
    active->finish();
  });
  return true;
}

void ConversionEngine::abort() {
  if (run_) run_->abortRequested = true;
}

void ConversionEngine::wait() {
  if (coordinator_.joinable()) coordinator_.join();
}

bool ConversionEngine::running() const {
  return run_ && run_->active.load();
}

ConversionSummary ConversionEngine::summary() const {
  if (!run_) return {};
  std::lock_guard lock(run_->mutex);
  return run_->summary;
}

}  // namespace pelorix
