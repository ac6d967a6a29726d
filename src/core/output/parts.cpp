// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/parts.h"

#include <libdeflate.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "imageio/video_module_loader.h"
#include "model/project_file.h"
#include "output/animation_join.h"
#include "output/formats.h"
#include "output/run_plan.h"

namespace pelorix {
namespace {

// One part as the join sees it.
struct Part {
  std::string path;
  size_t given = 0;  // its place among the arguments
  PartTag tag;
  video::PartInfo info;
};

// Why `part` cannot go with `first` (the first part named); empty when it can.
std::string mismatch(const Part& part, const Part& first) {
  const char* path = part.path.c_str();
  if (part.info.width != first.info.width || part.info.height != first.info.height) {
    return formatC(_("%s is %d x %d, %s is %d x %d"), path, part.info.width, part.info.height,
                   first.path.c_str(), first.info.width, first.info.height);
  }
  if (int64_t{part.info.rateNum} * first.info.rateDen !=
      int64_t{first.info.rateNum} * part.info.rateDen) {
    return formatC(_("%s has %d/%d frames per second, %s has %d/%d"), path, part.info.rateNum,
                   part.info.rateDen, first.path.c_str(), first.info.rateNum, first.info.rateDen);
  }
  if (part.info.codec != first.info.codec) {
    return formatC(_("%s is %s, %s is %s"), path, part.info.codec.c_str(), first.path.c_str(),
                   first.info.codec.c_str());
  }
  if (part.tag.total != first.tag.total || part.tag.settings != first.tag.settings ||
      part.info.streams != first.info.streams) {
    return formatC(_("%s was rendered from another project or with other settings than %s"), path,
                   first.path.c_str());
  }
  return {};
}

// The parts in frame order, or why they do not make one run of frames.
std::string order(std::vector<Part>& parts) {
  std::stable_sort(parts.begin(), parts.end(),
                   [](const Part& a, const Part& b) { return a.tag.first < b.tag.first; });
  for (size_t i = 1; i < parts.size(); ++i) {
    const PartTag& before = parts[i - 1].tag;
    const PartTag& tag = parts[i].tag;
    const int expected = before.first + before.frames;
    if (tag.first > expected) {
      return formatC(_("frames %d-%d are missing between %s and %s"), expected, tag.first - 1,
                     parts[i - 1].path.c_str(), parts[i].path.c_str());
    }
    if (tag.first < expected) {
      return formatC(_("%s (frames %d-%d) overlaps %s (frames %d-%d)"), parts[i].path.c_str(),
                     tag.first, tag.first + tag.frames - 1, parts[i - 1].path.c_str(), before.first,
                     expected - 1);
    }
  }
  return {};
}

// Frame order, one run of frames, the same settings; the tag of the whole.
std::string check(std::vector<Part>& parts, PartTag& whole) {
  for (Part& part : parts) {
    const std::optional<PartTag> tag = parsePartComment(part.info.comment);
    if (!tag) {
      return formatC(_("%s is not a part of a render (pelorix-cli render wrote no frame range "
                       "into it)"),
                     part.path.c_str());
    }
    part.tag = *tag;
  }
  for (const Part& part : parts) {
    if (std::string reason = mismatch(part, parts.front()); !reason.empty()) return reason;
  }
  if (std::string reason = order(parts); !reason.empty()) return reason;
  whole = parts.front().tag;
  whole.frames = parts.back().tag.first + parts.back().tag.frames - whole.first;
  return {};
}

// A failure "part N: ..." of the joiner, with the part named.
std::string namePart(const std::string& failed, const std::vector<Part>& parts) {
  unsigned number = 0;
  if (std::sscanf(failed.c_str(), "part %u:", &number) == 1 && number >= 1 &&
      number <= parts.size()) {
    const std::string reason = failed.substr(failed.find(':') + 2);
    return formatC("%s: %s", parts[number - 1].path.c_str(), reason.c_str());
  }
  return failed;
}

std::string joinVideos(std::vector<Part>& parts, const OutputFormat& format, AtomicFile& file,
                       PartTag& whole, const std::atomic<bool>* stop) {
  const VideoModule& module = videoModule();
  if (!module.makeJoiner) return module.error;
  std::unique_ptr<video::Joiner> joiner(module.makeJoiner(video::kInterfaceVersion));
  if (!joiner) return _("the video module is of another Pelorix version");
  for (Part& part : parts) {
    if (const std::string failed = joiner->probe(part.path, part.info); !failed.empty()) {
      return formatC(_("%s is not a video that can be read: %s"), part.path.c_str(),
                     failed.c_str());
    }
  }
  if (std::string reason = check(parts, whole); !reason.empty()) return reason;
  std::vector<std::string> paths;
  std::vector<int64_t> frames;
  for (const Part& part : parts) {
    paths.push_back(part.path);
    frames.push_back(part.tag.frames);
  }
  if (!file.open()) return file.error().message;
  const std::string failed =
      joiner->join(paths, frames, file.temporaryPath(),
                   static_cast<video::Container>(format.videoContainer), partComment(whole), stop);
  return failed.empty() ? std::string() : namePart(failed, parts);
}

std::string joinAnimations(std::vector<Part>& parts, const OutputFormat& format, AtomicFile& file,
                           PartTag& whole, const std::atomic<bool>* stop) {
  std::vector<AnimationPart> read;
  for (Part& part : parts) {
    if (stop && stop->load()) return "stopped";
    FileError error;
    std::optional<std::string> bytes = readFileBytes(part.path, &error);
    if (!bytes) return formatC("%s: %s", part.path.c_str(), error.message.c_str());
    AnimationPart animation;
    animation.path = part.path;
    animation.bytes = std::move(*bytes);
    if (std::string failed = format.readPart(animation); !failed.empty()) {
      return formatC(_("%s is not an animation that can be read: %s"), part.path.c_str(),
                     failed.c_str());
    }
    part.info.comment = animation.comment;
    part.info.codec = std::string(format.name);
    part.info.width = animation.width;
    part.info.height = animation.height;
    part.info.streams = animation.streams;
    read.push_back(std::move(animation));
  }
  if (std::string reason = check(parts, whole); !reason.empty()) return reason;
  // In frame order, each holding the frames it says.
  std::vector<AnimationPart> ordered;
  for (const Part& part : parts) {
    AnimationPart& animation = read[part.given];
    if (animation.frames >= 0 && animation.frames != part.tag.frames) {
      return formatC(_("%s: truncated: %d of %d frames"), part.path.c_str(), animation.frames,
                     part.tag.frames);
    }
    ordered.push_back(std::move(animation));
  }
  std::vector<uint8_t> out;
  if (std::string failed = format.joinParts(ordered, partComment(whole), whole.frames, out);
      !failed.empty()) {
    return failed;
  }
  if (!file.open() || !file.write(out.data(), out.size())) return file.error().message;
  return {};
}

}  // namespace

PartTag partTagOf(const RunPlan& plan) {
  PartTag tag;
  tag.first = plan.first;
  tag.frames = plan.frameCount();
  tag.total = plan.totalFrames;
  ProjectSaveResult outcome{};
  const std::optional<std::string> bytes = projectFileBytes(plan.project, outcome);
  const uint32_t crc = bytes ? libdeflate_crc32(0, bytes->data(), bytes->size()) : 0;
  const EncodeOptions& e = plan.encode;
  // The sound by its file name: a part says nothing of the folders of the machine it was made on.
  tag.settings = formatC("project %08x; codec %d crf %d bitrate %" PRId64
                         " preset %d prores %d; sound %s %.6f %.6f",
                         crc, static_cast<int>(e.codec), e.crf, e.bitrate,
                         static_cast<int>(e.preset), static_cast<int>(e.proresProfile),
                         fileNameOf(plan.audio.path).c_str(), plan.audio.offset, plan.audio.volume);
  return tag;
}

std::string joinParts(const std::vector<std::string>& paths, const std::string& output,
                      std::vector<std::string>& log, const std::atomic<bool>* stop) {
  const OutputFormat* format = oneFileFormatOfPath(output);
  if (!format || !format->joinable()) {
    return formatC(_("%s: parts join into a video or an animation (%s)"), output.c_str(),
                   joinableExtensions().c_str());
  }
  if (paths.empty()) return _("no parts to join");
  if (std::string problem = checkTarget(output); !problem.empty()) return problem;
  std::vector<Part> parts;
  for (const std::string& path : paths) {
    if (!fileExists(path)) return formatC(_("%s: no such file"), path.c_str());
    if (const std::string reason = notAFileReason(path); !reason.empty())
      return formatC(_("%s cannot be joined: it is %s"), path.c_str(), reason.c_str());
    if (sameFile(path, output)) {
      return formatC(_("%s is a part to join and the output: choose another name for the output"),
                     path.c_str());
    }
    if (oneFileFormatOfPath(path) != format) {
      return formatC(_("%s is not a .%s file like %s"), path.c_str(),
                     std::string(format->extension()).c_str(), output.c_str());
    }
    parts.push_back(Part{path, parts.size(), {}, {}});
  }
  // Temporary files of joins that were killed are nobody's any more.
  removeStaleTemporaries(folderOf(output));
  AtomicFile file(output);
  PartTag whole;
  const std::string failed = format->isVideo() ? joinVideos(parts, *format, file, whole, stop)
                                               : joinAnimations(parts, *format, file, whole, stop);
  if (!failed.empty()) return failed;
  if (!file.commit(Durability::Flush)) return file.error().message;
  log.push_back(formatC(_("%zu parts joined into %s: frames %d-%d of %d"), parts.size(),
                        output.c_str(), whole.first, whole.first + whole.frames - 1, whole.total));
  if (whole.first > 0 || whole.first + whole.frames < whole.total) {
    log.push_back(formatC(_("The animation has %d frames: the joined file holds only frames "
                            "%d-%d."),
                          whole.total, whole.first, whole.first + whole.frames - 1));
  }
  return {};
}

}  // namespace pelorix
