// SPDX-License-Identifier: GPL-3.0-or-later
#include "dlg_main.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeWidget>
#include <QUrl>

#include "curve_editor.h"
#include "dlg_disp.h"
#include "dlg_progress.h"
#include "layer_icons.h"
#include "qtr.h"
#include "source_list.h"
#include "time_slider.h"
#include "timeline_widget.h"
#include "toggle_button.h"
#include "updating.h"

namespace pelorix::gui {
namespace {

// The buttons under the source list, in two rows; the last one of the lower row is a toggle.
constexpr Command kUpperRow[] = {Command::NewLayer,   Command::LayerSettings, Command::NewSource,
                                 Command::NewProject, Command::LoadProject,   Command::Play,
                                 Command::ConvertAll};
constexpr Command kLowerRow[] = {Command::DeleteLayer, Command::SourceSettings,
                                 Command::DeleteSource, Command::ProjectSettings,
                                 Command::SaveProject};

Key keyOf(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Tab:
      return Key::Tab;
    case Qt::Key_Insert:
      return Key::Insert;
    case Qt::Key_Delete:
      return Key::Delete;
    case Qt::Key_PageUp:
      return Key::PageUp;
    case Qt::Key_PageDown:
      return Key::PageDown;
    case Qt::Key_Left:
      return Key::Left;
    case Qt::Key_Right:
      return Key::Right;
    case Qt::Key_Space:
      return Key::Space;
    default:
      return Key::Other;
  }
}

}  // namespace

DlgMain::DlgMain(std::string settingsPath, std::optional<std::string> project)
    : settingsPath_(std::move(settingsPath)), startProject_(std::move(project)) {
  setObjectName("DlgMain");
  setWindowTitle("Pelorix");
  setWindowIcon(applicationIcon());
  setAcceptDrops(true);
  editor_ = std::make_unique<Editor>(*this);
  buildWidgets();
  buildMenus();
  preview_ = new DlgDisp(*editor_, this);
  preview_->setWindowIcon(applicationIcon());
  connectSignals();
  readSettingsFile();
  movieTimer_.setTimerType(Qt::PreciseTimer);
  connect(&movieTimer_, &QTimer::timeout, this, [this] {
    if (!editor_->playback().playbackTick()) movieTimer_.stop();
  });
  qApp->installEventFilter(this);
  started_ = true;
  refresh(RefreshAll);
  editor_->startUp(startProject_);
  refresh(RefreshAll);
  if (previewGeometry_.isValid()) preview_->setGeometry(previewGeometry_);
  // The preview comes back where it was, shown when it was shown at the last close.
  if (previewWasShown_ && !editor_->session().noProjectLoaded())
    editor_->view().setPreviewShown(true);
}

DlgMain::~DlgMain() {
  qApp->removeEventFilter(this);
  movieTimer_.stop();
}

QPushButton* DlgMain::button(Command command) const {
  const auto it = buttons_.find(command);
  return it == buttons_.end() ? nullptr : it->second;
}

