// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menus: File, Edit, View, Playback and Help, and the recent projects.
#include <QAction>
#include <QDockWidget>
#include <QFileInfo>
#include <QMenuBar>

#include "curve_editor.h"
#include "dlg_main.h"
#include "qtr.h"

namespace pelorix::gui {

QAction* DlgMain::addCommand(QMenu* menu, Command command, const QKeySequence& shortcut) {
  const CommandInfo& info = commandInfo(command);
  QAction* action = menu->addAction(qtr(info.label), this, [this, command] { run(command); });
  action->setObjectName(QString(info.name) + "Action");
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  actions_[command] = action;
  return action;
}

void DlgMain::buildMenus() {
  QMenu* file = menuBar()->addMenu(qtr("ファイル(&F)"));
  addCommand(file, Command::NewProject, QKeySequence::New);
  addCommand(file, Command::LoadProject, QKeySequence::Open);
  recentMenu_ = file->addMenu(qtr("最近のプロジェクト"));
  recentMenu_->setObjectName("recentMenu");
  connect(recentMenu_, &QMenu::aboutToShow, this, &DlgMain::fillRecentMenu);
  addCommand(file, Command::SaveProject, QKeySequence::Save);
  addCommand(file, Command::SaveProjectAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  file->addSeparator();
  addCommand(file, Command::Export, QKeySequence(Qt::CTRL | Qt::Key_E));
  addCommand(file, Command::SaveFrame);
  file->addSeparator();
  addCommand(file, Command::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
  QMenu* edit = menuBar()->addMenu(qtr("編集(&E)"));
  addCommand(edit, Command::Undo, QKeySequence(Qt::CTRL | Qt::Key_Z));
  addCommand(edit, Command::Redo, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z))
      ->setShortcuts(
          {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  QMenu* view = menuBar()->addMenu(qtr("表示(&V)"));
  QAction* timelineShown = timelineDock_->toggleViewAction();
  timelineShown->setObjectName("timelineAction");
  view->addAction(timelineShown);
  QAction* curvesShown = curveDock_->toggleViewAction();
  curvesShown->setObjectName("curveEditorAction");
  view->addAction(curvesShown);
  QAction* onion = addCommand(view, Command::OnionSkin, QKeySequence(Qt::Key_O));
  onion->setCheckable(true);
  onion->setShortcutContext(Qt::ApplicationShortcut);
  addCommand(view, Command::ShowHandles, QKeySequence(Qt::Key_H))->setCheckable(true);
  action(Command::ShowHandles)->setShortcutContext(Qt::ApplicationShortcut);
  addCommand(view, Command::OutsideCamera)->setCheckable(true);
  QMenu* play = menuBar()->addMenu(qtr("再生(&P)"));
  addCommand(play, Command::Play);
  // Space is read by the key filter (the preview pans with it); the menu shows it.
  addCommand(play, Command::PlayFromHere, QKeySequence(Qt::Key_Space))
      ->setShortcutContext(Qt::WidgetShortcut);
  addCommand(play, Command::LoopPlayback, QKeySequence(Qt::Key_L))->setCheckable(true);
  play->addSeparator();
  addCommand(play, Command::AutoKey, QKeySequence(Qt::Key_K))->setCheckable(true);
  addCommand(play, Command::WorkAreaOnly)->setCheckable(true);
  for (Command toggle : {Command::LoopPlayback, Command::AutoKey})
    action(toggle)->setShortcutContext(Qt::ApplicationShortcut);
  QMenu* help = menuBar()->addMenu(qtr("ヘルプ(&H)"));
  addCommand(help, Command::About);
}

// The projects opened lately; those that are gone are shown, but cannot be chosen.
void DlgMain::fillRecentMenu() {
  recentMenu_->clear();
  for (const std::string& path : editor_->files().recentProjects()) {
    const QString name = QString::fromStdString(path);
    QAction* item =
        recentMenu_->addAction(name, this, [this, path] { editor_->files().openRecent(path); });
    item->setEnabled(QFileInfo::exists(name) && !editor_->session().busy() &&
                     !editor_->output().converting());
  }
  if (recentMenu_->isEmpty()) recentMenu_->addAction(qtr("(なし)"))->setEnabled(false);
}

}  // namespace pelorix::gui
