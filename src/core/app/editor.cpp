// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's state and its shared routines: tree, list, draw list, slider, redraw,
// transport, keys, undo, start and close.
#include "app/editor.h"
#include "base/i18n.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include "app/texts.h"
#include "base/paths.h"
#include "model/extensions.h"
#include "render/draw_list.h"
#include "render/timeline.h"

namespace pelorix {

// Log lines of the compositor and of saves go to the window's message log.
class Editor::PortLog final : public LogSink {
 public:
  explicit PortLog(UiPort& port) : port_(port) {}
  void appendLog(const std::string& line) override { port_.appendLog(line); }

 private:
  UiPort& port_;
};

Editor::Editor(UiPort& port)
    : port_(port),
      log_(std::make_unique<PortLog>(port)),
      rowWorkers_(std::max(1, static_cast<int>(std::thread::hardware_concurrency()))),
      compositor_(*log_),
      onionCompositor_(*log_) {
  compositor_.setRowWorkers(&rowWorkers_);
  compositor_.setPictureStore(&pictures_);
  onionCompositor_.setRowWorkers(&rowWorkers_);
  onionCompositor_.setPictureStore(&pictures_);
}

Editor::~Editor() {
  engine_.abort();
  engine_.wait();
}

// ---- start and close ----

void Editor::applySettings(const Settings& settings) {
  debugLevel_ = settings.debugLevel;
  projectFileName_ = settings.projectFileName;
  projectFolder_ = settings.projectFolder;
  fitToScreen_ = settings.fitToScreen;
  placement_ = settings.placement;
  refuseGif_ = settings.refuseGif != 0;
  recent_ = settings.recentProjects;
  onionCount_ = std::clamp(settings.onionFrames, 1, 3);
  timelineShown_ = settings.timelineShown;
  exportChoices_ = settings.exportChoices;
}

Settings Editor::currentSettings() const {
  Settings settings;
  settings.debugLevel = debugLevel_;
  settings.projectFileName = projectFileName_;
  settings.projectFolder = projectFolder_;
  settings.fitToScreen = fitToScreen_;
  settings.placement = placement_;
  settings.refuseGif = refuseGif_ ? 1 : 0;
  settings.recentProjects = recent_;
  settings.onionFrames = onionCount_;
  settings.timelineShown = timelineShown_;
  settings.exportChoices = exportChoices_;
  return settings;
}

void Editor::startUp(const std::optional<std::string>& path) {
  if (!path) {
    // The very first start has no previous project: nothing to open, nothing to say.
    if (projectFileName_.empty()) {
      noProjectLoaded_ = true;
      setTitle();
      enableEditing(false);
      rebuildDrawList();
      port_.refresh(RefreshButtons);
      return;
    }
    openProject(projectFolder_ + projectFileName_);
    if (!noProjectLoaded_) rememberRecent(projectFolder_ + projectFileName_);
    return;
  }
  openProject(*path);
  if (!noProjectLoaded_) {
    projectFolder_ = folderOf(*path);
    projectFileName_ = fileNameOf(*path);
    rememberRecent(*path);
  }
}

void Editor::rememberRecent(const std::string& path) {
  std::error_code error;
  std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
  if (error) absolute = path;
  recent_.erase(std::remove(recent_.begin(), recent_.end(), absolute), recent_.end());
  recent_.insert(recent_.begin(), absolute);
  if (recent_.size() > static_cast<size_t>(kRecentProjects)) recent_.resize(kRecentProjects);
  port_.refresh(RefreshButtons);
}

bool Editor::closeRequested() {
  if (port_.ask(_("終了しますか？")) != Answer::Yes) return false;
  if (modified_ && project_.layerCount > 0) {
    const Answer answer = port_.ask(_("プロジェクトファイルを保存しますか？"));
    if (answer == Answer::Cancel) return false;
    // A save that fails keeps the window open, so the edits are not lost.
    if (answer == Answer::Yes && !saveProjectTo(projectFolder_ + projectFileName_)) return false;
  }
  playing_ = false;
  engine_.abort();
  engine_.wait();
  previewShown_ = false;
  return true;
}

// ---- window state ----

void Editor::setTitle() {
  // "[*]" is where the window shows that the project has unsaved changes.
  title_ = "Pelorix " + (noProjectLoaded_ ? std::string() : project_.name) + "[*]";
  port_.refresh(RefreshTitle);
}

void Editor::enableEditing(bool enabled) {
  editingEnabled_ = enabled;
  port_.refresh(RefreshControls);
}

// ---- commands ----

void Editor::run(Command command) {
  switch (command) {
    case Command::NewLayer:
      return newLayer();
    case Command::LayerSettings:
      return layerSettings();
    case Command::DeleteLayer:
      return deleteLayer();
    case Command::NewSource:
      return newSource();
    case Command::SourceSettings:
      return sourceSettings();
    case Command::DeleteSource:
      return deleteSource();
    case Command::NewProject:
      return newProjectCommand();
    case Command::LoadProject:
      return loadProjectCommand();
    case Command::SaveProject:
      return saveProjectCommand();
    case Command::ProjectSettings:
      return projectSettings();
    case Command::Play:
      moviePressed();
      return;
    case Command::ConvertAll:
      return convertAllPressed();
    case Command::SaveFrame:
      return screenSave();
    case Command::PageBack:
      return pageBack();
    case Command::StepBack:
      return stepBack();
    case Command::StepForward:
      return stepForward();
    case Command::PageForward:
      return pageForward();
    case Command::ShowPreview:
      return setPreviewShown(!previewShown_);
    case Command::AllLayers:
      return setTotalMode(!totalMode_);
    case Command::Undo:
      return undo();
    case Command::Redo:
      return redo();
    case Command::About:
      return about();
    case Command::SaveProjectAs:
      return saveProjectAsCommand();
    case Command::Export:
      return exportCommand();
    case Command::Quit:
      return;  // the window closes itself, through closeRequested()
    case Command::OnionSkin:
      onionSkin_ = !onionSkin_;
      port_.refresh(RefreshButtons);
      return redraw(currentTime_);
  }
}

bool Editor::enabled(Command command) const {
  switch (command) {
    case Command::Undo:
      return canUndo();
    case Command::Redo:
      return canRedo();
    case Command::NewLayer:
      return editingEnabled_ && project_.layerCount < kMaxLayers;
    case Command::Export:
      return editingEnabled_ && !converting_;
    default:
      return !commandInfo(command).needsProject || editingEnabled_;
  }
}

std::string Editor::label(Command command) const {
  if ((command == Command::Play && playing_) || (command == Command::ConvertAll && converting_))
    return _("中断");
  return _(commandInfo(command).label);
}

bool Editor::checked(Command command) const {
  if (command == Command::ShowPreview) return previewShown_;
  if (command == Command::AllLayers) return totalMode_;
  if (command == Command::OnionSkin) return onionSkin_;
  return false;
}

void Editor::markModified() {
  modified_ = true;
  port_.refresh(RefreshButtons | RefreshTitle);
}

TreeItem Editor::treeItemOf(int layerIndex) const {
  const Layer& layer = project_.layers[static_cast<size_t>(layerIndex)];
  const BlendMode mode = blendModeOf(layer.effects);
  return {layerIndex, layerItemText(layer),
          layer.visible != 0 ? LayerIcon::Shown : LayerIcon::Hidden,
          mode == BlendMode::Normal ? std::string()
                                    : _(blendModeNames()[static_cast<size_t>(mode)].label)};
}

int Editor::treeItemOfLayer(int layerIndex) const {
  for (size_t i = 0; i < tree_.size(); ++i) {
    if (tree_[i].layerIndex == layerIndex) return static_cast<int>(i);
  }
  return -1;
}

void Editor::fillTree() {
  const int selectedLayer = selectedTree_ >= 0 && selectedTree_ < static_cast<int>(tree_.size())
                                ? tree_[static_cast<size_t>(selectedTree_)].layerIndex
                                : -1;
  tree_.clear();
  std::vector<int> order = treeOrder(project_);
  if (pendingNewLayer_ >= 0) {
    // A layer being created is listed last until its settings give it a number.
    order.erase(std::remove(order.begin(), order.end(), pendingNewLayer_), order.end());
    order.push_back(pendingNewLayer_);
  }
  for (int index : order)
    tree_.push_back(treeItemOf(index));
  selectedTree_ = treeItemOfLayer(selectedLayer);
  port_.refresh(RefreshTree);
}

void Editor::updateTreeItemOf(int layerIndex) {
  const int item = treeItemOfLayer(layerIndex);
  if (item < 0) return;
  tree_[static_cast<size_t>(item)] = treeItemOf(layerIndex);
  port_.refresh(RefreshTree);
}

int Editor::selectedLayerIndex() {
  if (noProjectLoaded_) return -1;
  if (selectedTree_ < 0 || selectedTree_ >= static_cast<int>(tree_.size())) {
    port_.notice(_("レイヤーを選択して下さい。"));
    return -1;
  }
  return tree_[static_cast<size_t>(selectedTree_)].layerIndex;
}

void Editor::selectTreeItem(int item) {
  selectedTree_ = item >= 0 && item < static_cast<int>(tree_.size()) ? item : -1;
  port_.refresh(RefreshTree);
  if (selectedTree_ < 0) return;
  const int index = selectedLayerIndex();
  if (index < 0) return;
  fillSourceList(index);
  selectRow(0);
}

void Editor::fillSourceList(int layerIndex) {
  rows_.clear();
  const Layer& layer = project_.layers[static_cast<size_t>(layerIndex)];
  for (size_t i = 0; i < layer.sources.size(); ++i) {
    rows_.push_back(sourceRowTexts(layer.sources[i], static_cast<int>(i)));
  }
  selectedRow_ = -1;
  port_.refresh(RefreshList);
}

void Editor::selectRow(int row) {
  if (row < 0 || row >= static_cast<int>(rows_.size())) {
    selectedRow_ = -1;
    port_.refresh(RefreshList);
    return;
  }
  selectedRow_ = row;
  port_.refresh(RefreshList);
  listItemChanged();
}

// Selecting a source moves the time half a frame into it and marks its span on the slider.
void Editor::listItemChanged() {
  const int index = selectedLayerIndex();
  if (index < 0 || selectedRow_ < 0) return;
  const Layer& layer = project_.layers[static_cast<size_t>(index)];
  const Source& source = layer.sources[static_cast<size_t>(selectedRow_)];
  const float start = selectedSourceTime(layer, selectedRow_, project_.fps);
  currentTime_ = start;
  if (!previewDragging_) heldSource_ = source;
  slider_.selectionStart = sliderPositionOfTime(start, project_.fps);
  slider_.selectionEnd = sliderPositionOfTime(start + source.duration, project_.fps);
  setSliderPosition(sliderPositionOfTime(currentTime_, project_.fps));
}

void Editor::rebuildDrawList() {
  const DrawList list = buildDrawList(project_);
  drawList_ = list.layers;
  totalTime_ = list.totalTime;
  if (currentTime_ > totalTime_) currentTime_ = totalTime_;
  slider_.maximum = std::max(0, sliderRange(totalTime_, project_.fps));
  slider_.pageSize = std::max(slider_.maximum / 100, 30);
  slider_.lineSize = 1;
  setSliderPosition(sliderPositionOfTime(currentTime_, project_.fps));
}

void Editor::setSliderPosition(int position) {
  slider_.position = std::clamp(position, 0, slider_.maximum);
  port_.refresh(RefreshSlider);
  sliderChanged(slider_.position);
}

float Editor::frameStep() const {
  return project_.fps > 0.0f ? 1.0f / project_.fps : 0.0f;
}

// ---- transport ----

void Editor::sliderChanged(int position) {
  slider_.position = std::clamp(position, 0, slider_.maximum);
  currentTime_ = timeOfSliderPosition(slider_.position, project_.fps);
  redraw(currentTime_);
  timeText_ = pelorix::timeText(currentTime_, totalTime_);
  port_.refresh(RefreshTime);
}

void Editor::pageBack() {
  setSliderPosition(slider_.position - slider_.pageSize);
}
void Editor::stepBack() {
  setSliderPosition(slider_.position - slider_.lineSize);
}
void Editor::stepForward() {
  setSliderPosition(slider_.position + slider_.lineSize);
}
void Editor::pageForward() {
  setSliderPosition(slider_.position + slider_.pageSize);
}

void Editor::composeInto(float t, bool allLayers, int layerIndex) {
  composeInto(canvas_, t, allLayers, layerIndex);
}

// A frame where nothing draws (its picture failed to load, or no layer shows) is blank: the
// preview never keeps a frame of another moment or another project.
void Editor::composeInto(DibImage& canvas, float t, bool allLayers, int layerIndex) {
  compositor_.setProjectFolder(projectFolder_);
  bool drawn = false;
  if (allLayers) {
    drawn = compositor_.composeFrame(canvas, project_, drawList_, t);
  } else {
    const int single[] = {layerIndex};
    drawn = compositor_.composeFrame(canvas, project_, single, t);
  }
  if (!drawn && !compositor_.makeBlankFrame(canvas, project_)) canvas = DibImage();
}

void Editor::clearCanvas() {
  canvas_ = DibImage();
  onion_.clear();
  port_.refresh(RefreshPreview);
}

// The onion skin shows the layer being edited, alone on a transparent ground, at the frames
// around the current one, where it differs from the layer now: its motion, whatever lies under
// it (a layer that stands still shows nothing).
void Editor::composeOnion(float t) {
  onion_.resize(onionSkin_ && !playing_ ? static_cast<size_t>(2 * onionCount_) : 0);
  if (onion_.empty()) return;
  const int index = tree_[static_cast<size_t>(selectedTree_)].layerIndex;
  const int single[] = {index};
  Project alone = project_;
  alone.options |= projectTransparentBackground;
  onionCompositor_.setProjectFolder(projectFolder_);
  DibImage now;
  if (!onionCompositor_.composeFrame(now, alone, single, t)) now = DibImage();
  size_t at = 0;
  for (int offset = -onionCount_; offset <= onionCount_; ++offset) {
    if (offset == 0) continue;
    OnionFrame& frame = onion_[at++];
    frame.offset = offset;
    const float when = t + static_cast<float>(offset) * frameStep();
    if (when < 0.0f || when > totalTime_ ||
        !onionCompositor_.composeFrame(frame.canvas, alone, single, when)) {
      frame.canvas = DibImage();
      continue;
    }
    if (now.empty() || now.width() != frame.canvas.width() ||
        now.height() != frame.canvas.height()) {
      continue;
    }
    for (int y = 0; y < now.height(); ++y) {
      auto* ghost = reinterpret_cast<uint32_t*>(frame.canvas.row(y));
      const auto* current = reinterpret_cast<const uint32_t*>(now.row(y));
      for (int x = 0; x < now.width(); ++x) {
        if (ghost[x] == current[x]) ghost[x] = 0;
      }
    }
  }
}

void Editor::redraw(float t) {
  if (!previewShown_ || tree_.empty()) return;  // nothing to draw, nothing to select
  const int index = selectedLayerIndex();
  if (index < 0) return;
  composeInto(t, totalMode_, index);
  composeOnion(t);
  port_.refresh(RefreshPreview);
}

void Editor::setPreviewShown(bool shown, bool moveWindow) {
  previewShown_ = shown;
  port_.refresh(RefreshButtons);
  if (shown) redraw(currentTime_);
  if (moveWindow) port_.showPreview(shown);
}

void Editor::setTotalMode(bool total) {
  totalMode_ = total;
  port_.refresh(RefreshButtons);
  redraw(currentTime_);
}

bool Editor::handleKey(KeyFocus focus, Key key, bool down) {
  if (busy_) return false;
  const std::optional<Command> command = keyCommand(focus, key);
  if (!command) return false;
  if (down) run(*command);
  return true;
}

// ---- undo ----

void Editor::beginEdit() {
  if (editStart_) return;
  const int layer = selectedTree_ >= 0 && selectedTree_ < static_cast<int>(tree_.size())
                        ? tree_[static_cast<size_t>(selectedTree_)].layerIndex
                        : -1;
  editStart_ = UndoStack::Snapshot{project_, layer, selectedRow_};
}

void Editor::commitEdit() {
  if (!editStart_) return;
  if (!(editStart_->project == project_)) undo_.push(std::move(*editStart_));
  editStart_.reset();
  port_.refresh(RefreshButtons);
}

void Editor::undo() {
  if (busy_ || !undo_.canUndo() || noProjectLoaded_) return;
  const int layer = selectedTree_ >= 0 ? tree_[static_cast<size_t>(selectedTree_)].layerIndex : -1;
  restore(undo_.undo({project_, layer, selectedRow_}));
}

void Editor::redo() {
  if (busy_ || !undo_.canRedo() || noProjectLoaded_) return;
  const int layer = selectedTree_ >= 0 ? tree_[static_cast<size_t>(selectedTree_)].layerIndex : -1;
  restore(undo_.redo({project_, layer, selectedRow_}));
}

void Editor::restore(const UndoStack::Snapshot& snapshot) {
  project_ = snapshot.project;
  modified_ = !(project_ == savedProject_);
  previewDragging_ = false;
  selectedTree_ = -1;
  fillTree();
  // The layer to show is selected before the redraw of the rebuilt draw list.
  const int item = treeItemOfLayer(snapshot.layerIndex);
  selectedTree_ = item;
  rebuildDrawList();
  setTitle();
  port_.setPreviewFrameSize(project_.outputWidth, project_.outputHeight);
  port_.refresh(RefreshTree | RefreshButtons);
  if (item >= 0) {
    fillSourceList(snapshot.layerIndex);
    selectRow(snapshot.row);
  } else {
    rows_.clear();
    selectedRow_ = -1;
    port_.refresh(RefreshList);
  }
}

}  // namespace pelorix
