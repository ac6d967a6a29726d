// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's parts put together: settings, the command table's commands, keys, undo, close.
#include "app/editor.h"

#include "base/c_locale.h"
#include "base/i18n.h"

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
    : log_(std::make_unique<PortLog>(port)),
      session_(port, *log_),
      view_(session_),
      lists_(session_, view_),
      layers_(session_, lists_, view_, motion_),  // motion_ is used only later
      sources_(session_, lists_, view_),
      motion_(session_, lists_, view_),
      canvas_(session_, view_, motion_),
      timeline_(session_, lists_, view_),
      files_(session_, lists_, view_, layers_),
      playback_(session_, view_),
      output_(session_, view_, files_) {
  view_.setLayerChoice(
      [this] { return lists_.treeItems().empty() ? -1 : lists_.selectedLayerIndex(); });
  session_.setSelectionSource([this] {
    return std::pair{lists_.currentLayer(), lists_.selectedRow()};
  });
}

Editor::~Editor() {
  output_.abort();
}

void Editor::applySettings(const Settings& settings) {
  session_.setFile(settings.projectFolder, settings.projectFileName);
  output_.setSwitches(settings.refuseGif != 0, settings.debugLevel);
  output_.setExportChoices(settings.exportChoices);
  files_.setRecentProjects(settings.recentProjects);
  view_.onion().setCount(settings.onionFrames);
  fitToScreen_ = settings.fitToScreen;
  placement_ = settings.placement;
  timelineShown_ = settings.timelineShown;
}

Settings Editor::currentSettings() const {
  Settings settings;
  settings.debugLevel = output_.debugLevel();
  settings.projectFileName = session_.projectFileName();
  settings.projectFolder = session_.projectFolder();
  settings.fitToScreen = fitToScreen_;
  settings.placement = placement_;
  settings.refuseGif = output_.refuseGif() ? 1 : 0;
  settings.recentProjects = files_.recentProjects();
  settings.onionFrames = view_.onion().count();
  settings.timelineShown = timelineShown_;
  settings.exportChoices = output_.exportChoices();
  return settings;
}

bool Editor::closeRequested() {
  UiPort& port = session_.port();
  if (port.ask(_("終了しますか？")) != Answer::Yes) return false;
  if (session_.modified() && session_.project().layerCount > 0) {
    const Answer answer = port.ask(_("プロジェクトファイルを保存しますか？"));
    if (answer == Answer::Cancel) return false;
    // A save that fails keeps the window open, so the edits are not lost.
    if (answer == Answer::Yes &&
        !files_.saveProjectTo(session_.projectFolder() + session_.projectFileName())) {
      return false;
    }
  }
  playback_.stop();
  output_.abort();
  view_.setPreviewShown(false, false);
  return true;
}

void Editor::run(Command command) {
  switch (command) {
    case Command::NewLayer:
      return layers_.newLayer();
    case Command::LayerSettings:
      return layers_.layerSettings();
    case Command::DeleteLayer:
      return layers_.deleteLayer();
    case Command::NewSource:
      return sources_.newSource();
    case Command::SourceSettings:
      return sources_.sourceSettings();
    case Command::DeleteSource:
      return sources_.deleteSource();
    case Command::NewProject:
      return files_.newProjectCommand();
    case Command::LoadProject:
      return files_.loadProjectCommand();
    case Command::SaveProject:
      return files_.saveProjectCommand();
    case Command::SaveProjectAs:
      return files_.saveProjectAsCommand();
    case Command::ProjectSettings:
      return files_.projectSettings();
    case Command::About:
      return files_.about();
    case Command::Play:
      playback_.moviePressed();
      return;
    case Command::ConvertAll:
      return output_.convertAllPressed();
    case Command::Export:
      return output_.exportCommand();
    case Command::SaveFrame:
      return output_.screenSave();
    case Command::PageBack:
      return view_.page(-1);
    case Command::StepBack:
      return view_.step(-1);
    case Command::StepForward:
      return view_.step(1);
    case Command::PageForward:
      return view_.page(1);
    case Command::ShowPreview:
      return view_.setPreviewShown(!view_.previewShown());
    case Command::AllLayers:
      return view_.setTotalMode(!view_.totalMode());
    case Command::OnionSkin:
      return view_.setOnionSkin(!view_.onion().on());
    case Command::Undo:
      return undo();
    case Command::Redo:
      return redo();
    case Command::Quit:
      return;  // the window closes itself, through closeRequested()
    case Command::PlayFromHere:
      playback_.playFromHere(playback_.loop());
      return;
    case Command::LoopPlayback:
      return playback_.setLoop(!playback_.loop());
    case Command::AutoKey:
      return motion_.setAutoKey(!motion_.autoKey());
    case Command::WorkAreaOnly:
      return output_.setWorkAreaOnly(!output_.workAreaOnly());
    case Command::OutsideCamera:
      return view_.setOutsideCamera(!view_.outsideCamera());
    case Command::ShowHandles:
      canvas_.setOverlay(!canvas_.overlay());
      return session_.port().refresh(RefreshButtons | RefreshPreview);
  }
}

