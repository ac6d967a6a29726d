// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imageio/dib_image.h"
#include "model/project.h"
#include "output/animation_writer.h"
#include "output/formats.h"
#include "render/timeline.h"

namespace pelorix {

// The sound track a project names in its settings (audio, audioOffset, audioVolume), the file
// relative to the project's folder; an empty path when it names none.
AudioTrack projectAudio(const Project& project, const std::string& projectFolder);

struct ConversionSettings {
  std::string projectFolder;  // relative save folders and image names start here
  // What to write; the defaults come from the project when left empty.
  std::optional<std::string> outputFolder;
  std::optional<std::string> baseName;
  std::optional<std::string> format;
  EncodeOptions encode;
  int jobs = 0;  // worker threads; 0 = the machine's hardware threads
  // Only these frame indices (inclusive), exactly as a full run writes them.
  std::optional<std::pair<int, int>> frames;
  bool skipExisting = false;
  bool refuseGif = true;
  bool keepFrames = false;  // hand every written frame to frameWritten (the preview wants them)
  // Memory the run may use, in bytes; 0 = what the machine has available (tests set it).
  uint64_t availableMemory = 0;
  // One file instead of a numbered series (an animated GIF, WebP or PNG, or a video), its type
  // by the extension; relative to the project folder. Without it a project whose format is a
  // one-file type gives saveFolder/saveFileName.format.
  std::optional<std::string> oneFile;
  // The background, overriding the project's option: transparent (true) or black (false).
  std::optional<bool> transparentBackground;
  // The options given on purpose (on the command line, in the export dialog): one that the
  // format does not use is said once.
  std::vector<FormatOption> given;
  // Another frame size, by composing at it: every placement and the frame scaled by `scale`, or
  // fitted into `size` (centred, proportions kept).
  std::optional<std::pair<int, int>> size;
  std::optional<double> scale;
  // Another frame rate: the project's time sampled at it.
  std::optional<float> fps;
  // The sound track instead of the project's; an empty path for none.
  std::optional<AudioTrack> audio;
  // Numbered files named by a pattern ("shot%04d.png") in the output folder, instead of the base
  // name and four digits.
  std::string namePattern;
};

// Everything a run needs, worked out before anything is made on disk.
struct RunPlan {
  const OutputFormat* format = nullptr;
  Project project;  // with the background the run uses
  std::vector<int> layers;
  float totalTime = 0.0f;
  std::string projectFolder;
  std::string folder;  // made when the run starts
  std::string baseName;
  std::string oneFilePath;  // the file of a one-file format; "-" for standard output
  std::string namePattern;  // the series' names, when given as a pattern
  AudioTrack audio;         // a video's sound track
  int first = 0;            // the frames of the run, inclusive
  int last = -1;
  int totalFrames = 0;  // of the whole animation
  // The times of the frames: a numbered series as it always was, a video or an animation exact.
  FrameSpacing spacing = FrameSpacing::Accumulated;
  int jobs = 1;
  EncodeOptions encode;
  bool skipExisting = false;
  bool keepFrames = false;
  uint64_t memoryNeeded = 0;  // bytes, for the chosen number of workers

  int frameCount() const { return last >= first ? last - first + 1 : 0; }
  // Everything is written in order into one file (or stream): a one-file format, or a series
  // going to standard output.
  bool oneFile() const;
  bool toStandardOutput() const { return oneFilePath == "-"; }
  // The path of numbered frame `index`.
  std::string framePath(int index) const;
};

// What planning gives: a plan, or the reason it was refused; with the log lines a run writes
// before it starts (or before the refusal), in order.
struct PlanOutcome {
  std::optional<RunPlan> plan;
  std::string refusal;
  bool badOption = false;  // the refusal is about an option's value (the command line's usage)
  std::vector<std::string> log;
};

// Where one file goes must be able to take it before the whole animation is made: why not, or
// empty.
std::string checkTarget(const std::string& path);

// Why a frame of this size cannot be made at all (not positive, beyond the picture limits);
// empty when it can.
std::string frameSizeProblem(int width, int height);

// Checks the settings against the project and works out the run: the format (looked up once),
// the frames, the paths, the memory and the number of workers. Pure but for reading the
// pictures' headers; it writes nothing.
PlanOutcome planRun(const Project& project, const ConversionSettings& settings);

// Bytes a run needs: the largest picture of each drawn layer twice (a worker may hold the next
// one while another still draws the last), plus per worker the frames it holds.
struct MemoryNeed {
  uint64_t pictures = 0;
  uint64_t perWorker = 0;
  uint64_t total(int jobs) const { return pictures + static_cast<uint64_t>(jobs) * perWorker; }
};
MemoryNeed estimateMemory(const Project& project, const std::vector<int>& layers,
                          const std::string& projectFolder, bool keepFrames);
// Bytes composing one frame at `t` needs: the pictures shown then and the frame.
uint64_t frameMemoryNeed(const Project& project, const std::vector<int>& layers, float t,
                         const std::string& projectFolder);
// The refusal when `needed` bytes are more than `available` (0: what the machine has); empty
// when they are not.
std::string memoryProblem(uint64_t needed, uint64_t available = 0);

}  // namespace pelorix
