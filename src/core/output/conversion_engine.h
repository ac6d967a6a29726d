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
#include "output/run_plan.h"

namespace pelorix {

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
  std::string audioProblem;      // why the sound track is not (wholly) in the file
};

// Steps of the progress bar.
inline constexpr int kProgressSteps = 30;

// What a run reports. The calls come from worker threads, one at a time and in frame order.
class ConversionListener {
 public:
  virtual ~ConversionListener() = default;
  virtual void appendLog(const std::string& line) = 0;
  // `value` is the position of the progress bar, 0 to kProgressSteps - 1; done and total count
  // frames.
  virtual void progress(int value, int done, int total) = 0;
  // A frame is on disk. `frame` is the picture written when keepFrames is set, else null.
  virtual void frameWritten(int index, const std::string& path, const DibImage* frame) = 0;
  // Every frame is in the file, whose end is being written now (a video encoder that looked
  // ahead may take a while for the frames it held back; an abort still stops it).
  virtual void finishing() {}
  // The last call of a run. `message` is what a message box shows for Failed and Refused.
  virtual void finished(ConversionOutcome outcome, const std::string& message) = 0;
};

// A plan that refused: its log lines, the refusal, and the end of the run.
void reportRefusal(const PlanOutcome& planned, ConversionListener& listener);

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

  // Plans the run (planRun), then launches it; returns at once. False when the run was refused
  // (the reason was logged and finished() has been called).
  bool start(const Project& project, const ConversionSettings& settings,
             ConversionListener& listener);
  // Makes the folder, opens a one-file output, logs the plan's lines and starts the workers.
  // False when the folder or the file cannot be made (finished() has been called).
  bool launch(RunPlan plan, std::vector<std::string> log, ConversionListener& listener);
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
