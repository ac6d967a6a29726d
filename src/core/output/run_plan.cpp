// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/run_plan.h"

#include <climits>
#include <cstring>

#include <algorithm>
#include <map>
#include <thread>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "base/system_memory.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"
#include "model/text_encoding.h"
#include "output/formats.h"
#include "output/output_files.h"
#include "render/draw_list.h"
#include "render/layer_image_cache.h"
#include "render/picture_store.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

constexpr double kMiB = 1048576.0;

// The format of the run; a refusal text when there is none.
std::string chooseFormat(const Project& project, const ConversionSettings& settings,
                         const std::string& name, const OutputFormat*& format) {
  format = settings.oneFile ? oneFileFormatOfPath(*settings.oneFile)
                            : formatOfProject(name, (project.options & projectAnimatedFile) != 0);
  const bool oneFileGif = format && format->kind == OutputKind::OneFile && format->gif;
  if (conversionRefusesGif(name, settings.refuseGif) || (oneFileGif && settings.refuseGif)) {
    return _(kGifRefused);
  }
  if (!(project.fps > 0.0f)) {
    return formatC(_("フレームレートが %.2f のため変換できません。"),
                   static_cast<double>(project.fps));
  }
  if (settings.oneFile && !format) {
    return saveFailedMessage(ImageError(
        E_FAIL, formatC(_("not a one-file type (%s): %s"), formatNames(OutputKind::OneFile).c_str(),
                        settings.oneFile->c_str())));
  }
  if (!format) {
    return saveFailedMessage(
        ImageError(E_FAIL, name.empty() ? std::string("no image type: the output format is empty")
                                        : "no encoder for the extension ." + name));
  }
  if (const std::string problem = formatUnavailable(*format); !problem.empty()) {
    return saveFailedMessage(ImageError(E_FAIL, problem));
  }
  return {};
}

// What the format must hold: the frame size and rate, the CRF, a file where the output goes.
std::string checkLimits(const Project& project, const ConversionSettings& settings,
                        const RunPlan& plan, bool& badOption) {
  if (std::string problem = frameSizeProblem(project.outputWidth, project.outputHeight);
      !problem.empty()) {
    return problem;
  }
  const OutputFormat& format = *plan.format;
  if (std::string problem =
          formatCannotHold(format, project.outputWidth, project.outputHeight, project.fps);
      !problem.empty()) {
    return problem;
  }
  const int crf = settings.encode.crf;
  if (crf >= 0 && format.limits.maxCrf >= 0 && crf > format.limits.maxCrf) {
    badOption = true;
    return formatC(_("--crf of %s goes from 0 to %d, not %d"), _(format.label),
                   format.limits.maxCrf, crf);
  }
  return {};
}

// Where one file goes must be able to take it before the whole animation is made.
std::string checkTarget(const std::string& path) {
  if (const std::string reason = notAFileReason(path); !reason.empty()) {
    return formatC(_("%s には書き込めません: %s"), path.c_str(), reason.c_str());
  }
  const std::string name = fileNameOf(path);
  if (name.size() + std::strlen(kTemporaryPrefix) + 48 > NAME_MAX) {
    return formatC(_("ファイル名が長すぎます (%zu バイト、%d バイトまで): %s"), name.size(),
                   static_cast<int>(NAME_MAX - std::strlen(kTemporaryPrefix) - 48), name.c_str());
  }
  return {};
}

// The frame range of the run; a refusal text when it is empty or lies after the end.
std::string chooseFrames(const FrameCount& count, const ConversionSettings& settings, bool oneFile,
                         RunPlan& plan) {
  if (oneFile && count.frames == 0) return _("書き出す画面がありません。");
  if (oneFile && settings.skipExisting) {
    return _("--skip-existing resumes numbered frames; it cannot resume one file");
  }
  if (count.tooMany) {
    return formatC(_("画面数が %.0f あり、上限の %ld を超えるため変換できません。"), count.estimate,
                   kMaxConversionFrames);
  }
  plan.first = 0;
  plan.last = static_cast<int>(count.frames) - 1;
  if (settings.frames) {
    if (count.frames > 0 && settings.frames->first > plan.last) {
      return formatC(_("frames %d-%d lie after the last frame (%d)"), settings.frames->first,
                     settings.frames->second, plan.last);
    }
    plan.first = std::max(plan.first, settings.frames->first);
    plan.last = std::min(plan.last, settings.frames->second);
  }
  return {};
}

