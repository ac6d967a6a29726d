// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/run_plan.h"

#include <algorithm>
#include <map>
#include <thread>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "base/system_memory.h"
#include "imageio/codec.h"
#include "model/text_encoding.h"
#include "output/formats.h"
#include "output/output_files.h"
#include "render/draw_list.h"
#include "render/layer_image_cache.h"
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
  if (need.total(1) > available) {
    return formatC(_("この変換には約 %.0f MB のメモリが必要ですが、使えるのは %.0f MB です。"),
                   static_cast<double>(need.total(1)) / kMiB,
                   static_cast<double>(available) / kMiB);
  }
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

bool RunPlan::oneFile() const {
  return format && format->kind == OutputKind::OneFile;
}

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
  choosePaths(project, settings, name, plan);
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