QAction* DlgMain::action(Command command) const {
  const auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

QPushButton* DlgMain::makeButton(Command command, QWidget* parent) {
  const CommandInfo& info = commandInfo(command);
  const bool toggle = command == Command::ShowPreview || command == Command::AllLayers;
  QPushButton* b =
      toggle ? new ToggleButton(qtr(info.label), parent) : new QPushButton(qtr(info.label), parent);
  b->setObjectName(info.name);
  b->setAutoDefault(false);
  buttons_[command] = b;
  return b;
}

void DlgMain::buildWidgets() {
  auto* central = new QWidget(this);
  auto* grid = new QGridLayout(central);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setHorizontalSpacing(6);
  QWidget* rightPanel = buildLists(central, grid);
  buildButtons(rightPanel);
  grid->addLayout(buildTransport(central), 2, 0, 1, 2);

  grid->setRowStretch(0, 1);
  setCentralWidget(central);
  // No narrower than the buttons and labels need: nothing is ever cut off.
  setMinimumSize(central->minimumSizeHint().expandedTo(QSize(720, 420)));
  statusBar()->setObjectName("status");

  // The timeline, under the lists; shown unless it was hidden at the last close.
  timelineDock_ = new QDockWidget(qtr("タイムライン"), this);
  timelineDock_->setObjectName("timelineDock");
  timeline_ = new TimelineWidget(*editor_, timelineDock_);
  timelineDock_->setWidget(timeline_);
  timelineDock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  addDockWidget(Qt::BottomDockWidgetArea, timelineDock_);
  // The curve editor, a tab beside the timeline.
  curveDock_ = new QDockWidget(qtr("カーブエディタ"), this);
  curveDock_->setObjectName("curveDock");
  curveEditor_ = new CurveEditor(*editor_, curveDock_);
  curveDock_->setWidget(curveEditor_);
  curveDock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
  addDockWidget(Qt::BottomDockWidgetArea, curveDock_);
  tabifyDockWidget(timelineDock_, curveDock_);
  timelineDock_->raise();
  resize(1000, 660);
  splitter_->setSizes({330, 670});
  sourceList_->setColumnShares(600);
}

// Left: the layer tree, the message log and the time; right: the sources (the buttons follow).
QWidget* DlgMain::buildLists(QWidget* central, QGridLayout* grid) {
  // The layer tree shows number and name, then the length in a column of its own, so lengths
  // line up whatever the font. A splitter lets the user give the log more room.
  auto* leftPanel = new QWidget(central);
  layerTree_ = new QTreeWidget(leftPanel);
  layerTree_->setObjectName("layerTree");
  layerTree_->setHeaderHidden(true);
  layerTree_->setRootIsDecorated(false);
  layerTree_->setColumnCount(3);
  log_ = new QListWidget(leftPanel);
  log_->setObjectName("messageLog");
  log_->setWordWrap(true);  // whole lines, paths included
  log_->setTextElideMode(Qt::ElideNone);
  log_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* copy = new QAction(log_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  log_->addAction(copy);
  connect(copy, &QAction::triggered, this, [this] { copyLogSelection(); });
  timeLabel_ = new QLabel(qtr("スタティック"), leftPanel);
  timeLabel_->setObjectName("timeText");

  auto* left = new QVBoxLayout(leftPanel);
  left->setContentsMargins(0, 0, 0, 0);
  left->addWidget(new QLabel(qtr("レイヤ番号"), leftPanel));
  left->addWidget(layerTree_, 3);
  left->addWidget(log_, 2);
  left->addWidget(timeLabel_);

  auto* rightPanel = new QWidget(central);
  auto* right = new QVBoxLayout(rightPanel);
  right->setContentsMargins(0, 0, 0, 0);
  sourceList_ = new SourceList(rightPanel);
  right->addWidget(sourceList_, 1);
  splitter_ = new QSplitter(Qt::Horizontal, central);
  splitter_->setObjectName("splitter");
  splitter_->addWidget(leftPanel);
  splitter_->addWidget(rightPanel);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 2);
  splitter_->setChildrenCollapsible(false);
  grid->addWidget(splitter_, 0, 0, 1, 2);
  return rightPanel;
}

// The buttons under the source list, in two rows.
void DlgMain::buildButtons(QWidget* rightPanel) {
  auto* right = static_cast<QVBoxLayout*>(rightPanel->layout());
  auto* buttonGrid = new QGridLayout;
  for (size_t i = 0; i < std::size(kUpperRow); ++i)
    buttonGrid->addWidget(makeButton(kUpperRow[i], rightPanel), 0, static_cast<int>(i));
  for (size_t i = 0; i < std::size(kLowerRow); ++i)
    buttonGrid->addWidget(makeButton(kLowerRow[i], rightPanel), 1, static_cast<int>(i));
  buttonGrid->addWidget(makeButton(Command::ShowPreview, rightPanel), 1, 6);
  right->addLayout(buttonGrid);
}

// The transport under everything: paging and stepping, the slider, screen save, all layers and
// the preview's zoom.
QHBoxLayout* DlgMain::buildTransport(QWidget* central) {
  auto* transport = new QHBoxLayout;
  for (Command step : {Command::PageBack, Command::StepBack}) {
    transport->addWidget(makeButton(step, central));
    button(step)->setMaximumWidth(32);
  }
  slider_ = new TimeSlider(central);
  transport->addWidget(slider_, 1);
  for (Command step : {Command::StepForward, Command::PageForward}) {
    transport->addWidget(makeButton(step, central));
    button(step)->setMaximumWidth(32);
  }
  transport->addWidget(makeButton(Command::SaveFrame, central));
  transport->addWidget(makeButton(Command::AllLayers, central));
  // The preview's zoom: the whole window, or a size of its own.
  zoomBox_ = new QComboBox(central);
  zoomBox_->setObjectName("zoom");
  zoomBox_->addItem(qtr("全体"), 0);
  for (int step : DlgDisp::zoomSteps())
    zoomBox_->addItem(QString("%1 %").arg(step), step);
  zoomBox_->setToolTip(qtr("出力画面の表示倍率 (+ と - でも変わります)"));
  transport->addWidget(zoomBox_);
  return transport;
}

void DlgMain::run(Command command) {
  // Playing needs the window's timer and quitting the window's close; every other command is
  // the editor's alone.
  if (command == Command::Play || command == Command::PlayFromHere) {
    moviePressed(command);
    return;
  }
  if (command == Command::Quit) {
    close();
    return;
  }
  editor_->run(command);
}

void DlgMain::connectSignals() {
  for (const auto& [command, b] : buttons_) {
    if (command == Command::ShowPreview || command == Command::AllLayers) {
      // A toggle says what it was set to; the window may have set it itself.
      connect(b, &QPushButton::toggled, this, [this, command = command](bool on) {
        if (updating_) return;
        if (command == Command::ShowPreview) editor_->view().setPreviewShown(on);
        if (command == Command::AllLayers) editor_->view().setTotalMode(on);
      });
    } else {
      connect(b, &QPushButton::clicked, this, [this, command = command] { run(command); });
    }
  }
  connect(layerTree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (updating_ || !item) return;
    editor_->lists().selectTreeItem(layerTree_->indexOfTopLevelItem(item));
    timeline_->showSelectedRow();
  });
  connect(timeline_, &TimelineWidget::playFromHereRequested, this,
          [this] { run(Command::PlayFromHere); });
  connect(layerTree_, &QTreeWidget::itemDoubleClicked, this,
          [this] { editor_->layers().layerSettings(); });
  connect(sourceList_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (!updating_ && item) editor_->lists().selectRow(sourceList_->indexOfTopLevelItem(item));
  });
  // A click on the empty area takes the highlight away: then no row is selected for the
  // editor either (Insert appends, Delete asks for a row).
  connect(sourceList_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!updating_ && sourceList_->selectedItems().isEmpty()) editor_->lists().selectRow(-1);
  });
  connect(sourceList_, &QTreeWidget::itemDoubleClicked, this,
          [this] { editor_->sources().sourceSettings(); });
  connect(sourceList_, &SourceList::rowMoveRequested, this,
          [this](int dragged, int target) { editor_->sources().moveRow(dragged, target); });
  connect(slider_, &QSlider::valueChanged, this, [this](int value) {
    if (!updating_) editor_->view().sliderChanged(value);
  });
  connect(zoomBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!updating_) preview_->setZoom(zoomBox_->itemData(index).toInt());
  });
  preview_->zoomChanged = [this](int percent) {
    Updating guard(updating_);
    const int index = zoomBox_->findData(percent);
    if (index >= 0) {
      zoomBox_->setCurrentIndex(index);
    } else {
      zoomBox_->setEditText(QString("%1 %").arg(percent));
    }
  };
}