void choosePaths(const Project& project, const ConversionSettings& settings,
                 const std::string& name, RunPlan& plan) {
  plan.projectFolder = settings.projectFolder;
  plan.folder = joinPath(settings.projectFolder,
                         toFileSystemPath(settings.outputFolder.value_or(project.saveFolder)));
  plan.baseName = toFileSystemPath(settings.baseName.value_or(project.saveFileName));
  if (!plan.oneFile()) return;
  const std::string dot = name.rfind('.', 0) == 0 ? "" : ".";
  plan.oneFilePath = settings.oneFile ? joinPath(settings.projectFolder, *settings.oneFile)
                                      : joinPath(plan.folder, plan.baseName + dot + name);
  plan.folder = folderOf(plan.oneFilePath);
}

// Fewer workers, or none, when the run needs more memory than the machine has.
std::string chooseWorkers(const ConversionSettings& settings, RunPlan& plan,
                          std::vector<std::string>& log) {
  const int hardware = static_cast<int>(std::thread::hardware_concurrency());
  plan.jobs = settings.jobs > 0 ? settings.jobs : std::max(1, hardware);
  plan.jobs = std::max(1, std::min(plan.jobs, plan.frameCount()));
  const MemoryNeed need =
      estimateMemory(plan.project, plan.layers, settings.projectFolder, settings.keepFrames);
  const uint64_t available =
      settings.availableMemory ? settings.availableMemory : availableMemory();
  plan.memoryNeeded = need.total(plan.jobs);
  if (available == 0) return {};
  if (need.total(1) > available) return memoryProblem(need.total(1), available);
  if (need.total(plan.jobs) > available) {
    while (plan.jobs > 1 && need.total(plan.jobs) > available)
      --plan.jobs;
    plan.memoryNeeded = need.total(plan.jobs);
    log.push_back(formatC(_("メモリが足りないため、%d 本のスレッドで変換します (約 %.0f MB)。"),
                          plan.jobs, static_cast<double>(plan.memoryNeeded) / kMiB));
  }
  return {};
}

}  // namespace

std::string frameSizeProblem(int width, int height) {
  if (width <= 0 || height <= 0) {
    return formatC(_("画面の大きさが %d x %d です。幅と高さは 1 以上にしてください。"), width,
                   height);
  }
  if (!withinImageLimits(width, height)) {
    const ImageLimits limits = imageLimits();
    return formatC(_("画面の大きさ %d x %d は大きすぎます (縦横 %d ピクセル、%llu 画素まで)。"),
                   width, height, limits.maxSide,
                   static_cast<unsigned long long>(limits.maxPixels));
  }
  return {};
}

bool RunPlan::oneFile() const {
  return format && format->kind == OutputKind::OneFile;
}

namespace {

// The decoded size of each picture, read from the files' headers once.
class PictureSizes {
 public:
  explicit PictureSizes(std::string folder) : folder_(std::move(folder)) {}
  // Bytes of the picture a source shows, and its resolved path.
  uint64_t bytes(const Source& source, std::string* path = nullptr) {
    const std::string resolved = resolveImagePath(source.file, folder_);
    if (path) *path = resolved;
    auto known = sizes_.find(resolved);
    if (known == sizes_.end()) {
      int width = 0, height = 0;
      const uint64_t size = probeImageSize(resolved, width, height)
                                ? static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4
                                : 0;
      known = sizes_.emplace(resolved, size).first;
    }
    return known->second;
  }

 private:
  std::string folder_;
  std::map<std::string, uint64_t> sizes_;
};

uint64_t frameBytes(const Project& project) {
  return static_cast<uint64_t>(std::max(0, project.outputWidth)) *
         static_cast<uint64_t>(std::max(0, project.outputHeight)) * 4;
}

}  // namespace

