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
#include "base/system_memory.h"
#include "imageio/codec.h"
#include "model/text_encoding.h"
#include "output/animation_writer.h"
#include "output/output_files.h"
#include "render/compositor.h"
#include "render/draw_list.h"
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

struct MemoryNeed {
  uint64_t pictures = 0;
  uint64_t perWorker = 0;
};

// The largest picture of each drawn layer, twice (a worker may hold the next one while another
// still draws the last), plus per worker five frames of the output size.
MemoryNeed estimateMemory(const Project& project, const std::vector<int>& layers,
                          const std::string& projectFolder, bool keepFrames) {
  MemoryNeed need;
  std::map<std::string, uint64_t> sizes;
  for (int index : layers) {
    uint64_t largest = 0;
    for (const Source& source : project.layers[static_cast<size_t>(index)].sources) {
      const std::string path = resolveImagePath(source.file, projectFolder);
      auto known = sizes.find(path);
      if (known == sizes.end()) {
        int width = 0, height = 0;
        const uint64_t bytes =
            probeImageSize(path, width, height)
                ? static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4
                : 0;
        known = sizes.emplace(path, bytes).first;
      }
      largest = std::max(largest, known->second);
    }
    need.pictures += 2 * largest;
  }
  const uint64_t frame = static_cast<uint64_t>(std::max(0, project.outputWidth)) *
                         static_cast<uint64_t>(std::max(0, project.outputHeight)) * 4;
  need.perWorker = frame * (keepFrames ? 5 : 4) + (8u << 20);
  return need;
}

}  // namespace

struct ConversionEngine::Run {
  Run(ConversionListener& l, float length, float fps) : listener(l), clock(length, fps) {}

  ConversionListener& listener;
  Project project;
  std::vector<int> layers;
  float totalTime = 0;
  std::string projectFolder;
  std::string folder;
  std::string baseName;
  std::string format;
  EncodeOptions encode;
  int jobs = 1;
  int first = 0;  // the frames of this run, inclusive
  int last = -1;
  bool skipExisting = false;
  bool keepFrames = false;
  std::time_t started = 0;

  PictureStore pictures{true};  // decoded once for all workers, reported once per run

  // One-file output: the writer, its file, and how far the workers may run ahead of it.
  std::unique_ptr<AnimationWriter> writer;
  std::string oneFilePath;
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

  bool nextJob(FrameJob& job);
  void work();
  void deliver(FrameResult result);
  void writeFrames();
  void report(FrameResult& frame);
  void finish();
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
  if (nextIndex > last || !clock.next(job.time)) return false;
  job.index = nextIndex++;
  return true;
}

