// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt windows under the offscreen platform: dialog validation and data exchange, and the
// main window driving the editor on the demo project.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QAudioDevice>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "../core/app/scripted_port.h"
#include "app/texts.h"
#include "audio_scrub.h"
#include "base/i18n.h"
#include "curve_editor.h"
#include "dialogs/dlg_export.h"
#include "dialogs/dlg_layer_setting.h"
#include "dialogs/dlg_prj_setting.h"
#include "dialogs/dlg_src_setting.h"
#include "dialogs/dlg_version.h"
#include "dlg_disp.h"
#include "dlg_main.h"
#include "dlg_progress.h"
#include "imageio/video_module_loader.h"
#include "languages.h"
#include "message_box.h"
#include "model/extensions.h"
#include "output/formats.h"
#include "qtr.h"
#include "timeline_widget.h"

namespace pelorix::gui {
namespace {

// Message boxes answered by the test; what they said is kept.
struct Boxes {
  Boxes() {
    setMessageHooks([this](const QString& text) { notices.push_back(text.toStdString()); },
                    [this](const QString& text) {
                      questions.push_back(text.toStdString());
                      return answer;
                    },
                    [this](const QString& text) { information.push_back(text.toStdString()); });
  }
  ~Boxes() { setMessageHooks(nullptr, nullptr); }
  std::vector<std::string> notices, questions, information;
  BoxAnswer answer = BoxAnswer::Yes;
};

template <typename T>
T* child(QWidget& parent, const char* name) {
  T* found = parent.findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

TEST(LayerDialog, ValidatesNumbersAndColours) {
  Boxes boxes;
  LayerValues values{5, "bg", 1, 6, 10, 20, 30};
  DlgLayerSetting dialog(values);
  EXPECT_EQ(child<QLineEdit>(dialog, "number")->text(), "5");
  EXPECT_TRUE(child<QPushButton>(dialog, "colorKey")->isChecked());
  EXPECT_FALSE(child<QPushButton>(dialog, "interpolate")->isChecked());

  child<QLineEdit>(dialog, "number")->setText("");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(boxes.notices.back(), "Please enter an integer.");

  child<QLineEdit>(dialog, "number")->setText("12abc");
  child<QLineEdit>(dialog, "green")->setText("256");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(boxes.notices.back(), "Please enter an integer between 0 and 255.");

  child<QLineEdit>(dialog, "green")->setText("128");
  child<QLineEdit>(dialog, "red")->setText("255");
  child<QLineEdit>(dialog, "blue")->setText("0");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().number, 12);
  EXPECT_EQ(dialog.values().effects, 6);  // colour key and the picture's transparency
  EXPECT_EQ(dialog.values().red, 255);
  EXPECT_EQ(dialog.values().green, 128);
  EXPECT_EQ(dialog.values().blue, 0);

  DlgLayerSetting both(values);
  child<QPushButton>(both, "interpolate")->setChecked(true);
  child<QPushButton>(both, "visible")->setChecked(false);
  both.accept();
  EXPECT_EQ(both.values().effects, 7);
  EXPECT_EQ(both.values().visible, 0);

  // The blend mode is a choice of its own beside the toggles.
  values.effects = withBlendMode(effectInterpolate, BlendMode::Multiply);
  DlgLayerSetting mode(values);
  EXPECT_EQ(child<QComboBox>(mode, "blendMode")->currentIndex(), 2);
  child<QComboBox>(mode, "blendMode")->setCurrentIndex(3);
  mode.accept();
  EXPECT_EQ(blendModeOf(mode.values().effects), BlendMode::Screen);
  EXPECT_EQ(mode.values().effects & 7, effectInterpolate);
}

TEST(SourceDialog, ExchangesTwoDecimalTextsAndKeepsThePluginText) {
  Boxes boxes;
  SourceDialogValues values;
  values.source.file = "a.bmp";
  values.source.duration = 1.0f / 30.0f;
  values.source.flags = 5;
  values.source.pluginText = "hidden text";
  values.browseFolder = "/proj/";
  DlgSrcSetting dialog(values);
  EXPECT_EQ(child<QLineEdit>(dialog, "duration")->text(), "0.03");
  EXPECT_EQ(child<QLineEdit>(dialog, "scale")->text(), "1.00");
  EXPECT_FALSE(child<QLineEdit>(dialog, "plugin")->isVisibleTo(&dialog));
  // Nonsense and values out of range are refused, naming the field and its range.
  child<QLineEdit>(dialog, "x")->setText("abc");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(boxes.notices.back(), "「X」には -1000000 から 1000000 までの数を入れてください。");
  child<QLineEdit>(dialog, "x")->setText("12.5");
  child<QLineEdit>(dialog, "opacity")->setText("2");
  dialog.accept();
  EXPECT_EQ(boxes.notices.back(), "「透明度」には 0 から 1 までの数を入れてください。");
  child<QLineEdit>(dialog, "opacity")->setText("0.5");
  child<QPushButton>(dialog, "autoCalc")->setChecked(false);
  dialog.chooseImage = [](const QString& folder, const QString&) { return folder + "img/pic.png"; };
  child<QPushButton>(dialog, "browse")->click();
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const Source& s = dialog.values().source;
  EXPECT_EQ(s.duration, 0.03f);
  EXPECT_EQ(s.x, 12.5f);
  EXPECT_EQ(s.opacity, 0.5f);
  EXPECT_EQ(s.flags, 4);  // the toggle is off; the easing (bits 2-4: ease out) stays
  EXPECT_EQ(s.pluginText, "hidden text");
  EXPECT_EQ(s.file, "img/pic.png");  // below the project folder: stored relative
  EXPECT_EQ(dialog.values().pickedExtension, "png");
}

TEST(ProjectDialog, RatesAndBrowseKeepsTypedFields) {
  Boxes boxes;
  ProjectValues values{"demo.pxp", "demo", "out", "frame", 320, 240, "29.97", "png"};
  DlgPrjSetting dialog(values);
  EXPECT_EQ(child<QLineEdit>(dialog, "fps")->text(), "29.97");
  child<QLineEdit>(dialog, "fps")->setText("12,5");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(boxes.notices.back(),
            "「フレームレート（FPS)」には 1 から 1000 までの数を入れてください。");
  child<QLineEdit>(dialog, "fps")->setText("0");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  child<QLineEdit>(dialog, "fps")->setText(" 30000/1001");
  child<QLineEdit>(dialog, "name")->setText("typed");
  dialog.chooseFolder = [](const QString&) { return QString("/tmp/chosen"); };
  child<QPushButton>(dialog, "browse")->click();
  EXPECT_EQ(child<QLineEdit>(dialog, "saveFolder")->text(), "/tmp/chosen/");
  EXPECT_EQ(child<QLineEdit>(dialog, "name")->text(), "typed");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().fps, "30000/1001");
  EXPECT_EQ(dialog.values().name, "typed");
  EXPECT_TRUE(dialog.values().audioOffset.empty());  // defaults are not written
}

TEST(VersionDialog, OneRowPerLine) {
  DlgVersion dialog("a\n\nb\nlast without line feed", "t");
  EXPECT_EQ(dialog.lines()->count(), 4);
  EXPECT_EQ(dialog.lines()->item(3)->text(), "last without line feed");
}

// The main window on a copy of the demo project, with its own settings file.
struct MainWindow {
  MainWindow() : window(demo.dir.file("settings/pelorix.txt"), demo.project()) {
    window.show();
    QApplication::processEvents();
  }
  Editor& editor() { return window.editor(); }
  test::DemoCopy demo;
  Boxes boxes;
  DlgMain window;
};

TEST(MainWindow, StartsOnTheDemoProject) {
  MainWindow m;
  EXPECT_EQ(m.window.windowTitle(), "Pelorix Pelorix demo[*]");  // Qt shows "*" when modified
  EXPECT_FALSE(m.window.isWindowModified());
  auto* tree = child<QTreeWidget>(m.window, "layerTree");
  ASSERT_EQ(tree->topLevelItemCount(), 4);
  EXPECT_TRUE(tree->topLevelItem(0)->text(0).startsWith("01 :"));
  EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
  EXPECT_EQ(child<QTreeWidget>(m.window, "sourceList")->topLevelItemCount(), 1);
  EXPECT_EQ(m.window.button(Command::Play)->text(), "動画表示");
  EXPECT_TRUE(test::fileExists(m.demo.dir.file("settings/pelorix.txt")));  // created at first start

  // Clicking another layer shows its sources.
  tree->setCurrentItem(tree->topLevelItem(2));
  EXPECT_EQ(child<QTreeWidget>(m.window, "sourceList")->topLevelItemCount(), 6);
  EXPECT_EQ(m.editor().lists().selectedRow(), 0);
}

TEST(MainWindow, ConvertAllWritesTheFramesAndTheLog) {
  MainWindow m;
  m.window.button(Command::ConvertAll)->click();
  EXPECT_EQ(m.window.button(Command::ConvertAll)->text(), "中断");
  ASSERT_NE(m.window.progress(), nullptr);
  EXPECT_TRUE(child<QPushButton>(*m.window.progress(), "stop")->isVisible());
  m.editor().output().waitForConversion();
  for (int i = 0; i < 20 && m.editor().output().converting(); ++i)
    QApplication::processEvents();
  EXPECT_EQ(m.window.button(Command::ConvertAll)->text(), "全変換");
  EXPECT_EQ(m.window.progress(), nullptr);
  EXPECT_TRUE(test::fileExists(m.demo.dir.file("out/frame0036.png")));
  auto* log = child<QListWidget>(m.window, "messageLog");
  QStringList lines;
  for (int i = 0; i < log->count(); ++i)
    lines << log->item(i)->text();
  EXPECT_TRUE(lines.contains("トータルタイム　3.00　画面数　36")) << lines.join("|").toStdString();
  EXPECT_TRUE(lines.last().startsWith("変換時間は"));
}

TEST(MainWindow, PreviewPaintsTheCanvasAndScreenSaveWritesIt) {
  MainWindow m;
  child<QTreeWidget>(m.window, "layerTree")
      ->setCurrentItem(child<QTreeWidget>(m.window, "layerTree")->topLevelItem(0));
  child<QPushButton>(m.window, "showPreview")->click();
  EXPECT_TRUE(m.window.preview().isVisible());
  ASSERT_FALSE(m.editor().view().canvas().empty());
  DlgDisp& preview = m.window.preview();
  const DibImage& canvas = m.editor().view().canvas();
  auto paintedAsCanvas = [&] {
    const QImage painted = preview.grab().toImage();
    EXPECT_EQ(painted.width(), canvas.width());
    int same = 0;
    for (const QPoint p : {QPoint(0, 0), QPoint(160, 120), QPoint(319, 239)}) {
      const uint8_t* pixel = canvas.row(p.y()) + 4 * p.x();
      same += painted.pixel(p) == qRgb(pixel[2], pixel[1], pixel[0]);
    }
    return same == 3;
  };
  // The selected layer's handles are drawn over the frame (its corners and its pivot).
  EXPECT_FALSE(paintedAsCanvas());
  // A left drag on the picture moves the layer, as one undo step.
  auto left = [&preview](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, preview.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&preview, &event);
  };
  const MotionTarget position{1, MotionProperty::Position};
  left(QEvent::MouseButtonPress, {100, 60}, Qt::LeftButton);
  left(QEvent::MouseMove, {110, 65}, Qt::LeftButton);
  left(QEvent::MouseMove, {120, 70}, Qt::LeftButton);
  left(QEvent::MouseButtonRelease, {120, 70}, Qt::NoButton);
  ASSERT_TRUE(m.editor().motion().track(position));
  // (stored as the sources store placements: a move right and down is negative)
  EXPECT_EQ(m.editor().motion().valueAt(position, 0.0), (std::array<double, 2>{-20.0, -10.0}));
  m.window.run(Command::Undo);
  EXPECT_FALSE(m.editor().motion().track(position));
  // H hides them: the frame as composed.
  m.window.action(Command::ShowHandles)->trigger();
  EXPECT_TRUE(paintedAsCanvas());
  EXPECT_EQ(m.window.preview().colorAt(QPoint(160, 120)),
            static_cast<uint32_t>(canvas.row(120)[4 * 160 + 2]) |
                canvas.row(120)[4 * 160 + 1] << 8 | canvas.row(120)[4 * 160] << 16);
  EXPECT_EQ(m.window.preview().colorAt(QPoint(-5, 10)), 0xFFFFFFFFu);