void DlgMain::moviePressed(Command command) {
  PlaybackControl& playback = editor_->playback();
  const int period =
      command == Command::Play ? playback.moviePressed() : playback.playFromHere(playback.loop());
  if (period > 0) movieTimer_.start(period);
  refresh(RefreshButtons);
}

// ---- settings ----

void DlgMain::readSettingsFile() {
  ProfileFile profile;
  const bool existed = profile.load(settingsPath_);
  const Settings settings = readSettings(profile);
  editor_->applySettings(settings);
  if (settings.placement) {
    const WindowPlacement& p = *settings.placement;
    if (p.right > p.left && p.bottom > p.top)
      setGeometry(p.left, p.top, p.right - p.left, p.bottom - p.top);
    if (p.maximized()) setWindowState(windowState() | Qt::WindowMaximized);
  }
  if (settings.previewPlacement) {
    const WindowPlacement& p = *settings.previewPlacement;
    if (p.right > p.left && p.bottom > p.top)
      previewGeometry_ = QRect(p.left, p.top, p.right - p.left, p.bottom - p.top);
  }
  previewWasShown_ = settings.previewShown != 0;
  timelineDock_->setVisible(settings.timelineShown != 0);
  if (!existed) writeSettingsFile();  // a first start creates the file at once
}