void ConversionEngine::Run::work() {
  FrameLog log;
  Compositor compositor(log);
  compositor.setProjectFolder(projectFolder);
  compositor.setPictureStore(&pictures);
  DibImage canvas;  // kept from frame to frame, so the compositor can reuse its memory
  FrameJob job;
  while (nextJob(job)) {
    FrameResult result;
    result.job = job;
    result.path = writer ? oneFilePath : frameFileName(folder, baseName, job.index, format);
    if (skipExisting && fileExists(result.path)) {
      result.skipped = true;
    } else {
      log.lines = &result.log;
      if (!compositor.composeFrame(canvas, project, layers, job.time) &&
          !compositor.makeBlankFrame(canvas, project)) {
        // Nothing drew: the frame is black, when memory allows one at all.
        result.failure = saveFailedMessage(ImageError(
            E_OUTOFMEMORY,
            formatC("cannot make a %d x %d frame", project.outputWidth, project.outputHeight)));
      } else if (writer) {
        const ImageError prepared = writer->prepare(canvas, result.prepared);
        if (prepared.failed()) result.failure = saveFailedMessage(prepared);
      } else {
        const ImageError saved = canvas.save(result.path, encode);
        if (saved.failed()) result.failure = saveFailedMessage(saved);
      }
      log.lines = nullptr;
      result.missing = compositor.missingPictures();
      if (keepFrames && result.failure.empty()) result.frame = std::move(canvas);
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
      static_cast<double>(frame.job.time) / static_cast<double>(totalTime) * 30.0;
  listener.progress(truncToInt(position), summary.frames, last - first + 1);
  if (!frame.skipped)
    listener.frameWritten(frame.job.index, frame.path, keepFrames ? &frame.frame : nullptr);
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

void ConversionEngine::Run::finish() {
  std::lock_guard lock(mutex);
  for (const std::string& path : writtenAfterFailure)
    ::unlink(path.c_str());
  if (writer) {
    // The file is complete only with every frame; anything else is removed, and said so.
    if (failure.empty() && !abortRequested.load() && nextToReport == last + 1) {
      const ImageError finished = writer->finish();
      if (finished.failed()) {
        failure = saveFailedMessage(finished);
        listener.appendLog(failure);
      }
    }
    if (!failure.empty() || abortRequested.load() || nextToReport != last + 1) {
      writer.reset();
      listener.appendLog(formatC(_("未完成のファイル %s を削除しました。"), oneFilePath.c_str()));
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
  } else if (abortRequested.load()) {
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

bool ConversionEngine::start(const Project& project, const ConversionSettings& settings,
                             ConversionListener& listener) {
  wait();
  const DrawList list = buildDrawList(project);
  auto run = std::make_unique<Run>(listener, list.totalTime, project.fps);
  run->format = settings.format.value_or(project.outputFormat);
  auto refuse = [&listener](const std::string& message) {
    listener.appendLog(message);
    listener.finished(ConversionOutcome::Refused, message);
    return false;
  };
  const OneFileType oneFile =
      settings.oneFile ? oneFileTypeOfPath(*settings.oneFile)
                       : oneFileType(run->format, (project.options & projectAnimatedFile) != 0);
  if (conversionRefusesGif(run->format, settings.refuseGif) ||
      (oneFile == OneFileType::Gif && settings.refuseGif)) {
    return refuse(_(kGifRefused));
  }
  if (!(project.fps > 0.0f)) {
    return refuse(formatC(_("フレームレートが %.2f のため変換できません。"),
                          static_cast<double>(project.fps)));
  }
  if (settings.oneFile && oneFile == OneFileType::None) {
    return refuse(saveFailedMessage(ImageError(
        E_FAIL, formatC(_("not a one-file type (gif, webp, apng, mp4, webm, mov, mkv): %s"),
                        settings.oneFile->c_str()))));
  }
  if (oneFile != OneFileType::None &&
      countConversionFrames(list.totalTime, project.fps).frames == 0) {
    return refuse(_("書き出す画面がありません。"));
  }
  if (oneFile != OneFileType::None && settings.skipExisting) {
    return refuse(_("--skip-existing resumes numbered frames; it cannot resume one file"));
  }
  // An unknown type is refused before anything is made on disk.
  if (oneFile == OneFileType::None && !codecForExtension(run->format)) {
    return refuse(saveFailedMessage(ImageError(
        E_FAIL, run->format.empty() ? std::string("no image type: the output format is empty")
                                    : "no encoder for the extension ." + run->format)));
  }
  // Counted without listing the times: a huge count is refused before any memory is used.
  const FrameCount count = countConversionFrames(list.totalTime, project.fps);
  if (count.tooMany) {
    return refuse(formatC(_("画面数が %.0f あり、上限の %ld を超えるため変換できません。"),
                          count.estimate, kMaxConversionFrames));
  }
  run->first = 0;
  run->last = static_cast<int>(count.frames) - 1;
  if (settings.frames) {
    if (count.frames > 0 && settings.frames->first > run->last) {
      return refuse(formatC(_("frames %d-%d lie after the last frame (%d)"), settings.frames->first,
                            settings.frames->second, run->last));
    }
    run->first = std::max(run->first, settings.frames->first);
    run->last = std::min(run->last, settings.frames->second);
  }
  run->projectFolder = settings.projectFolder;
  run->folder = joinPath(settings.projectFolder,
                         toFileSystemPath(settings.outputFolder.value_or(project.saveFolder)));
  run->baseName = toFileSystemPath(settings.baseName.value_or(project.saveFileName));
  if (oneFile != OneFileType::None) {
    const std::string dot = run->format.rfind('.', 0) == 0 ? "" : ".";
    run->oneFilePath = settings.oneFile ? joinPath(settings.projectFolder, *settings.oneFile)
                                        : joinPath(run->folder, run->baseName + dot + run->format);
    run->folder = folderOf(run->oneFilePath);
  }
  if (const ImageError made = makeFolders(run->folder); made.failed()) {
    return refuse(saveFailedMessage(made));
  }
  removeStaleTemporaries(run->folder);  // left by renders that were killed
  run->project = project;
  if (settings.transparentBackground) {
    run->project.options = *settings.transparentBackground
                               ? run->project.options | projectTransparentBackground
                               : run->project.options & ~projectTransparentBackground;
  }
  run->layers = list.layers;
  run->totalTime = list.totalTime;
  run->encode = settings.encode;
  run->skipExisting = settings.skipExisting;
  run->keepFrames = settings.keepFrames;
  // The clock starts at the first frame of the range; the frames before it are only counted.
  float skipped = 0.0f;
  for (int i = 0; i < run->first && run->clock.next(skipped); ++i) {
  }
  run->nextIndex = run->first;
  run->nextToReport = run->first;
  const int frames = std::max(0, run->last - run->first + 1);
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  run->jobs = settings.jobs > 0 ? settings.jobs : std::max(1, hardware);
  run->jobs = std::max(1, std::min(run->jobs, frames));
  listener.appendLog(totalTimeLine(list.totalTime, project.fps));
  // Memory: the pictures once, and per worker the frames it holds (canvas, the canvas kept for
  // reuse, encoder buffers and, for the preview, a copy). Fewer workers, or none, when that is
  // more than the machine has.
  const MemoryNeed need =
      estimateMemory(project, list.layers, settings.projectFolder, settings.keepFrames);
  const uint64_t available =
      settings.availableMemory ? settings.availableMemory : availableMemory();
  if (available > 0) {
    const auto total = [&need](int jobs) {
      return need.pictures + static_cast<uint64_t>(jobs) * need.perWorker;
    };
    if (total(1) > available) {
      return refuse(formatC(
          _("この変換には約 %.0f MB のメモリが必要ですが、使えるのは %.0f MB です。"),
          static_cast<double>(total(1)) / 1048576.0, static_cast<double>(available) / 1048576.0));
    }
    if (total(run->jobs) > available) {
      while (run->jobs > 1 && total(run->jobs) > available)
        --run->jobs;
      listener.appendLog(
          formatC(_("メモリが足りないため、%d 本のスレッドで変換します (約 %.0f MB)。"), run->jobs,
                  static_cast<double>(total(run->jobs)) / 1048576.0));
    }
  }
  if (oneFile != OneFileType::None) {
    run->writer = makeAnimationWriter(oneFile);
    AnimationSettings animation;
    animation.path = run->oneFilePath;
    animation.width = project.outputWidth;
    animation.height = project.outputHeight;
    animation.fps = project.fps;
    animation.frames = frames;
    animation.transparent = (run->project.options & projectTransparentBackground) != 0;
    animation.encode = settings.encode;
    if (const ImageError opened = run->writer->open(animation); opened.failed()) {
      run->writer.reset();
      return refuse(saveFailedMessage(opened));
    }
    run->maxAhead = 2 * run->jobs + 2;
  }
  run->started = std::time(nullptr);

  run_ = std::move(run);
  Run* active = run_.get();
  active->workersRunning = active->jobs;
  coordinator_ = std::thread([active] {
    std::vector<std::thread> workers;
    // With one output file this thread writes it while the workers compose ahead.
    const int extra = active->writer ? active->jobs : active->jobs - 1;
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