  const std::string shot = m.demo.dir.file("shots/frame.png");
  m.window.imageFileChooser = [&shot](const std::string&) { return shot; };
  m.window.button(Command::SaveFrame)->click();
  EXPECT_TRUE(test::fileExists(shot));

  // Escape in the preview clears the check box and hides it.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&m.window.preview(), &escape);
  EXPECT_FALSE(m.window.preview().isVisible());
  EXPECT_FALSE(child<QPushButton>(m.window, "showPreview")->isChecked());
}

TEST(MainWindow, DroppedFilesBecomeSources) {
  MainWindow m;
  m.window.dropUrls({QUrl::fromLocalFile("/tmp/a.png"), QUrl("https://example.org/x.png"),
                     QUrl::fromLocalFile("/tmp/b.png")});
  const auto& sources = m.editor().session().project().layers[0].sources;
  ASSERT_EQ(sources.size(), 3u);
  EXPECT_EQ(sources[0].file, "/tmp/a.png");
  EXPECT_EQ(sources[1].file, "/tmp/b.png");
  EXPECT_EQ(m.editor().lists().selectedRow(), 0);
}

TEST(MainWindow, InsertOnTheTreeOpensTheLayerDialog) {
  MainWindow m;
  auto* tree = child<QTreeWidget>(m.window, "layerTree");
  tree->setFocus();
  bool dialogSeen = false;
  QTimer::singleShot(0, [&dialogSeen] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      dialogSeen = dialog->objectName() == "DlgLayerSetting";
      dialog->reject();
    }
  });
  QKeyEvent insert(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
  QApplication::sendEvent(tree, &insert);
  EXPECT_TRUE(dialogSeen);
  EXPECT_EQ(m.editor().session().project().layerCount, 4);  // cancelled: no new layer
}