bool Editor::enabled(Command command) const {
  const bool editing = session_.editingEnabled();
  switch (command) {
    case Command::Undo:
      return session_.canUndo();
    case Command::Redo:
      return session_.canRedo();
    case Command::NewLayer:
      return editing && session_.project().layerCount < kMaxLayers;
    case Command::Export:
      return editing && !output_.converting();
    default:
      return !commandInfo(command).needsProject || editing;
  }
}

std::string Editor::whyDisabled(Command command) const {
  if (enabled(command)) return {};
  if (command == Command::NewLayer && session_.editingEnabled())
    return formatC(_("レイヤーは %d 枚までです。"), kMaxLayers);
  if (command == Command::Export && output_.converting()) return _("変換中は使えません。");
  if (commandInfo(command).needsProject && !session_.editingEnabled())
    return _("プロジェクトを開くか新しく作ると使えます。");
  return {};
}

std::string Editor::label(Command command) const {
  if (((command == Command::Play || command == Command::PlayFromHere) && playback_.playing()) ||
      (command == Command::ConvertAll && output_.converting())) {
    return _("中断");
  }
  return _(commandInfo(command).label);
}

bool Editor::checked(Command command) const {
  if (command == Command::ShowPreview) return view_.previewShown();
  if (command == Command::AllLayers) return view_.totalMode();
  if (command == Command::OnionSkin) return view_.onion().on();
  if (command == Command::LoopPlayback) return playback_.loop();
  if (command == Command::AutoKey) return motion_.autoKey();
  if (command == Command::WorkAreaOnly) return output_.workAreaOnly();
  if (command == Command::ShowHandles) return canvas_.overlay();
  if (command == Command::OutsideCamera) return view_.outsideCamera();
  return false;
}

bool Editor::handleKey(KeyFocus focus, Key key, bool down) {
  if (session_.busy()) return false;
  const std::optional<Command> command = keyCommand(focus, key);
  if (!command) return false;
  if (down) run(*command);
  return true;
}

void Editor::undo() {
  if (session_.busy() || !session_.canUndo() || session_.noProjectLoaded()) return;
  restore(session_.undo());
}

void Editor::redo() {
  if (session_.busy() || !session_.canRedo() || session_.noProjectLoaded()) return;
  restore(session_.redo());
}

// The project of an undo step is back: the lists, the draw list and the selection follow.
void Editor::restore(const UndoStack::Snapshot& snapshot) {
  lists_.setDragging(false);
  lists_.setSelectedItem(-1);
  lists_.fillTree();
  // The layer to show is selected before the redraw of the rebuilt draw list.
  const int item = lists_.treeItemOfLayer(snapshot.layerIndex);
  lists_.setSelectedItem(item);
  view_.rebuildDrawList();
  session_.setTitle();
  const Project& project = session_.project();
  session_.port().setPreviewFrameSize(project.outputWidth, project.outputHeight);
  session_.port().refresh(RefreshTree | RefreshButtons);
  if (item >= 0) {
    lists_.fillSourceList(snapshot.layerIndex);
    lists_.selectRow(snapshot.row);
  } else {
    lists_.clearRows();
  }
}

}  // namespace pelorix
