// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/run_plan.h"

#include <climits>
#include <cmath>
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

bool toStandardOutput(const ConversionSettings& settings) {
  return settings.oneFile && *settings.oneFile == "-";
}

// The names of the formats that can go to standard output.
std::string streamNames() {
  std::string names;
  for (const OutputFormat& format : outputFormats()) {
    if (!format.stream) continue;
    if (!names.empty()) names += ", ";
    names += format.name;
  }
  return names;
}

// The format of the run; a refusal text when there is none.
std::string chooseFormat(const Project& project, const ConversionSettings& settings,
                         const std::string& name, const OutputFormat*& format, bool& badOption) {
  const bool animated = (project.options & projectAnimatedFile) != 0;
  format = settings.oneFile && !toStandardOutput(settings) ? oneFileFormatOfPath(*settings.oneFile)
                                                           : formatOfProject(name, animated);
  if (toStandardOutput(settings) && !(format && format->stream)) {
    // A stream type of that name (png is a series, not an animated PNG).
    const OutputFormat* series = findOutputFormat(name, OutputKind::Series);
    format = series && series->stream ? series : nullptr;
    if (!format) {
      badOption = true;
      return formatC(_("standard output takes %s (--format), not %s"), streamNames().c_str(),
                     name.empty() ? "-" : name.c_str());
    }
  }
  const bool oneFileGif = format && format->kind == OutputKind::OneFile && format->gif;
  if (gifRefused(name, settings.refuseGif) || (oneFileGif && settings.refuseGif)) {
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
  const VideoCodec* codec = format.videoCodec(settings.encode.codec);
  const int crf = settings.encode.crf;
  if (codec && crf >= 0 && codec->maxCrf >= 0 && crf > codec->maxCrf) {
    badOption = true;
    return formatC(_("--crf of %s goes from 0 to %d, not %d"), codec->label, codec->maxCrf, crf);
  }
  if (codec && (project.outputWidth < codec->minSide || project.outputHeight < codec->minSide)) {
    return formatC(_("%s の画面は縦横 %d ピクセル以上です (%d x %d は書けません)。"), codec->label,
                   codec->minSide, project.outputWidth, project.outputHeight);
  }
  return {};
}

// The project as the run composes it: another background, frame rate or size.
std::string applyOverrides(const ConversionSettings& settings, Project& project) {
  if (settings.transparentBackground) {
    project.options = *settings.transparentBackground
                          ? project.options | projectTransparentBackground
                          : project.options & ~projectTransparentBackground;
  }
  if (settings.fps) {
    if (!(*settings.fps > 0.0f) || !std::isfinite(*settings.fps)) {
      return formatC(_("--fps must be a positive number, not %g"),
                     static_cast<double>(*settings.fps));
    }
    project.fps = *settings.fps;
  }
  double factor = 1.0;
  if (settings.scale) {
    factor = *settings.scale;
    if (!(factor > 0.0) || !std::isfinite(factor)) {
      return formatC(_("--scale must be a positive number, not %g"), factor);
    }
    const double width = std::round(project.outputWidth * factor);
    const double height = std::round(project.outputHeight * factor);
    if (!(width >= 1.0 && height >= 1.0 && width <= 65535.0 && height <= 65535.0)) {
      return formatC(_("--scale %g makes a frame of %.0f x %.0f pixels; a side goes from 1 to "
                       "65535"),
                     factor, width, height);
    }
    project.outputWidth = static_cast<int>(width);
    project.outputHeight = static_cast<int>(height);
  } else if (settings.size) {
    const auto [width, height] = *settings.size;
    if (width <= 0 || height <= 0)
      return formatC(_("--size must be WxH, not %dx%d"), width, height);
    if (project.outputWidth <= 0 || project.outputHeight <= 0) return {};
    // Fitted: the smaller of the two factors, the composition centred in the frame.
    factor = std::min(static_cast<double>(width) / project.outputWidth,
                      static_cast<double>(height) / project.outputHeight);
    project.outputWidth = width;
    project.outputHeight = height;
  }
  scaleComposition(project, factor);
  return {};
}

// The codec of a video, checked against its container.
std::string chooseCodec(const ConversionSettings& settings, const RunPlan& plan) {
  const OutputFormat& format = *plan.format;
  if (!format.isVideo() || format.codecs.empty() ||
      settings.encode.codec == video::Codec::Default) {
    return {};
  }
  if (format.videoCodec(settings.encode.codec)) return {};
  std::string_view wanted = "?";
  for (const VideoCodec& codec : videoCodecs()) {
    if (codec.id == settings.encode.codec) wanted = codec.name;
  }
  return formatC(_("%s takes --codec %s, not %.*s"), _(format.label), format.codecNames().c_str(),
                 static_cast<int>(wanted.size()), wanted.data());
}

// A side that the codec needs even becomes one pixel longer (background) or shorter.
void makeSidesEven(const ConversionSettings& settings, RunPlan& plan,
                   std::vector<std::string>& log) {
  const VideoCodec* codec = plan.format->videoCodec(settings.encode.codec);
  if (!codec) return;
  Project& project = plan.project;
  const int width = project.outputWidth;
  const int height = project.outputHeight;
  const bool oddWidth = codec->evenWidth && width % 2 != 0;
  const bool oddHeight = codec->evenHeight && height % 2 != 0;
  if (!oddWidth && !oddHeight) return;
  const bool crop = settings.encode.even == EvenSides::Crop && (!oddWidth || width > 1) &&
                    (!oddHeight || height > 1);
  const int step = crop ? -1 : 1;
  if (oddWidth) project.outputWidth += step;
  if (oddHeight) project.outputHeight += step;
  log.push_back(formatC(crop ? _("%s の画面は縦横が偶数でなければならないため、%d x %d を %d x %d "
                                 "に切り詰めます (--even pad で広げます)。")
                             : _("%s の画面は縦横が偶数でなければならないため、%d x %d を %d x %d "
                                 "に背景で広げます (--even crop で切り詰めます)。"),
                        codec->label, width, height, project.outputWidth, project.outputHeight));
}

// Options given on purpose that the format does not use, and a transparent background the format
// cannot keep: said once each.
void sayWhatDoesNotApply(const ConversionSettings& settings, const RunPlan& plan,
                         std::vector<std::string>& log) {
  const OutputFormat& format = *plan.format;
  const FormatOptionSet used = format.optionsWith(settings.encode.codec);
  const VideoCodec* codec = format.videoCodec(settings.encode.codec);
  std::string name = _(format.label);
  if (codec) {
    std::string container(format.name);
    for (char& letter : container)
      letter = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
    name = container + " (" + codec->label + ")";
  }
  std::vector<FormatOption> said;
  for (FormatOption option : settings.given) {
    if (used.has(option) || std::find(said.begin(), said.end(), option) != said.end()) continue;
    said.push_back(option);
    log.push_back(
        formatC(_("%s は %s では使われません。"), formatOptionFlag(option), name.c_str()));
  }
  if ((plan.project.options & projectTransparentBackground) == 0) return;
  if (!keepsTransparency(format, settings.encode)) {
    log.push_back(formatC(_("%s は透明を記録できないため、背景は黒になります。"), name.c_str()));
  }
}

// The sound track of a video; said once when the format has no place for it. A start or volume
// that is not a number, or a file that is no regular file (a pipe would never end), is refused.
std::string chooseAudio(const Project& project, const ConversionSettings& settings, RunPlan& plan,
                        std::vector<std::string>& log) {
  AudioTrack audio = settings.audio ? *settings.audio : projectAudio(project, plan.projectFolder);
  if (audio.path.empty()) return {};
  if (!plan.format->audio) {
    log.push_back(formatC(_("%s には音声を入れられないため、音声 %s は入れません。"),
                          _(plan.format->label), audio.path.c_str()));
    return {};
  }
  if (!std::isfinite(audio.offset)) {
    return formatC(_("音声の開始 %g は秒数ではありません。"), audio.offset);
  }
  if (!std::isfinite(audio.volume) || audio.volume < 0.0) {
    return formatC(_("音量 %g は 0 以上の数ではありません。"), audio.volume);
  }
  if (const std::string reason = notAFileReason(audio.path); !reason.empty()) {
    return formatC(_("音声 %s は読めません: %s"), audio.path.c_str(), reason.c_str());
  }
  plan.audio = std::move(audio);
  return {};
}

// Every file the project reads: the pictures of all its layers (each file of a series) and its
// sound track.
std::vector<std::string> projectInputs(const Project& project, const RunPlan& plan) {
  std::vector<std::string> inputs;
  for (int i = 0; i < project.layerCount; ++i) {
    for (const Source& source : project.layers[static_cast<size_t>(i)].sources) {
      const std::string path = resolveImagePath(source.file, plan.projectFolder);
      if (isSeriesName(path)) {
        for (std::string& file : seriesFiles(path))
          inputs.push_back(std::move(file));
      } else {
        inputs.push_back(path);
      }
    }
  }
  if (!plan.audio.path.empty()) inputs.push_back(plan.audio.path);
  return inputs;
}

// A run never writes over a file the project reads: a picture, an animation, a video, a file of a
// series or the sound track.
std::string overwritesAnInput(const Project& project, const RunPlan& plan) {
  if (plan.toStandardOutput()) return {};
  for (const std::string& input : projectInputs(project, plan)) {
    if (plan.oneFile()) {
      if (sameFile(input, plan.oneFilePath)) {
        return formatC(
            _("%s はプロジェクトが読むファイルです。書き出し先に別の名前を指定してください。"),
            input.c_str());
      }
      continue;
    }
    // A numbered output names a frame by its number: each number in the input's name is tried.
    if (!sameFile(folderOf(input).empty() ? "." : folderOf(input), plan.folder)) continue;
    const std::string name = fileNameOf(input);
    for (size_t at = name.find_first_of("0123456789"); at != std::string::npos;) {
      const size_t end = std::min(name.find_first_not_of("0123456789", at), name.size());
      const std::string digits = name.substr(at, std::min<size_t>(end - at, 9));
      const int index = std::atoi(digits.c_str());
      if (index >= plan.first && index <= plan.last && sameFile(plan.framePath(index), input)) {
        return formatC(
            _("%s はプロジェクトが読むファイルです。書き出し先に別の名前を指定してください。"),
            input.c_str());
      }
      at = end < name.size() ? name.find_first_of("0123456789", end) : std::string::npos;
    }
  }
  return {};
}

}  // namespace

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