TEST(MainWindow, ArrowKeysStepTheSliderUnlessAListHasTheFocus) {
  MainWindow m;
  m.window.activateWindow();
  m.window.button(Command::ConvertAll)->setFocus();
  const int before = m.editor().view().slider().position;
  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(m.window.button(Command::ConvertAll), &right);
  EXPECT_EQ(m.editor().view().slider().position, before + 1);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
  EXPECT_TRUE(m.window.eventFilter(m.window.button(Command::ConvertAll),
                                   &release));  // swallowed, nothing run
  EXPECT_EQ(m.editor().view().slider().position, before + 1);
  auto* list = child<QTreeWidget>(m.window, "sourceList");
  list->setFocus();
  QKeyEvent onList(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
  QApplication::sendEvent(list, &onList);
  EXPECT_EQ(m.editor().view().slider().position, before + 1);
}

// The preview keeps the proportions of the frame size set last (not of the picture it shows),
// and a frame larger than the screen is shown at a whole fraction of its size.
TEST(MainWindow, PreviewFollowsTheFrameSize) {
  MainWindow m;
  DlgDisp& preview = m.window.preview();
  child<QPushButton>(m.window, "showPreview")->click();
  preview.setFrameSize(1920, 1080);
  preview.resize(700, 700);
  QApplication::processEvents();
  EXPECT_NEAR(static_cast<double>(preview.width()) / preview.height(), 16.0 / 9.0, 0.01);
  preview.setFrameSize(320, 240);
  preview.resize(600, 300);
  QApplication::processEvents();
  EXPECT_NEAR(static_cast<double>(preview.width()) / preview.height(), 4.0 / 3.0, 0.01);
  preview.setFrameSize(16000, 9000);
  const QSize room = preview.screen()->availableGeometry().size();
  EXPECT_LE(preview.width(), room.width()) << room.width();
  EXPECT_LE(preview.height(), room.height());
  EXPECT_GT(preview.width(), room.width() / 2);  // the largest fraction that fits
  EXPECT_NEAR(static_cast<double>(preview.width()) / preview.height(), 16.0 / 9.0, 0.01);
}

// Picking the transparent colour ends with the title given back, whichever way it ends.
TEST(MainWindow, PickingGivesTheTitleBack) {
  MainWindow m;
  DlgDisp& preview = m.window.preview();
  child<QPushButton>(m.window, "showPreview")->click();
  const QString title = preview.windowTitle();
  auto mouse = [&preview](QEvent::Type type, Qt::MouseButton button) {
    QMouseEvent event(type, QPointF(10, 10), preview.mapToGlobal(QPointF(10, 10)), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(&preview, &event);
  };
  mouse(QEvent::MouseButtonDblClick, Qt::MiddleButton);
  EXPECT_EQ(preview.windowTitle(), "透過色選択開始");
  mouse(QEvent::MouseButtonPress, Qt::RightButton);
  mouse(QEvent::MouseButtonRelease, Qt::RightButton);
  EXPECT_EQ(preview.windowTitle(), title);
  // A drag with no source chosen says so once and leaves the mouse free.
  Boxes boxes;
  m.editor().lists().selectRow(-1);
  mouse(QEvent::MouseButtonPress, Qt::RightButton);
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  mouse(QEvent::MouseMove, Qt::RightButton);
  mouse(QEvent::MouseButtonRelease, Qt::RightButton);
  EXPECT_EQ(boxes.notices, std::vector<std::string>{"リストが選択されていません"});
}

// Daily use: the empty area of the source list deselects for the editor too, toggles show their
// state, no button label is cut at the smallest size, the log keeps whole lines and copies them,
// and the title marks unsaved changes.
TEST(MainWindow, ListTogglesLayoutLogAndTitle) {
  MainWindow m;
  auto* list = child<QTreeWidget>(m.window, "sourceList");
  ASSERT_EQ(m.editor().lists().selectedRow(), 0);
  list->clearSelection();
  EXPECT_EQ(m.editor().lists().selectedRow(), -1);

  auto* total = child<QPushButton>(m.window, "allLayers");
  const QImage off = total->icon().pixmap(14, 14).toImage();
  total->click();
  EXPECT_TRUE(total->property("shownOn").toBool());
  EXPECT_NE(total->icon().pixmap(14, 14).toImage(), off);

  m.window.resize(50, 50);
  QApplication::processEvents();
  for (QPushButton* button : m.window.findChildren<QPushButton*>()) {
    if (!button->isVisible() || button->text().isEmpty()) continue;
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
        << button->text().toStdString();
  }

  auto* log = child<QListWidget>(m.window, "messageLog");
  EXPECT_TRUE(log->wordWrap());
  m.window.appendLog("/a/very/long/path/that/would/be/cut/in/a/narrow/log/frame0001.png");
  log->item(log->count() - 1)->setSelected(true);
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  for (QAction* action : log->actions())
    action->trigger();
  EXPECT_TRUE(QApplication::clipboard()->text().endsWith("frame0001.png"));

  EXPECT_FALSE(m.window.isWindowModified());
  m.editor().lists().selectRow(0);
  m.editor().sources().previewEdit(3, 0, 0, 0, PreviewEditKind::EndMove);
  EXPECT_TRUE(m.window.isWindowModified());
}

TEST(MainWindow, CloseAsksAndWritesTheSettings) {
  MainWindow m;
  m.boxes.answer = BoxAnswer::No;
  EXPECT_FALSE(m.window.close());
  m.boxes.answer = BoxAnswer::Yes;
  EXPECT_TRUE(m.window.close());
  EXPECT_EQ(m.boxes.questions.back(), "終了しますか？");
  ProfileFile profile;
  ASSERT_TRUE(profile.load(m.demo.dir.file("settings/pelorix.txt")));
  EXPECT_EQ(readSettings(profile).projectFileName, "demo.pxp");
  EXPECT_TRUE(readSettings(profile).placement.has_value());
}

// The preview's place and whether it was shown come back at the next start.
// The File menu carries the platform's shortcuts; Open recent lists the projects opened lately,
// one that is gone disabled; the export command opens the export dialog.
TEST(MainWindow, FileMenuShortcutsAndRecentProjects) {
  MainWindow m;
  const std::pair<Command, QKeySequence> shortcuts[] = {
      {Command::NewProject, QKeySequence::New},
      {Command::LoadProject, QKeySequence::Open},
      {Command::SaveProject, QKeySequence::Save},
      {Command::SaveProjectAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
      {Command::Export, QKeySequence(Qt::CTRL | Qt::Key_E)},
      {Command::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)}};
  for (const auto& [command, keys] : shortcuts) {
    ASSERT_NE(m.window.action(command), nullptr);
    EXPECT_EQ(m.window.action(command)->shortcut(), keys) << commandInfo(command).name;
  }
  auto* recent = m.window.findChild<QMenu*>("recentMenu");
  ASSERT_NE(recent, nullptr);
  emit recent->aboutToShow();
  ASSERT_FALSE(recent->actions().isEmpty());
  EXPECT_EQ(recent->actions().front()->text().toStdString(), m.demo.project());
  EXPECT_TRUE(recent->actions().front()->isEnabled());
  std::filesystem::rename(m.demo.project(), m.demo.dir.file("moved.pxp"));
  emit recent->aboutToShow();
  EXPECT_FALSE(recent->actions().front()->isEnabled());
  int opened = 0;
  m.window.exportEditor = [&opened](ExportValues&) { return ++opened, false; };
  m.window.action(Command::Export)->trigger();
  EXPECT_EQ(opened, 1);
}

// The export dialog shows the settings of the format chosen, and of its codec; a file takes the
// format's extension.
TEST(ExportDialog, RowsFollowTheFormatAndCodec) {
  ExportValues values;
  values.format =
      static_cast<int>(findOutputFormat("png", OutputKind::Series) - outputFormats().data());
  values.path = "out";
  values.frameCount = 10;
  values.last = 9;
  values.width = 320;
  values.height = 240;
  values.fps = 12.0f;
  DlgExport dialog(values, true);
  auto* format = child<QComboBox>(dialog, "format");
  auto choose = [&](const char* name, OutputKind kind) {
    format->setCurrentIndex(
        static_cast<int>(findOutputFormat(name, kind) - outputFormats().data()));
  };
  EXPECT_TRUE(dialog.rowShown(FormatOption::PngLevel));
  EXPECT_FALSE(dialog.rowShown(FormatOption::Crf));
  choose("mp4", OutputKind::OneFile);
  EXPECT_EQ(child<QLineEdit>(dialog, "path")->text(), "out.mp4");
  for (FormatOption option : {FormatOption::Codec, FormatOption::Crf, FormatOption::Preset,
                              FormatOption::Bitrate, FormatOption::Even})
    EXPECT_TRUE(dialog.rowShown(option)) << formatOptionFlag(option);
  EXPECT_FALSE(dialog.rowShown(FormatOption::PngLevel));
  child<QComboBox>(dialog, "codec")->setCurrentIndex(2);  // the format's line names the codec
  EXPECT_EQ(format->currentText(), "MP4 動画 (AV1) (.mp4)");
  child<QComboBox>(dialog, "codec")->setCurrentIndex(0);
  EXPECT_EQ(format->currentText(), "MP4 動画 (H.264) (.mp4)");
  choose("mov", OutputKind::OneFile);
  EXPECT_EQ(child<QLineEdit>(dialog, "path")->text(), "out.mov");
  EXPECT_TRUE(dialog.rowShown(FormatOption::ProResProfile));
  EXPECT_FALSE(dialog.rowShown(FormatOption::Crf));
  child<QComboBox>(dialog, "codec")->setCurrentIndex(1);  // H.264 in MOV
  EXPECT_TRUE(dialog.rowShown(FormatOption::Crf));
  EXPECT_FALSE(dialog.rowShown(FormatOption::ProResProfile));
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().encode.codec, video::Codec::H264);
  choose("gif", OutputKind::OneFile);
  for (FormatOption option : {FormatOption::Loop, FormatOption::GifPalette, FormatOption::Dither})
    EXPECT_TRUE(dialog.rowShown(option)) << formatOptionFlag(option);
}

// The timeline: a click on the ruler scrubs; dragging a block's end changes its duration by
// whole frames, undone in one step; + and - zoom the preview, 0 fits it again, and the zoom box
// follows.
TEST(MainWindow, TimelineScrubEdgeDragAndPreviewZoom) {
  MainWindow m;
  TimelineWidget& timeline = m.window.timeline();
  timeline.resize(900, 200);
  TimelineGeometry& g = timeline.geometry();
  auto mouse = [&timeline](QEvent::Type type, double x, double y) {
    QMouseEvent event(type, QPointF(x, y), timeline.mapToGlobal(QPointF(x, y)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&timeline, &event);
  };
  mouse(QEvent::MouseButtonPress, g.xOf(1.0) + 1, 5);
  mouse(QEvent::MouseButtonRelease, g.xOf(1.0) + 1, 5);
  EXPECT_EQ(m.editor().view().slider().position, 12);
  const int sprite = m.editor().lists().treeItems()[2].layerIndex;
  mouse(QEvent::MouseButtonPress, g.xOf(0.5), g.rowTop(2) + 5);
  mouse(QEvent::MouseMove, g.xOf(0.75) + 1, g.rowTop(2) + 5);
  mouse(QEvent::MouseButtonRelease, g.xOf(0.75) + 1, g.rowTop(2) + 5);
  const auto duration = [&] {
    return m.editor().session().project().layers[sprite].sources[0].duration;
  };
  EXPECT_FLOAT_EQ(duration(), 0.75f);
  m.editor().undo();
  EXPECT_FLOAT_EQ(duration(), 0.5f);

  DlgDisp& preview = m.window.preview();
  child<QPushButton>(m.window, "showPreview")->click();
  auto key = [&preview](int code) {
    QKeyEvent event(QEvent::KeyPress, code, Qt::NoModifier);
    QApplication::sendEvent(&preview, &event);
  };
  preview.setZoom(100);
  key(Qt::Key_Plus);
  EXPECT_EQ(preview.zoom(), 150);
  EXPECT_EQ(m.window.zoomBox().currentData().toInt(), 150);
  EXPECT_EQ(preview.pictureRect().size(), QSize(480, 360));
  // A middle-button drag pans far to a corner; zooming back out centres the picture again.
  auto middle = [&preview](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, preview.mapToGlobal(at), Qt::MiddleButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&preview, &event);
  };
  preview.setZoom(400);
  middle(QEvent::MouseButtonPress, {10, 10}, Qt::MiddleButton);
  middle(QEvent::MouseMove, {300, 200}, Qt::MiddleButton);
  middle(QEvent::MouseButtonRelease, {300, 200}, Qt::NoButton);
  EXPECT_NE(preview.pictureRect().center(), preview.rect().center());
  preview.setZoom(50);
  EXPECT_EQ(preview.pictureRect().center(), preview.rect().center());
  key(Qt::Key_0);
  EXPECT_EQ(preview.zoom(), 0);
  EXPECT_EQ(preview.pictureRect(), preview.rect());
}

// Blocks: Ctrl+click selects several, Delete removes them as one step; a block dragged onto
// another layer's row moves there.
TEST(MainWindow, TimelineBlocksSelectDeleteAndMove) {
  MainWindow m;
  TimelineWidget& timeline = m.window.timeline();
  timeline.resize(900, 300);
  TimelineGeometry& g = timeline.geometry();
  auto mouse = [&timeline](QEvent::Type type, double x, double y, Qt::KeyboardModifiers keys) {
    QMouseEvent event(type, QPointF(x, y), timeline.mapToGlobal(QPointF(x, y)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, keys);
    QApplication::sendEvent(&timeline, &event);
  };
  const int sprite = m.editor().lists().treeItems()[2].layerIndex;
  const auto& sources = [&]() -> const std::vector<Source>& {
    return m.editor().session().project().layers[static_cast<size_t>(sprite)].sources;
  };
  const double y = g.rowTop(2) + 10;
  for (double t : {0.25, 1.25}) {
    mouse(QEvent::MouseButtonPress, g.xOf(t), y, Qt::ControlModifier);
    mouse(QEvent::MouseButtonRelease, g.xOf(t), y, Qt::ControlModifier);
  }
  EXPECT_EQ(m.editor().timeline().selectedBlocks().size(), 2u);
  QKeyEvent remove(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(&timeline, &remove);
  EXPECT_EQ(sources().size(), 4u);
  m.window.run(Command::Undo);
  EXPECT_EQ(sources().size(), 6u);
  // The first sprite block onto the logo's row (row 1), at its end.
  const int logo = m.editor().lists().treeItems()[1].layerIndex;
  const size_t logoBlocks =
      m.editor().session().project().layers[static_cast<size_t>(logo)].sources.size();
  mouse(QEvent::MouseButtonPress, g.xOf(0.25), y, Qt::NoModifier);
  mouse(QEvent::MouseMove, g.xOf(1.5), g.rowTop(1) + 10, Qt::NoModifier);
  mouse(QEvent::MouseButtonRelease, g.xOf(3.0), g.rowTop(1) + 10, Qt::NoModifier);
  EXPECT_EQ(sources().size(), 5u);
  EXPECT_EQ(m.editor().session().project().layers[static_cast<size_t>(logo)].sources.size(),
            logoBlocks + 1);
}

// Keys show in lanes under their layer: a click selects a key, a drag moves it in whole frames
// as one undo step, Delete removes it; the corner of the ruler plays from the playhead.
TEST(MainWindow, TimelineKeyLanes) {
  MainWindow m;
  TimelineWidget& timeline = m.window.timeline();
  timeline.resize(900, 300);
  const MotionTarget position{1, MotionProperty::Position};
  m.editor().motion().setKey(position, 0.0, {0.0, 0.0});
  m.editor().motion().setKey(position, 1.0, {10.0, 0.0});
  TimelineGeometry& g = timeline.geometry();
  ASSERT_TRUE(timeline.model().rows[1].lane);
  auto mouse = [&timeline](QEvent::Type type, double x, double y) {
    QMouseEvent event(type, QPointF(x, y), timeline.mapToGlobal(QPointF(x, y)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&timeline, &event);
  };
  const int lane = g.rowTop(1) + g.laneHeight / 2;
  mouse(QEvent::MouseButtonPress, g.xOf(1.0), lane);
  EXPECT_EQ(m.editor().motion().selectedKeys(), (std::vector<KeyRef>{{position, 1}}));
  mouse(QEvent::MouseMove, g.xOf(1.25), lane);
  mouse(QEvent::MouseMove, g.xOf(1.5) + 1, lane);
  mouse(QEvent::MouseButtonRelease, g.xOf(1.5) + 1, lane);
  EXPECT_DOUBLE_EQ(m.editor().motion().track(position)->keys[1].time, 1.5);  // 18 frames at 12
  m.window.run(Command::Undo);
  EXPECT_DOUBLE_EQ(m.editor().motion().track(position)->keys[1].time, 1.0);
  m.editor().motion().selectKeys({{position, 1}});
  QKeyEvent remove(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(&timeline, &remove);
  EXPECT_EQ(m.editor().motion().track(position)->keys.size(), 1u);

  m.editor().view().scrubTo(1.0f);
  mouse(QEvent::MouseButtonPress, 20, 5);
  EXPECT_TRUE(m.editor().playback().playing());
  m.window.run(Command::PlayFromHere);  // a second press stops at the next tick
  EXPECT_FALSE(m.editor().playback().playbackTick());
}

// The curve editor shows the selected layer's keyed values: a key's point dragged up changes its
// value (one undo step), and a preset button sets the selected key's curve.
TEST(MainWindow, CurveEditorDragsKeysAndSetsCurves) {
  MainWindow m;
  const MotionTarget opacity{1, MotionProperty::Opacity};
  m.editor().motion().setKey(opacity, 0.0, {1.0, 0.0});
  m.editor().motion().setKey(opacity, 1.0, {0.0, 0.0});
  CurveEditor& curves = m.window.curveEditor();
  curves.resize(600, 330);
  curves.follow();
  ASSERT_EQ(curves.shown().size(), 1u);
  const CurveView& v = curves.view();
  const int top = curves.height() - v.height;  // the buttons' row
  auto mouse = [&curves](QEvent::Type type, QPointF at) {
    QMouseEvent event(type, at, curves.mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&curves, &event);
  };
  const QPointF key(v.xOf(1.0), top + v.yOf(0.0));
  mouse(QEvent::MouseButtonPress, key);
  mouse(QEvent::MouseMove, key + QPointF(0, -5));
  mouse(QEvent::MouseMove, QPointF(v.xOf(1.0), top + v.yOf(0.5)));
  mouse(QEvent::MouseButtonRelease, QPointF(v.xOf(1.0), top + v.yOf(0.5)));
  EXPECT_NEAR(m.editor().motion().track(opacity)->keys[1].value[0], 0.5, 0.01);
  EXPECT_DOUBLE_EQ(m.editor().motion().track(opacity)->keys[1].time, 1.0);
  m.window.run(Command::Undo);
  EXPECT_DOUBLE_EQ(m.editor().motion().track(opacity)->keys[1].value[0], 0.0);
  m.editor().motion().selectKeys({{opacity, 0}});
  curves.findChild<QAction*>("ease-in-out")->trigger();
  EXPECT_EQ(m.editor().motion().track(opacity)->keys[0].curve,
            (Curve{Curve::Kind::Bezier, 0.42, 0.0, 0.58, 1.0}));
}

// The sound track shows as a waveform lane under the layers once read; dragging the lane moves
// the sound's start in whole frames as one undo step, and scrubbing without a sound device
// plays nothing and takes nothing.
TEST(MainWindow, AudioLaneShowsAndMoves) {
  if (!videoModuleProblem().empty()) GTEST_SKIP() << videoModuleProblem();
  MainWindow m;
  std::string wav = "RIFF";
  const auto put = [&wav](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      wav.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put(36 + 16000, 4);
  wav += "WAVEfmt ";
  put(16, 4), put(1, 2), put(1, 2), put(8000, 4), put(16000, 4), put(2, 2), put(16, 2);
  wav += "data";
  put(16000, 4);
  for (int i = 0; i < 8000; ++i)
    put(static_cast<uint16_t>(i % 40 < 20 ? 6000 : -6000), 2);
  test::writeFile(m.demo.dir.file("tone.wav"), wav);
  m.editor().session().edit().setSetting("audio", "tone.wav");
  m.window.refresh(RefreshAll);
  TimelineWidget& timeline = m.window.timeline();
  timeline.resize(900, 400);
  ASSERT_TRUE(timeline.model().rows.back().audio);
  for (int i = 0; i < 200 && timeline.audio().empty(); ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  ASSERT_FALSE(timeline.audio().empty());
  TimelineGeometry& g = timeline.geometry();
  const int row = static_cast<int>(timeline.model().rows.size()) - 1;
  const double y = g.rowTop(row) + 5;
  auto mouse = [&timeline](QEvent::Type type, double x, double at) {
    QMouseEvent event(type, QPointF(x, at), timeline.mapToGlobal(QPointF(x, at)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&timeline, &event);
  };
  mouse(QEvent::MouseButtonPress, g.xOf(0.5), y);
  mouse(QEvent::MouseMove, g.xOf(0.75), y);
  mouse(QEvent::MouseMove, g.xOf(1.0) + 1, y);
  mouse(QEvent::MouseButtonRelease, g.xOf(1.0) + 1, y);
  EXPECT_EQ(m.editor().session().project().setting("audioOffset"), "0.5000");
  m.window.run(Command::Undo);
  EXPECT_EQ(m.editor().session().project().setting("audioOffset", "none"), "none");
  if (QMediaDevices::audioOutputs().isEmpty()) {
    EXPECT_FALSE(timeline.scrub().play(timeline.audio().slice(0.1, 0.0, 0.04), 16000));
  }
}

// Without a sound device the sound track stays silent and says so once; no player is made for
// nothing to play into.
TEST(MainWindow, PlayingWithoutASoundDeviceIsSilent) {
  if (!QMediaDevices::audioOutputs().isEmpty()) GTEST_SKIP() << "this machine has a sound device";
  MainWindow m;
  AudioTrack audio;
  audio.path = m.demo.dir.file("sound.wav");
  m.window.playAudio(audio, 0.0);
  m.window.playAudio(audio, 1.0);
  m.window.stopAudio();
  auto* log = child<QListWidget>(m.window, "messageLog");
  int said = 0;
  for (int i = 0; i < log->count(); ++i)
    said += log->item(i)->text() == qtr("音声の出力先がないため、音を出さずに再生します。");
  EXPECT_EQ(said, 1);
  EXPECT_EQ(m.window.findChild<QMediaPlayer*>(), nullptr);
}

TEST(MainWindow, PreviewPlaceIsRemembered) {
  test::DemoCopy demo;
  Boxes boxes;
  const std::string settings = demo.dir.file("settings/pelorix.txt");
  {
    DlgMain window(settings, demo.project());
    window.show();
    child<QPushButton>(window, "showPreview")->click();
    window.preview().setGeometry(40, 50, 400, 300);
    QApplication::processEvents();
    EXPECT_TRUE(window.close());
  }
  ProfileFile profile;
  ASSERT_TRUE(profile.load(settings));
  ASSERT_TRUE(readSettings(profile).previewPlacement.has_value());
  EXPECT_EQ(readSettings(profile).previewShown, 1);
  DlgMain again(settings, demo.project());
  again.show();
  QApplication::processEvents();
  EXPECT_TRUE(again.editor().view().previewShown());
  EXPECT_EQ(again.preview().size(), QSize(400, 300));
}

bool hasJapanese(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) ||
        (u >= 0xFF00 && u <= 0xFFEF))
      return true;
  }
  return false;
}

// Every visible text of a window and its children is English, and fits its widget.
void expectEnglishThatFits(QWidget& window) {
  window.show();
  QApplication::processEvents();
  EXPECT_FALSE(hasJapanese(window.windowTitle())) << window.windowTitle().toStdString();
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisible()) continue;
    QString text;
    int room = widget->contentsRect().width();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      text = button->text().remove('&');
      room -= button->icon().isNull() ? 8 : button->iconSize().width() + 12;
    } else if (auto* tree = qobject_cast<QTreeWidget*>(widget)) {
      for (int i = 0; i < tree->columnCount(); ++i)
        EXPECT_FALSE(hasJapanese(tree->headerItem()->text(i)))
            << tree->headerItem()->text(i).toStdString();
      continue;
    } else {
      continue;
    }
    if (text.isEmpty()) continue;  // an icon only (a dock's close button)
    EXPECT_FALSE(hasJapanese(text)) << text.toStdString();
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), room)
        << text.toStdString() << " is cut in " << widget->objectName().toStdString();
  }
}

