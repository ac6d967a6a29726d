#include "output/conversion_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/log_sink.h"
#include "base/paths.h"
#include "model/text_encoding.h"
#include "output/output_files.h"
#include "render/compositor.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

struct FrameResult {
  bool skipped = false;
  std::string path;
  std::vector<std::string> log;
  std::string failure;  // "Save image failed:..." when the frame could not be written
  DibImage frame;
};

// Collects the log lines of the frame a worker is making.
class FrameLog final : public LogSink {
 public:
  void appendLog(const std::string& line) override {
    if (lines) lines->push_back(line);
  }
  std::vector<std::string>* lines = nullptr;
};

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

struct ConversionEngine::Run {
  Run(ConversionListener& l) : listener(l) {}

  ConversionListener& listener;
  Project project;
  std::vector<int> layers;
  float totalTime = 0;
  std::vector<float> times;
  std::vector<int> indices;  // the frames of this run, in order
  std::string projectFolder;
  std::string folder;
  std::string baseName;
  std::string format;
  EncodeOptions encode;
  int jobs = 1;
  bool skipExisting = false;
  bool keepFrames = false;
  std::time_t started = 0;

  std::atomic<size_t> nextJob{0};
  std::atomic<bool> abortRequested{false};
  std::atomic<bool> failed{false};
  std::atomic<bool> active{true};

  std::mutex mutex;  // guards everything below and serialises the listener
  std::map<size_t, FrameResult> finishedJobs;
  std::vector<std::string> writtenAfterFailure;
  size_t nextToReport = 0;
  size_t done = 0;
  bool reportingEnded = false;
  std::string failure;

  void work();
  void deliver(size_t job, FrameResult result);
  void finish();
};

void ConversionEngine::Run::work() {
  FrameLog log;
  Compositor compositor(log);
  compositor.setProjectFolder(projectFolder);
  DibImage canvas;  // kept from frame to frame, so the compositor can reuse its memory
  for (;;) {
    if (abortRequested.load() || failed.load()) return;
    const size_t job = nextJob.fetch_add(1);
    if (job >= indices.size()) return;
    const int index = indices[job];
    FrameResult result;
    result.path = frameFileName(folder, baseName, index, format);
    if (skipExisting && fileExists(result.path)) {
      result.skipped = true;
    } else {
      log.lines = &result.log;
      if (!compositor.composeFrame(canvas, project, layers, times[static_cast<size_t>(index)]) &&
          !canvas.create(project.outputWidth, project.outputHeight, 24)) {
        // Nothing drew: the frame is black, when memory allows one at all.
        result.failure = saveFailedMessage(ImageError(
            E_OUTOFMEMORY,
            formatC("cannot make a %d x %d frame", project.outputWidth, project.outputHeight)));
      } else {
        const ImageError saved = canvas.save(result.path, encode);
        if (saved.failed()) result.failure = saveFailedMessage(saved);
      }
      log.lines = nullptr;
      if (keepFrames && result.failure.empty()) result.frame = std::move(canvas);
    }
    if (!result.failure.empty()) failed = true;
    deliver(job, std::move(result));
  }
}

// Reports finished frames in order, as far as they are contiguous.
void ConversionEngine::Run::deliver(size_t job, FrameResult result) {
  std::lock_guard lock(mutex);
  if (reportingEnded) {
    // A frame after a failed one: it must not stay on disk.
    if (result.failure.empty() && !result.skipped) writtenAfterFailure.push_back(result.path);
    return;
  }
  finishedJobs.emplace(job, std::move(result));
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
    ++done;
    const int index = indices[nextToReport];
    const double position = static_cast<double>(times[static_cast<size_t>(index)]) /
                            static_cast<double>(totalTime) * 30.0;
    listener.progress(truncToInt(position), static_cast<int>(done),
                      static_cast<int>(indices.size()));
    if (!frame.skipped)
      listener.frameWritten(index, frame.path, keepFrames ? &frame.frame : nullptr);
    finishedJobs.erase(it);
    ++nextToReport;
  }
}

void ConversionEngine::Run::finish() {
  std::lock_guard lock(mutex);
  for (const std::string& path : writtenAfterFailure)
    ::unlink(path.c_str());
  if (!failure.empty()) {
    listener.finished(ConversionOutcome::Failed, failure);
  } else if (abortRequested.load()) {
    listener.appendLog("中断しました。");
    listener.finished(ConversionOutcome::Aborted, {});
  } else {
    listener.appendLog(
        formatC("変換時間は%ld 秒", static_cast<long>(std::time(nullptr) - started)));
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
  auto run = std::make_unique<Run>(listener);
  run->format = settings.format.value_or(project.outputFormat);
  auto refuse = [&listener](const std::string& message) {
    listener.appendLog(message);
    listener.finished(ConversionOutcome::Refused, message);
    return false;
  };
  if (conversionRefusesGif(run->format, settings.refuseGif)) return refuse(kGifRefused);
  if (!(project.fps > 0.0f)) {
    return refuse(
        formatC("フレームレートが %.2f のため変換できません。", static_cast<double>(project.fps)));
  }
  run->projectFolder = settings.projectFolder;
  run->folder = joinPath(settings.projectFolder,
                         toFileSystemPath(settings.outputFolder.value_or(project.saveFolder)));
  if (const ImageError made = makeFolders(run->folder); made.failed()) {
    return refuse(saveFailedMessage(made));
  }
  removeStaleTemporaries(run->folder);  // left by renders that were killed
  run->project = project;
  const DrawList list = buildDrawList(project);
  run->layers = list.layers;
  run->totalTime = list.totalTime;
  run->times = conversionFrameTimes(list.totalTime, project.fps);
  run->baseName = toFileSystemPath(settings.baseName.value_or(project.saveFileName));
  run->encode = settings.encode;
  run->skipExisting = settings.skipExisting;
  run->keepFrames = settings.keepFrames;
  const int count = static_cast<int>(run->times.size());
  int first = 0, last = count - 1;
  if (settings.frames) {
    first = std::max(first, settings.frames->first);
    last = std::min(last, settings.frames->second);
  }
  for (int i = first; i <= last; ++i)
    run->indices.push_back(i);
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  run->jobs = settings.jobs > 0 ? settings.jobs : std::max(1, hardware);
  run->jobs = std::max(1, std::min<int>(run->jobs, static_cast<int>(run->indices.size())));
  listener.appendLog(totalTimeLine(list.totalTime, project.fps));
  run->started = std::time(nullptr);

  run_ = std::move(run);
  Run* active = run_.get();
  coordinator_ = std::thread([active] {
    std::vector<std::thread> workers;
    for (int i = 1; i < active->jobs; ++i)
      workers.emplace_back([active] { active->work(); });
    active->work();
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

}  // namespace pelorix