MemoryNeed estimateMemory(const Project& project, const std::vector<int>& layers,
                          const std::string& projectFolder, bool keepFrames) {
  // Two bounds, the smaller counts: every picture once (layers share pictures), or each layer's
  // largest twice (a layer holds one picture, and may hold the next while the last is drawn).
  PictureSizes sizes(projectFolder);
  std::map<std::string, uint64_t> distinct;
  uint64_t perLayer = 0;
  for (int index : layers) {
    uint64_t largest = 0;
    for (const Source& source : project.layers[static_cast<size_t>(index)].sources) {
      std::string path;
      const uint64_t bytes = sizes.bytes(source, &path);
      distinct[path] = bytes;
      largest = std::max(largest, bytes);
    }
    perLayer += 2 * largest;
  }
  uint64_t once = 0;
  bool moving = false;
  for (const auto& [path, bytes] : distinct) {
    once += bytes;
    moving = moving || mayMove(path);
  }
  MemoryNeed need;
  // Moving pictures keep recent frames besides: the store's budget.
  need.pictures = std::min(once, perLayer) + (moving ? PictureStore::kDefaultFrameBudget : 0);
  need.perWorker = frameBytes(project) * (keepFrames ? 5 : 4) + (8u << 20);
  return need;
}

uint64_t frameMemoryNeed(const Project& project, const std::vector<int>& layers, float t,
                         const std::string& projectFolder) {
  PictureSizes sizes(projectFolder);
  std::map<std::string, uint64_t> shown;
  for (int index : layers) {
    const CurrentSource current = currentSourceAt(project, index, t);
    if (!current.found()) continue;
    std::string path;
    const Source& source =
        project.layers[static_cast<size_t>(index)].sources[static_cast<size_t>(current.index)];
    const uint64_t bytes = sizes.bytes(source, &path);
    shown[path] = bytes;
  }
  uint64_t need = 2 * frameBytes(project) + (8u << 20);
  for (const auto& [path, bytes] : shown)
    need += bytes;
  return need;
}

std::string memoryProblem(uint64_t needed, uint64_t available) {
  if (available == 0) available = availableMemory();
  if (available == 0 || needed <= available) return {};
  return formatC(_("この変換には約 %.0f MB のメモリが必要ですが、使えるのは %.0f MB です。"),
                 static_cast<double>(needed) / kMiB, static_cast<double>(available) / kMiB);
}

PlanOutcome planRun(const Project& project, const ConversionSettings& settings) {
  PlanOutcome outcome;
  const DrawList list = buildDrawList(project);
  const std::string name = settings.format.value_or(project.outputFormat);
  RunPlan plan;
  outcome.refusal = chooseFormat(project, settings, name, plan.format);
  if (!outcome.refusal.empty()) return outcome;
  // Counted without listing the times: a huge count is refused before any memory is used.
  const FrameCount count = countConversionFrames(list.totalTime, project.fps);
  outcome.refusal = chooseFrames(count, settings, plan.oneFile(), plan);
  if (!outcome.refusal.empty()) return outcome;
  outcome.refusal = checkLimits(project, settings, plan, outcome.badOption);
  if (!outcome.refusal.empty()) return outcome;
  choosePaths(project, settings, name, plan);
  if (plan.oneFile()) outcome.refusal = checkTarget(plan.oneFilePath);
  if (!outcome.refusal.empty()) return outcome;
  plan.project = project;
  if (settings.transparentBackground) {
    plan.project.options = *settings.transparentBackground
                               ? plan.project.options | projectTransparentBackground
                               : plan.project.options & ~projectTransparentBackground;
  }
  plan.layers = list.layers;
  plan.totalTime = list.totalTime;
  plan.encode = settings.encode;
  plan.skipExisting = settings.skipExisting;
  plan.keepFrames = settings.keepFrames;
  outcome.log.push_back(totalTimeLine(list.totalTime, project.fps));
  outcome.refusal = chooseWorkers(settings, plan, outcome.log);
  if (outcome.refusal.empty()) outcome.plan = std::move(plan);
  return outcome;
}

}  // namespace pelorix
