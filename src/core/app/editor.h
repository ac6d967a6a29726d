// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/command.h"
#include "app/key_tables.h"
#include "app/playback.h"
#include "app/settings.h"
#include "app/texts.h"
#include "app/ui_port.h"
#include "app/undo_stack.h"
#include "base/i18n.h"
#include "base/log_sink.h"
#include "base/row_workers.h"
#include "imageio/dib_image.h"
#include "model/project.h"
#include "output/conversion_engine.h"
#include "render/compositor.h"

namespace pelorix {

// The five kinds of preview gesture.
enum class PreviewEditKind { Move = 1, EndMove = 2, ScaleStep = 3, RotateStep = 4, Fit = 5 };

// The icon of a layer in the tree.
enum class LayerIcon { Shown, Hidden };

struct TreeItem {
  int layerIndex = -1;
  std::string text;
  LayerIcon icon = LayerIcon::Hidden;
  std::string mode;  // the blend mode's label when it is not the plain one
};

struct SliderState {
  int maximum = 0;
  int position = 0;
  int pageSize = 30;
  int lineSize = 1;
  int selectionStart = 0;
  int selectionEnd = 0;
};

// Everything the main window decides: the project, the selection, the time, the commands and
// their questions, playback and conversion. It talks to the user only through the UiPort and
// holds the state the window shows (tree items, rows, slider, title, captions), so the window
// only draws that state and forwards events. All calls come from the user-interface thread.
class Editor {
 public:
  explicit Editor(UiPort& port);
  ~Editor();
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // ---- start and close ----
  void applySettings(const Settings& settings);
  Settings currentSettings() const;  // what the close sequence writes
  // Opens the previous project (or `path`) as the start-up does.
  void startUp(const std::optional<std::string>& path);
  // The close sequence: "終了しますか？" and the save question; true when the window may close.
  bool closeRequested();

  // ---- commands ----
  // Runs a command of a button, key or menu.
  void run(Command command);
  bool enabled(Command command) const;
  // The command's text now ("動画表示" reads "中断" while the movie plays).
  std::string label(Command command) const;
  // Whether a toggle is on.
  bool checked(Command command) const;

  // ---- project commands ----
  struct OpenOptions {
    bool askToSave = true;      // the save question when the project is modified
    bool keepHistory = false;   // the reload of the file just saved: undo goes on
    bool summaryToLog = false;  // the summary into the log instead of a dialog
  };
  // False when the user cancelled at the save question (nothing was opened).
  bool openProject(const std::string& path, OpenOptions options);
  bool openProject(const std::string& path) { return openProject(path, {}); }
  // True when the project was written.
  bool saveProjectTo(const std::string& path);
  void loadProjectCommand();
  void saveProjectCommand();
  void saveProjectAsCommand();
  // Projects opened lately, newest first; and opening one of them.
  const std::vector<std::string>& recentProjects() const { return recent_; }
  void openRecent(const std::string& path);
  void newProjectCommand();
  void projectSettings();
  void about();

  // ---- layers and sources ----
  int selectedLayerIndex();
  void selectTreeItem(int item);
  void selectRow(int row);  // -1: none
  void newLayer();
  void deleteLayer();
  void layerSettings();
  void newSource();
  void deleteSource();
  void sourceSettings();
  void previewEdit(int dx, int dy, int scaleSteps, int angle, PreviewEditKind kind);
  void pickKeyColor(uint32_t colorRef);
  void dropFiles(const std::vector<std::string>& paths);
  void moveRow(int dragged, int target);
  void undo();
  void redo();
  bool canUndo() const { return undo_.canUndo(); }
  bool canRedo() const { return undo_.canRedo(); }

  // ---- transport ----
  void pageBack();
  void stepBack();
  void stepForward();
  void pageForward();
  // The slider moved to (or was repainted at) `position`.
  void sliderChanged(int position);
  // The preview toggle. `moveWindow` false leaves the preview window as it is (Enter in the
  // preview).
  void setPreviewShown(bool shown, bool moveWindow = true);
  void setTotalMode(bool total);
  void redraw(float t);
  // A key in a focus: true when it was taken (swallowed), down or up.
  bool handleKey(KeyFocus focus, Key key, bool down);

  // ---- playback ----
  // The play button. Starting returns the timer period in ms; 0 when nothing is to be started.
  int moviePressed();
  // One timer tick; false when the movie has stopped.
  bool playbackTick();
  bool playing() const { return playing_; }
  // The time of the frame playback shows.
  float playbackTime() const { return playbackTime_; }
  // The clock playback runs on (tests give their own).
  void setPlaybackClock(Playback::Clock clock) { playbackClock_ = std::move(clock); }

  // ---- timeline ----
  // Moves the time (the ruler was clicked or dragged).
  void scrubTo(float t);
  // Selects a layer and one of its sources (a block was clicked).
  void selectSource(int layerIndex, int row);
  // A source's new duration, rounded to whole frames; one undo step.
  void setSourceDuration(int layerIndex, int row, float seconds);

  // ---- onion skin ----
  // Frames before and after the current one, composed like it, for the preview to show faintly;
  // offsets in frames (-N ... -1, 1 ... N).
  struct OnionFrame {
    int offset = 0;
    DibImage canvas;
  };
  const std::vector<OnionFrame>& onionFrames() const { return onion_; }
  bool onionSkin() const { return onionSkin_; }
  int onionCount() const { return onionCount_; }

