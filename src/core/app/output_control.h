// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "output/conversion_engine.h"

namespace pelorix {

class FrameView;
class ProjectFiles;
class Session;

// Renders and saves: Convert all (the project's own settings), Export (a run chosen in the
// export dialog, whose choices are kept per project), the progress of a run, and saving the
// frame on screen.
class OutputControl {
 public:
  OutputControl(Session& session, FrameView& view, ProjectFiles& files);
  ~OutputControl();  // aborts a run and waits for it
  OutputControl(const OutputControl&) = delete;
  OutputControl& operator=(const OutputControl&) = delete;

  // The convert button: starts a run, or aborts the one running.
  void convertAllPressed();
  void exportCommand();
  void screenSave();
  bool converting() const { return converting_; }
  // Convert all writes only the frames of the work area (all of them without one).
  bool workAreaOnly() const { return workAreaOnly_; }
  void setWorkAreaOnly(bool only);
  // Stops a run and waits for it (the window closes).
  void abort();
  // Waits for a running conversion (tests, shutdown).
  void waitForConversion();
  int progressValue() const { return progressValue_; }
  const std::string& progressText() const { return progressText_; }
  // "N / M frames" of a running conversion; empty before the first report.
  std::string progressFrames() const;

  // Switches of the settings file: GIF output refused, the debug level of screen saves.
  bool refuseGif() const { return refuseGif_; }
  int debugLevel() const { return debugLevel_; }
  void setSwitches(bool refuseGif, int debugLevel);
  // The export dialog's last choices, per project file.
  using Choices = std::vector<std::pair<std::string, std::string>>;
  const Choices& exportChoices() const { return exportChoices_; }
  void setExportChoices(Choices choices) { exportChoices_ = std::move(choices); }

 private:
  class Relay;
  // Starts a run of the engine with the progress window (a refusal is said by the relay).
  void startConversion(const Project& project, const ConversionSettings& settings);

  Session& session_;
  FrameView& view_;
  ProjectFiles& files_;
  bool converting_ = false;
  int progressValue_ = 0;
  int framesDone_ = 0, framesTotal_ = 0;
  std::string progressText_;
  bool refuseGif_ = true;
  bool workAreaOnly_ = false;
  int debugLevel_ = 0;
  Choices exportChoices_;
  std::shared_ptr<ConversionListener> relay_;  // a Relay
  ConversionEngine engine_;
};

}  // namespace pelorix
