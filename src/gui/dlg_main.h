// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/editor.h"
#include "app/settings.h"

class QAction;
class QGridLayout;
class QHBoxLayout;
class QAudioOutput;
class QComboBox;
class QDockWidget;
class QMediaPlayer;
class QKeySequence;
class QMenu;
class QUrl;
class QLabel;
class QListWidget;
class QPushButton;
class QSplitter;
class QTreeWidget;

namespace pelorix::gui {

class CurveEditor;
class DlgDisp;
class DlgProgress;
class SourceList;
class TimeSlider;
class TimelineWidget;

// The main window: layer tree, message log, source list, buttons and time slider. It draws the
// editor's state and forwards every event to it; the decisions are the editor's.
class DlgMain : public QMainWindow, public UiPort {
  Q_OBJECT

 public:
  // `settingsPath` is the settings file; `project` opens instead of the previous project.
  DlgMain(std::string settingsPath, std::optional<std::string> project);
  ~DlgMain() override;

  Editor& editor() { return *editor_; }
  DlgDisp& preview() { return *preview_; }
  DlgProgress* progress() { return progress_; }
  // The button of a command (nothing for commands without one).
  QPushButton* button(Command command) const;
  // The menu item of a command (nothing for commands without one).
  QAction* action(Command command) const;
  TimelineWidget& timeline() { return *timeline_; }
  CurveEditor& curveEditor() { return *curveEditor_; }
  QDockWidget& timelineDock() { return *timelineDock_; }
  QComboBox& zoomBox() { return *zoomBox_; }
  // Runs a command as its button, key or menu item does.
  void run(Command command);
  // Files dropped on the window (local files only).
  void dropUrls(const QList<QUrl>& urls);

  // File dialogs; tests replace them.
  std::function<std::optional<std::string>(const std::string&)> projectFileChooser;
  std::function<std::optional<std::string>(const std::string&)> imageFileChooser;
  std::function<std::optional<std::string>(const std::string&, const std::string&)>
      projectSaveChooser;
  // The export dialog; tests replace it.
  std::function<bool(ExportValues&)> exportEditor;

  // UiPort
  Answer ask(const std::string& text) override;
  void notice(const std::string& text) override;
  void appendLog(const std::string& line) override;
  void showInformation(const std::string& text, InformationKind kind) override;
  void showStatus(const std::string& text) override;
  bool editLayer(LayerValues& values) override;
  bool editSource(SourceDialogValues& values) override;
  bool editProject(ProjectValues& values) override;
  bool editExport(ExportValues& values) override;
  std::optional<std::string> chooseProjectFile(const std::string& folder) override;
  std::optional<std::string> chooseProjectSaveFile(const std::string& folder,
                                                   const std::string& name) override;
  std::optional<std::string> chooseImageFile(const std::string& folder) override;
  void refresh(unsigned parts) override;
  void setPreviewFrameSize(int width, int height) override;
  void showPreview(bool shown) override;
  void post(std::function<void()> task) override;
  void playAudio(const AudioTrack& audio, double from) override;
  void stopAudio() override;
  std::optional<double> soundPosition() const override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;

 public:
  // The application-wide key filter of the shortcuts (public for the tests).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildWidgets();
  QWidget* buildLists(QWidget* central, QGridLayout* grid);
  void buildButtons(QWidget* rightPanel);
  QHBoxLayout* buildTransport(QWidget* central);
  QPushButton* makeButton(Command command, QWidget* parent);
  void buildMenus();
  void fillRecentMenu();
  QAction* addCommand(QMenu* menu, Command command, const QKeySequence& shortcut = {});
  void connectSignals();
  void readSettingsFile();
  void writeSettingsFile();
  void refreshTree();
  void refreshList();
  void refreshSlider();
  void refreshProgress();
  void moviePressed(Command command);
  void copyLogSelection();

  std::string settingsPath_;
  std::optional<std::string> startProject_;
  std::unique_ptr<Editor> editor_;
  DlgDisp* preview_ = nullptr;
  DlgProgress* progress_ = nullptr;

  QTreeWidget* layerTree_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QRect previewGeometry_;  // the preview's last place (from the settings or when closing)
  bool previewWasShown_ = false;
  QListWidget* log_ = nullptr;
  QLabel* timeLabel_ = nullptr;
  SourceList* sourceList_ = nullptr;
  TimeSlider* slider_ = nullptr;
  std::map<Command, QPushButton*> buttons_;
  std::map<Command, QAction*> actions_;
  QTimer movieTimer_;
  QMenu* recentMenu_ = nullptr;
  TimelineWidget* timeline_ = nullptr;
  QDockWidget* timelineDock_ = nullptr;
  QComboBox* zoomBox_ = nullptr;
  QMediaPlayer* player_ = nullptr;
  QAudioOutput* audioOutput_ = nullptr;
  QDockWidget* curveDock_ = nullptr;
  CurveEditor* curveEditor_ = nullptr;
  bool silenceSaid_ = false;  // the log said once that no sound device exists
  QTimer audioStart_;         // a sound that starts after the animation does
  double soundOffset_ = 0.0;  // the animation's time where the sound starts
  bool updating_ = false;     // set while widgets are filled from the editor's state
  bool started_ = false;
  bool closing_ = false;
};

}  // namespace pelorix::gui