  // ---- output ----
  void convertAllPressed();
  void exportCommand();
  bool converting() const { return converting_; }
  void screenSave();
  // Waits for a running conversion (tests, shutdown).
  void waitForConversion();

  // ---- state shown by the window ----
  const Project& project() const { return project_; }
  const std::string& projectFolder() const { return projectFolder_; }
  const std::string& projectFileName() const { return projectFileName_; }
  bool modified() const { return modified_; }
  bool noProjectLoaded() const { return noProjectLoaded_; }
  const std::vector<int>& drawList() const { return drawList_; }
  float totalTime() const { return totalTime_; }
  float currentTime() const { return currentTime_; }
  const std::vector<TreeItem>& treeItems() const { return tree_; }
  int selectedTreeItem() const { return selectedTree_; }
  const std::vector<std::array<std::string, kSourceColumns>>& rows() const { return rows_; }
  int selectedRow() const { return selectedRow_; }
  const SliderState& slider() const { return slider_; }
  const std::string& title() const { return title_; }
  const std::string& timeText() const { return timeText_; }
  bool previewShown() const { return previewShown_; }
  bool totalMode() const { return totalMode_; }
  bool busy() const { return busy_; }
  const DibImage& canvas() const { return canvas_; }
  int outputWidth() const { return project_.outputWidth; }
  int outputHeight() const { return project_.outputHeight; }
  const Source& heldSource() const { return heldSource_; }
  const std::string& lastSourcePattern() const { return lastSourcePattern_; }
  int progressValue() const { return progressValue_; }
  const std::string& progressText() const { return progressText_; }
  bool refuseGif() const { return refuseGif_; }
  int debugLevel() const { return debugLevel_; }

 private:
  class PortLog;
  class ConversionRelay;
  friend class ConversionRelay;
  class EditScope;
  friend class EditScope;

  void setTitle();
  void enableEditing(bool enabled);
  void fillTree();
  void fillSourceList(int layerIndex);
  void rebuildDrawList();
  void listItemChanged();
  void setSliderPosition(int position);
  void showProjectLoaded();
  void rememberRecent(const std::string& path);
  // Starts a run of the engine with the progress window (a refusal is said by the relay).
  void startConversion(const Project& project, const ConversionSettings& settings);
  void clearCanvas();
  void composeOnion(float t);
  bool askToSaveBeforeLeaving();
  void markModified();
  // Undo: remember the project before an edit; commit after it. Commands use an EditScope.
  void beginEdit();
  void commitEdit();
  void restore(const UndoStack::Snapshot& snapshot);
  bool runLayerDialog(int index);
  bool runSourceDialog(const Source& source, SourceDialogValues& values);
  // True when a source row is selected; otherwise says so.
  bool rowSelected();
  void finishSourceEdit(int index, int rowToSelect);
  void updateTreeItemOf(int layerIndex);
  int treeItemOfLayer(int layerIndex) const;
  TreeItem treeItemOf(int layerIndex) const;
  float frameStep() const;
  void composeInto(float t, bool allLayers, int layerIndex);
  void composeInto(DibImage& canvas, float t, bool allLayers, int layerIndex);

  UiPort& port_;
  std::unique_ptr<LogSink> log_;
  Project project_;
  Project savedProject_;  // as last read or written, for `modified` after undo
  std::string projectFolder_;
  std::string projectFileName_;
  bool modified_ = false;
  bool noProjectLoaded_ = true;
  std::vector<int> drawList_;
  float totalTime_ = 0.0f;
  float currentTime_ = 0.0f;
  Source heldSource_;
  bool previewDragging_ = false;
  std::string lastSourcePattern_;
  std::vector<std::string> recent_;
  std::vector<std::pair<std::string, std::string>> exportChoices_;
  bool onionSkin_ = false;
  int onionCount_ = 2;
  std::vector<OnionFrame> onion_;
  int timelineShown_ = 1;
  bool busy_ = false;
  bool refuseGif_ = true;
  int debugLevel_ = 0;
  int fitToScreen_ = 1;
  std::optional<WindowPlacement> placement_;
  bool previewShown_ = false;
  bool totalMode_ = false;

  std::vector<TreeItem> tree_;
  int selectedTree_ = -1;
  int pendingNewLayer_ = -1;  // a layer being created: listed last until it has a number
  std::vector<std::array<std::string, kSourceColumns>> rows_;
  int selectedRow_ = -1;
  SliderState slider_;
  std::string title_ = "Pelorix";
  std::string timeText_ = _("スタティック");
  bool editingEnabled_ = false;

  DibImage canvas_;
  RowWorkers rowWorkers_;
  PictureStore pictures_;  // shared by the preview's compositors
  Compositor compositor_;
  Compositor onionCompositor_;  // its own kept canvas: the preview's stays
  UndoStack undo_;
  std::optional<UndoStack::Snapshot> editStart_;
  int editDepth_ = 0;  // open EditScopes

  bool playing_ = false;
  bool playbackStop_ = false;
  float playbackTime_ = 0.0f;
  std::unique_ptr<Playback> playback_;
  Playback::Clock playbackClock_;

  bool converting_ = false;
  int progressValue_ = 0;
  std::string progressText_;
  std::shared_ptr<ConversionListener> relay_;  // a ConversionRelay
  ConversionEngine engine_;
};

}  // namespace pelorix