namespace {

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
  plan.totalFrames = static_cast<int>(count.frames);
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
  plan.namePattern = settings.namePattern;
  if (toStandardOutput(settings)) {
    plan.oneFilePath = std::string(1, '-');
    plan.folder.clear();
    return;
  }
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
  return (format && format->kind == OutputKind::OneFile) || toStandardOutput();
}

std::string RunPlan::framePath(int index) const {
  if (!namePattern.empty()) return joinPath(folder, expandNamePattern(namePattern, index));
  return frameFileName(folder, baseName, index, std::string(format->extension()));
}

AudioTrack projectAudio(const Project& project, const std::string& projectFolder) {
  AudioTrack audio;
  const std::string file = project.setting("audio");
  if (file.empty()) return audio;
  audio.path = joinPath(projectFolder, toFileSystemPath(file));
  // As written: a start or volume that is not a number is refused by the run, not taken as 0.
  audio.offset = cAtof(project.setting("audioOffset", "0"));
  audio.volume = cAtof(project.setting("audioVolume", "1"));
  return audio;
}

PlanOutcome planRun(const Project& original, const ConversionSettings& settings) {
  PlanOutcome outcome;
  const DrawList list = buildDrawList(original);
  const std::string name = settings.format.value_or(original.outputFormat);
  RunPlan plan;
  plan.project = original;
  const Project& project = plan.project;
  auto refused = [&outcome](std::string refusal, bool badOption = false) {
    outcome.refusal = std::move(refusal);
    outcome.badOption = badOption;
    return !outcome.refusal.empty();
  };
  if (refused(applyOverrides(settings, plan.project), true)) return outcome;
  bool badOption = false;
  std::string refusal = chooseFormat(project, settings, name, plan.format, badOption);
  if (refused(std::move(refusal), badOption)) return outcome;
  if (!settings.namePattern.empty() && plan.oneFile()) {
    refused(_("a name pattern (%d) names numbered files, not one file"), true);
    return outcome;
  }
  // Counted without listing the times: a huge count is refused before any memory is used.
  plan.spacing =
      plan.format->kind == OutputKind::OneFile ? FrameSpacing::Exact : FrameSpacing::Accumulated;
  const FrameCount count =
      countConversionFrames(list.totalTime, project.fps, kMaxConversionFrames, plan.spacing);
  if (refused(chooseFrames(count, settings, plan.oneFile(), plan))) return outcome;
  if (refused(chooseCodec(settings, plan), true)) return outcome;
  makeSidesEven(settings, plan, outcome.log);
  refusal = checkLimits(project, settings, plan, badOption);
  if (refused(std::move(refusal), badOption)) return outcome;
  sayWhatDoesNotApply(settings, plan, outcome.log);
  choosePaths(project, settings, name, plan);
  if (plan.oneFile() && !plan.toStandardOutput() && refused(checkTarget(plan.oneFilePath))) {
    return outcome;
  }
  if (refused(chooseAudio(original, settings, plan, outcome.log))) return outcome;
  if (refused(overwritesAnInput(original, plan))) return outcome;
  plan.layers = list.layers;
  plan.totalTime = list.totalTime;
  plan.encode = settings.encode;
  const bool levelGiven = std::find(settings.given.begin(), settings.given.end(),
                                    FormatOption::PngLevel) != settings.given.end();
  if (!levelGiven && plan.format->options.has(FormatOption::PngLevel)) {
    plan.encode.pngLevel = plan.format->pngLevel;
  }
  plan.skipExisting = settings.skipExisting;
  plan.keepFrames = settings.keepFrames;
  outcome.log.push_back(totalTimeLine(list.totalTime, project.fps));
  if (refused(chooseWorkers(settings, plan, outcome.log))) return outcome;
  outcome.plan = std::move(plan);
  return outcome;
}

}  // namespace pelorix