// In English every window and dialog speaks English and no label is cut; Qt's own texts come
// from Qt's catalogue of the same language (Japanese otherwise).
TEST(Languages, EnglishWindowsAndDialogs) {
  EXPECT_TRUE(installQtTranslations(*qApp));  // Japanese: Qt's Japanese texts
  initLanguage("en");
  {
    MainWindow m;
    expectEnglishThatFits(m.window);
    LayerValues layer{5, "bg", 1, 6, 10, 20, 30};
    DlgLayerSetting layerDialog(layer);
    expectEnglishThatFits(layerDialog);
    SourceDialogValues source;
    DlgSrcSetting sourceDialog(source);
    expectEnglishThatFits(sourceDialog);
    ProjectValues project{"demo.pxp", "demo", "out", "frame", 320, 240, "29", "png"};
    DlgPrjSetting projectDialog(project);
    expectEnglishThatFits(projectDialog);
    DlgVersion about(QString::fromStdString(aboutText()), "About");
    expectEnglishThatFits(about);
    for (int i = 0; i < about.lines()->count(); ++i)
      EXPECT_FALSE(hasJapanese(about.lines()->item(i)->text()));
    DlgProgress progress;
    expectEnglishThatFits(progress);
  }
  initLanguage("ja");
  EXPECT_EQ(std::string(_("中断")), "中断");
}

}  // namespace
}  // namespace pelorix::gui

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("pelorix");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
