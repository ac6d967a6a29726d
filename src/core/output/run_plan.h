// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imageio/dib_image.h"
#include "model/project.h"

namespace pelorix {

struct OutputFormat;

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
  std::string oneFilePath;  // the file of a one-file format
  int first = 0;            // the frames of the run, inclusive
  int last = -1;
  int jobs = 1;
  EncodeOptions encode;
  bool skipExisting = false;
  bool keepFrames = false;
  uint64_t memoryNeeded = 0;  // bytes, for the chosen number of workers

  int frameCount() const { return last >= first ? last - first + 1 : 0; }
  bool oneFile() const;
};

// What planning gives: a plan, or the reason it was refused; with the log lines a run writes
// before it starts (or before the refusal), in order.
struct PlanOutcome {
  std::optional<RunPlan> plan;
  std::string refusal;
  bool badOption = false;  // the refusal is about an option's value (the command line's usage)
  std::vector<std::string> log;
};

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