void DlgMain::writeSettingsFile() {
  Settings settings = editor_->currentSettings();
  const QRect normal = isMaximized() ? normalGeometry() : geometry();
  WindowPlacement placement;
  placement.flags = isMaximized() ? 2 : 0;
  placement.showCmd = isMaximized() ? 3 : 1;
  placement.left = normal.left();
  placement.top = normal.top();
  placement.right = normal.left() + normal.width();
  placement.bottom = normal.top() + normal.height();
  settings.placement = placement;
  // The preview window's place and whether it was shown.
  const QRect preview = preview_->isVisible() ? preview_->geometry() : previewGeometry_;
  if (preview.isValid()) {
    WindowPlacement previewPlacement;
    previewPlacement.left = preview.left();
    previewPlacement.top = preview.top();
    previewPlacement.right = preview.left() + preview.width();
    previewPlacement.bottom = preview.top() + preview.height();
    settings.previewPlacement = previewPlacement;
  }
  settings.previewShown = previewWasShown_ ? 1 : 0;
  settings.timelineShown = timelineDock_->isHidden() ? 0 : 1;
  ProfileFile profile;
  profile.load(settingsPath_);
  writeSettings(profile, settings);
  std::string error;
  if (!profile.save(settingsPath_, &error)) appendLog(error);
}

// ---- events ----

void DlgMain::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  const bool previewShown = editor_->view().previewShown();
  if (preview_->isVisible()) previewGeometry_ = preview_->geometry();
  if (!editor_->closeRequested()) {
    event->ignore();
    return;
  }
  previewWasShown_ = previewShown;
  closing_ = true;
  movieTimer_.stop();
  stopAudio();
  writeSettingsFile();
  preview_->hide();
  event->accept();
}

void DlgMain::keyPressEvent(QKeyEvent* event) {
  // Escape goes through the close sequence like the close box.
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool DlgMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
  QWidget* focus = QApplication::focusWidget();
  // Shortcuts belong to the main window and the preview, not to dialogs and message boxes.
  if (!focus || watched != focus || (focus->window() != this && focus->window() != preview_))
    return false;
  auto* keyEvent = static_cast<QKeyEvent*>(event);
  const Key key = keyOf(keyEvent->key());
  if (key == Key::Other || keyEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
    return false;
  // Space pans in the preview and presses a focused button; elsewhere it plays from here, which
  // needs the window's timer.
  if (key == Key::Space) {
    if (focus->window() == preview_ || qobject_cast<QAbstractButton*>(focus)) return false;
    if (event->type() == QEvent::KeyPress && !keyEvent->isAutoRepeat()) run(Command::PlayFromHere);
    return true;
  }
  KeyFocus where = KeyFocus::Other;
  if (focus == sourceList_ || focus == slider_) where = KeyFocus::SourceListOrSlider;
  if (focus == layerTree_) where = KeyFocus::LayerTree;
  return editor_->handleKey(where, key, event->type() == QEvent::KeyPress);
}

void DlgMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void DlgMain::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  dropUrls(event->mimeData()->urls());
}

void DlgMain::dropUrls(const QList<QUrl>& urls) {
  std::vector<std::string> paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  editor_->sources().dropFiles(paths);
}

void DlgMain::copyLogSelection() {
  QStringList lines;
  for (QListWidgetItem* item : log_->selectedItems())
    lines << item->text();
  if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join('\n'));
}

void DlgMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  sourceList_->setColumnShares(sourceList_->viewport()->width());
}

}  // namespace pelorix::gui
