// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imageio/dib_image.h"
#include "model/project.h"

namespace pelorix {

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

enum class ConversionOutcome {
  Completed,  // every frame written; the elapsed-time line was logged
  Aborted,    // stopped by abort(); "中断しました。" was logged
  Failed,     // a frame could not be saved; the message was logged
  Refused,    // nothing started: GIF or format refused, too many frames, folder not made
};

// What a run wrote, for a caller that reports it (the command line's exit status).
struct ConversionSummary {
  int frames = 0;  // frames reported written (or skipped as existing)
  int framesWithMissingPictures = 0;
  struct Missing {
    int layerNumber = 0;
    std::string file;
    int frames = 0;  // how many frames lacked it
  };
  std::vector<Missing> missing;  // in the order they first failed
  bool stalled = false;          // the frame times stopped advancing before the end
};

// What a run reports. The calls come from worker threads, one at a time and in frame order.
class ConversionListener {
 public:
  virtual ~ConversionListener() = default;
  virtual void appendLog(const std::string& line) = 0;
  // `value` is the 0..29 position of the progress bar; done and total count frames.
  virtual void progress(int value, int done, int total) = 0;
  // A frame is on disk. `frame` is the picture written when keepFrames is set, else null.
  virtual void frameWritten(int index, const std::string& path, const DibImage* frame) = 0;
  // The last call of a run. `message` is what a message box shows for Failed and Refused.
  virtual void finished(ConversionOutcome outcome, const std::string& message) = 0;
};

// Renders the frames of a project into numbered image files, or into one animated or video file
// whose frames are composed ahead by the workers and written in order. The project, draw list and
// frame times are copied when the run starts, so the caller may go on editing. Frames are composed
// and encoded by a pool of workers, each with its own canvas and image cache, and every file is
// byte for byte what a run with one worker writes. Abort stops handing out frames; the frames
// being made are finished, so every index below the highest written one is on disk. A frame
// whose save fails ends the run; frames after it that were already written are removed again.
class ConversionEngine {
 public:
  ConversionEngine();
  ~ConversionEngine();  // aborts and waits
  ConversionEngine(const ConversionEngine&) = delete;
  ConversionEngine& operator=(const ConversionEngine&) = delete;

  // Checks the GIF refusal, makes the save folder, logs the total time line and starts the
  // workers; returns at once. False when the run was refused (finished() has been called).
  bool start(const Project& project, const ConversionSettings& settings,
             ConversionListener& listener);
  void abort();
  // Blocks until the run (if any) has finished.
  void wait();
  bool running() const;
  // What the last run wrote; complete once it has finished.
  ConversionSummary summary() const;

 private:
  struct Run;
  std::unique_ptr<Run> run_;
  std::thread coordinator_;
};

}  // namespace pelorix
