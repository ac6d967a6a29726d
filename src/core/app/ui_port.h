// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imageio/dib_image.h"
#include "model/project.h"
#include "output/run_plan.h"

namespace pelorix {

enum class Answer { Yes, No, Cancel };

// What the layer settings dialog edits.
struct LayerValues {
  int number = 0;
  std::string name;
  int visible = 0;
  int effects = 0;
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  // The layer it follows (0: none), chosen among the others: their numbers and "NN name".
  int parent = 0;
  std::vector<std::pair<int, std::string>> parents;
};

// What the source settings dialog edits, and what it hands back.
struct SourceDialogValues {
  Source source;
  std::string browseFolder;     // where the browse dialog starts (the project folder)
  std::string browsePattern;    // the browse dialog's file name field, such as "*.png"
  std::string pickedExtension;  // set by the dialog when a file was picked with browse
};

// What the project settings dialog edits.
struct ProjectValues {
  std::string fileName;  // project file name, without folder
  std::string name;
  std::string saveFolder;
  std::string saveFileName;
  int width = 0;
  int height = 0;
  // The frame rate as shown and typed ("12", "29.97", "30000/1001"): left as shown, the
  // project's rate stays exactly what it was.
  std::string fps;
  std::string format;
  int options = 0;            // project option bits (transparent background, one animated file)
  std::string projectFolder;  // where relative save folders start (not edited)
  // The sound track of videos (the extensions block): a file relative to the project folder,
  // its offset in seconds and its volume, as typed.
  std::string audio;
  std::string audioOffset;
  std::string audioVolume;
};

// What the export dialog edits: a format of the format table and every setting a render takes.
struct ExportValues {
  int format = 0;    // an index into outputFormats()
  std::string path;  // the folder of a series, or the file of a one-file format
  EncodeOptions encode;
  bool transparent = false;
  int first = 0;  // the frames, inclusive
  int last = 0;
  int frameCount = 0;  // how many the project has (not edited)
  int width = 0;       // the size composed at; the project's unless changed
  int height = 0;
  float fps = 0.0f;           // the frame rate; the project's unless changed
  bool audio = true;          // the project's sound track, in a format that carries one
  std::string projectFolder;  // where relative paths start (not edited)
};

// What the information dialog shows.
enum class InformationKind { About, Summary };

// Parts of the window the editor asks the user interface to show again.
enum Refresh : unsigned {
  RefreshTree = 1u << 0,
  RefreshList = 1u << 1,    // rows and the selected row
  RefreshSlider = 1u << 2,  // range, page size, position, selection range
  RefreshTitle = 1u << 3,
  RefreshControls = 1u << 4,  // enabled state of the editing controls
  RefreshTime = 1u << 5,      // the time text
  RefreshPreview = 1u << 6,   // repaint the canvas now
  RefreshButtons = 1u << 7,   // captions of the movie and convert buttons, check boxes, undo
  RefreshProgress = 1u << 8,  // the conversion progress window
  RefreshTimeline = 1u << 9,  // the timeline's blocks and playhead
  RefreshMotion = 1u << 10,   // keys changed: the timeline's lanes are made again
  RefreshAll = 0x7FFu,
};

// Everything the editor needs from the user interface. The desktop window implements it with
// widgets and message boxes; tests implement it with scripted answers.
class UiPort {
 public:
  virtual ~UiPort() = default;
  // A Yes/No/Cancel question.
  virtual Answer ask(const std::string& text) = 0;
  // A message with an OK button.
  virtual void notice(const std::string& text) = 0;
  // One line at the end of the message log.
  virtual void appendLog(const std::string& line) = 0;
  // The information dialog with one row per line (the About text, a project summary).
  virtual void showInformation(const std::string& text, InformationKind kind) = 0;
  // A short message in the status line (why a command did nothing, playback's dropped frames).
  virtual void showStatus(const std::string& text) = 0;
  // The editing dialogs, run modally on a copy; true when closed with OK.
  virtual bool editLayer(LayerValues& values) = 0;
  virtual bool editSource(SourceDialogValues& values) = 0;
  virtual bool editProject(ProjectValues& values) = 0;
  virtual bool editExport(ExportValues& values) = 0;
  // The open dialog for project files; the chosen full path.
  virtual std::optional<std::string> chooseProjectFile(const std::string& folder) = 0;
  // The save dialog for a project file, starting at `name` in `folder`; the chosen full path.
  virtual std::optional<std::string> chooseProjectSaveFile(const std::string& folder,
                                                           const std::string& name) = 0;
  // The save dialog of screen save; the full path, with the extension of the chosen filter when
  // none was typed.
  virtual std::optional<std::string> chooseImageFile(const std::string& folder) = 0;
  virtual void refresh(unsigned parts) = 0;
  // Sizes the preview window's picture area to the frame size.
  virtual void setPreviewFrameSize(int width, int height) = 0;
  virtual void showPreview(bool shown) = 0;
  // Runs `task` on the user-interface thread soon; callable from any thread.
  virtual void post(std::function<void()> task) = 0;
  // The sound track during playback, from `from` seconds of the animation; and its end.
  virtual void playAudio(const AudioTrack& audio, double from) = 0;
  virtual void stopAudio() = 0;
  // Where the sound track is while it plays, in seconds of the animation; nothing while it does
  // not play (or waits for its offset).
  virtual std::optional<double> soundPosition() const { return std::nullopt; }
};

}  // namespace pelorix
