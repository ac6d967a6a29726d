// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/editor.h"

#include <gtest/gtest.h>

#include <atomic>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../imageio/image_test_support.h"
#include "app/texts.h"
#include "model/project_file.h"
#include "output/formats.h"
#include "pelorix_version.h"
#include "render/timeline.h"
#include "scripted_port.h"

namespace pelorix {
namespace {

using test::DemoCopy;
using test::ScriptedPort;

// An editor with the demo project open (answers and dialogs scripted per test).
struct Opened {
  Opened() : editor(port) {
    editor.startUp(demo.project());
    port.notices.clear();
    port.information.clear();
  }
  const Layer& layer(int index) const {
    return editor.session().project().layers[static_cast<size_t>(index)];
  }
  DemoCopy demo;
  ScriptedPort port;
  Editor editor;
};

// A project of one layer with sources of the given durations, written to a folder.
std::string writeProject(const test::TempDir& dir, const std::string& name, float fps,
                         const std::vector<std::pair<int, std::vector<float>>>& layers) {
  Project p;
  p.resetProject();
  p.name = name;
  p.fps = fps;
  for (const auto& [number, durations] : layers) {
    const int index = p.addLayer();
    p.layers[static_cast<size_t>(index)].number = number;
    p.layers[static_cast<size_t>(index)].visible = 1;
    for (float d : durations) {
      Source s;
      s.file = "missing.bmp";
      s.duration = d;
      p.addSource(index, s);
    }
  }
  const std::string path = dir.file(name + ".pxp");
  saveProject(p, path);
  return path;
}

// The very first start has no previous project: nothing is opened and nothing is said.
TEST(EditorProject, FirstStartWithoutAProjectDisablesEditing) {
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(std::nullopt);
  EXPECT_TRUE(port.notices.empty());
  EXPECT_TRUE(editor.session().noProjectLoaded());
  EXPECT_EQ(editor.session().title(), "Pelorix [*]");
  EXPECT_FALSE(editor.enabled(Command::NewLayer));
  EXPECT_FALSE(editor.enabled(Command::ShowPreview));
  // Layer and source commands do nothing and say nothing.
  editor.sources().newSource();
  editor.layers().layerSettings();
  editor.layers().deleteLayer();
  EXPECT_TRUE(port.notices.empty());
  EXPECT_EQ(port.sourceDialogs + port.layerDialogs, 0);
}

TEST(EditorProject, OpeningShowsTheSummaryTheSortedTreeAndTheFirstSource) {
  DemoCopy demo;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(demo.project());
  ASSERT_EQ(port.information.size(), 1u);
  EXPECT_EQ(port.information[0].rfind("Pelorix demo\n保存フォルダ out", 0), 0u);
  EXPECT_EQ(editor.session().title(), "Pelorix Pelorix demo[*]");
  EXPECT_EQ(editor.session().projectFolder(), demo.dir.folder());
  EXPECT_EQ(editor.session().projectFileName(), "demo.pxp");
  ASSERT_EQ(editor.lists().treeItems().size(), 4u);
  EXPECT_EQ(editor.lists().treeItems()[0].text, "01 :background [3.00]");
  EXPECT_EQ(editor.lists().treeItems()[0].icon, LayerIcon::Shown);
  EXPECT_EQ(editor.lists().selectedTreeItem(), 0);
  EXPECT_EQ(editor.lists().selectedRow(), 0);
  EXPECT_EQ(editor.lists().rows().size(), 1u);
  EXPECT_EQ(editor.view().slider().maximum, 36);
  EXPECT_EQ(editor.view().slider().pageSize, 30);
  EXPECT_EQ(port.frameSize, (std::pair{320, 240}));
  EXPECT_TRUE(editor.enabled(Command::ConvertAll));
}

TEST(EditorProject, TreeListsLayersByNumber) {
  test::TempDir dir;
  const std::string path =
      writeProject(dir, "order", 30, {{10, {1}}, {3, {1}}, {100, {1}}, {-3, {1}}});
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(path);
  std::vector<std::string> texts;
  for (const TreeItem& item : editor.lists().treeItems())
    texts.push_back(item.text.substr(0, item.text.find(' ')));
  EXPECT_EQ(texts, (std::vector<std::string>{"-3", "03", "10", "100"}));
  EXPECT_EQ(editor.view().drawList(), (std::vector<int>{3, 1, 0, 2}));
}

TEST(EditorProject, FailedOpenKeepsFolderAndName) {
  Opened o;
  o.port.projectFile = o.demo.dir.file("gone.pxp");
  o.editor.files().loadProjectCommand();
  EXPECT_EQ(o.port.notices.back(),
            "[" + o.demo.dir.file("gone.pxp") + "] layerinfoファイルが開けません");
  EXPECT_EQ(o.editor.session().projectFileName(), "demo.pxp");
  EXPECT_EQ(o.editor.session().projectFolder(), o.demo.dir.folder());
  EXPECT_TRUE(o.editor.session().noProjectLoaded());
  EXPECT_FALSE(o.editor.enabled(Command::SaveProject));
  EXPECT_TRUE(o.editor.lists().treeItems().empty());
}

TEST(EditorProject, LeavingAModifiedProjectAsksAndCancelStops) {
  test::TempDir other;
  const std::string next = writeProject(other, "next", 30, {{1, {1}}});
  {
    // Yes: the current project is saved to its own path before the other is read.
    Opened o;
    o.port.sourceDialog = [](SourceDialogValues& v) {
      v.source.duration = 2.5f;
      return true;
    };
    o.editor.sources().sourceSettings();
    ASSERT_TRUE(o.editor.session().modified());
    o.port.projectFile = next;
    o.port.answers = {Answer::Yes};
    o.editor.files().loadProjectCommand();
    EXPECT_EQ(o.port.questions.back(), "プロジェクトファイルを保存しますか？");
    EXPECT_EQ(o.editor.session().project().name, "next");
    Project saved;
    loadProject(saved, o.demo.project());
    EXPECT_EQ(saved.layers[0].sources[0].duration, 2.5f);
  }
  {
    // Cancel: nothing happens, the edits stay.
    Opened o;
    o.port.sourceDialog = [](SourceDialogValues& v) {
      v.source.duration = 2.5f;
      return true;
    };
    o.editor.sources().sourceSettings();
    o.port.projectFile = next;
    o.port.answers = {Answer::Cancel};
    o.editor.files().loadProjectCommand();
    EXPECT_EQ(o.editor.session().project().name, "Pelorix demo");
    EXPECT_TRUE(o.editor.session().modified());
    EXPECT_EQ(o.editor.session().projectFileName(), "demo.pxp");
  }
}

// Saving reads the file back and shows its summary, and keeps the history: the edit before it
// can still be undone (which marks the project modified again), and Save as writes elsewhere.
TEST(EditorProject, SaveButtonWritesReadsBackAndKeepsTheHistory) {
  Opened o;
  o.port.answers = {Answer::No};
  o.editor.files().saveProjectCommand();
  EXPECT_TRUE(o.port.information.empty());
  o.editor.lists().selectTreeItem(0);
  o.editor.sources().setSourceDuration(o.editor.lists().treeItems()[0].layerIndex, 0, 2.0f);
  o.editor.files().saveProjectCommand();  // Yes
  EXPECT_TRUE(o.port.logged("プロジェクトファイルを保存しました。"));
  ASSERT_EQ(o.port.information.size(), 1u);
  EXPECT_EQ(o.port.informationKinds[0], InformationKind::Summary);
  EXPECT_FALSE(o.editor.session().modified());
  ASSERT_TRUE(o.editor.session().canUndo());
  o.editor.undo();
  EXPECT_TRUE(o.editor.session().modified());
  o.port.projectFile = o.demo.dir.file("copy");
  o.editor.files().saveProjectAsCommand();
  EXPECT_TRUE(test::fileExists(o.demo.dir.file("copy.pxp")));
  EXPECT_EQ(o.editor.session().projectFileName(), "copy.pxp");
  EXPECT_EQ(o.editor.files().recentProjects().front(), o.demo.dir.file("copy.pxp"));
}

TEST(EditorProject, AFailedSaveKeepsTheEditsAndSaysSo) {
  Opened o;
  o.port.sourceDialog = [](SourceDialogValues& v) {
    v.source.duration = 2.5f;
    return true;
  };
  o.editor.sources().sourceSettings();
  // The project file's place becomes a folder: it cannot be written.
  std::filesystem::remove(o.demo.project());
  std::filesystem::create_directory(o.demo.project());
  o.editor.files().saveProjectCommand();
  EXPECT_EQ(o.port.notices.back(), "[" + o.demo.project() + "] layerinfoファイルが保存できません");
  EXPECT_FALSE(o.port.logged("プロジェクトファイルを保存しました。"));
  EXPECT_TRUE(o.editor.session().modified());
  EXPECT_EQ(o.layer(0).sources[0].duration, 2.5f);  // not read back over the edits
  o.editor.output().convertAllPressed();
  EXPECT_FALSE(o.editor.output().converting());
  o.port.answers = {Answer::Yes, Answer::Yes};
  EXPECT_FALSE(o.editor.closeRequested());  // quitting would lose the edits
}

TEST(EditorProject, NewProjectAsksBeforeOverwritingAFile) {
  Opened o;
  test::writeFile(o.demo.dir.file("new.pxp"), "precious");
  o.port.projectDialog = [](ProjectValues&) { return true; };
  o.port.layerDialog = [](LayerValues& v) {
    v.number = 1;
    return true;
  };
  o.port.answers = {Answer::No};  // do not overwrite
  o.editor.files().newProjectCommand();
  EXPECT_EQ(o.port.questions.back(),
            o.demo.dir.file("new.pxp") + " は既に存在します。上書きしますか？");
  EXPECT_EQ(test::readFile(o.demo.dir.file("new.pxp")), "precious");
  EXPECT_EQ(o.editor.session().project().layerCount, 1);
  EXPECT_TRUE(o.editor.session().modified());

  // A new project whose first layer is cancelled is not written.
  Opened fresh;
  fresh.port.projectDialog = [](ProjectValues& v) {
    v.fileName = "other.pxp";
    return true;
  };
  fresh.editor.files().newProjectCommand();
  EXPECT_FALSE(test::fileExists(fresh.demo.dir.file("other.pxp")));
  EXPECT_EQ(fresh.editor.session().projectFileName(), "other.pxp");
  EXPECT_TRUE(fresh.editor.lists().treeItems().empty());
}

TEST(EditorProject, ProjectSettingsCopyBackAndSetModified) {
  Opened o;
  o.port.projectDialog = [](ProjectValues& v) {
    EXPECT_EQ(v.fps, 12);
    v.name = "renamed";
    v.fps = 24;
    return true;
  };
  o.editor.files().projectSettings();
  EXPECT_EQ(o.editor.session().title(), "Pelorix renamed[*]");
  EXPECT_EQ(o.editor.session().project().fps, 24.0f);
  EXPECT_EQ(o.editor.view().slider().maximum, 72);
  EXPECT_TRUE(o.editor.session().modified());
  EXPECT_FALSE(o.editor.session().busy());
}

TEST(EditorLayers, NumberRuleBringsTheDialogBackWithTheEnteredValues) {
  Opened o;
  std::vector<LayerValues> seen;
  o.port.layerDialog = [&seen](LayerValues& v) {
    seen.push_back(v);
    if (seen.size() == 1) {
      v.number = 2;  // taken by another layer
      v.name = "typed";
    } else if (seen.size() == 2) {
      v.number = 0;  // never allowed
    } else {
      v.number = -3;
    }
    return true;
  };
  o.editor.layers().layerSettings();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].name, "typed");
  EXPECT_EQ(o.port.notices,
            (std::vector<std::string>{"0以外で他と違うレイヤー番号を指定して下さい。",
                                      "0以外で他と違うレイヤー番号を指定して下さい。"}));
  EXPECT_EQ(o.layer(0).number, -3);
  EXPECT_EQ(o.layer(0).name, "typed");
  EXPECT_FALSE(o.editor.session().busy());
  // Keeping the own number is accepted at once.
  o.port.layerDialog = [](LayerValues&) { return true; };
  o.editor.layers().layerSettings();
  EXPECT_EQ(o.port.layerDialogs, 4);
}

TEST(EditorLayers, HidingALayerReachesTheDrawListAtOnce) {
  Opened o;
  o.port.layerDialog = [](LayerValues& v) {
    v.visible = 0;
    return true;
  };
  o.editor.lists().selectTreeItem(1);
  o.editor.layers().layerSettings();
  EXPECT_EQ(o.editor.view().drawList(), (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(o.editor.lists().treeItems()[1].icon, LayerIcon::Hidden);
}

// At sixteen layers New layer is disabled, and invoked all the same (a key) it says why.
TEST(EditorLayers, NewLayerAtTheLimitSaysWhy) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  std::vector<std::pair<int, std::vector<float>>> layers;
  for (int i = 1; i <= kMaxLayers; ++i)
    layers.push_back({i, {1.0f}});
  editor.startUp(writeProject(dir, "full", 30, layers));
  EXPECT_FALSE(editor.enabled(Command::NewLayer));
  editor.layers().newLayer();
  EXPECT_EQ(port.layerDialogs, 0);
  ASSERT_EQ(port.status.size(), 1u);
  EXPECT_NE(port.status[0].find("16"), std::string::npos);
}

TEST(EditorLayers, NewLayerCancelledLeavesNothing) {
  Opened o;
  o.editor.layers().newLayer();
  EXPECT_EQ(o.port.layerDialogs, 1);
  EXPECT_EQ(o.editor.session().project().layerCount, 4);
  EXPECT_EQ(o.editor.lists().treeItems().size(), 4u);
  EXPECT_FALSE(o.editor.session().modified());
  EXPECT_FALSE(o.editor.session().busy());
  o.port.layerDialog = [](LayerValues& v) {
    v.number = 7;
    v.visible = 1;
    return true;
  };
  o.editor.layers().newLayer();
  EXPECT_EQ(o.editor.session().project().layerCount, 5);
  EXPECT_EQ(o.editor.lists().treeItems().back().text, "07 :-          [0.00]");
}

TEST(EditorLayers, DeleteLayerAsksAndRebuilds) {
  Opened o;
  o.port.answers = {Answer::No};
  o.editor.layers().deleteLayer();
  EXPECT_EQ(o.editor.session().project().layerCount, 4);
  o.editor.layers().deleteLayer();
  EXPECT_EQ(o.port.questions.back(), "レイヤーを削除します。");
  EXPECT_EQ(o.editor.session().project().layerCount, 3);
  EXPECT_EQ(o.editor.view().drawList().size(), 3u);
  EXPECT_FALSE(o.editor.session().busy());
  // The neighbour takes the selection and shows its sources.
  EXPECT_EQ(o.editor.lists().selectedTreeItem(), 0);
  EXPECT_EQ(o.editor.lists().rows().size(), 2u);
}

TEST(EditorSources, AppendSelectsNothingAndInsertTakesTheRow) {
  Opened o;
  o.editor.lists().selectTreeItem(2);  // the sprite layer: six sources
  int dialogs = 0;
  o.port.sourceDialog = [&dialogs](SourceDialogValues& v) {
    EXPECT_FLOAT_EQ(v.source.duration, 1.0f / 12.0f);
    v.source.file = "new" + std::to_string(++dialogs) + ".png";
    v.pickedExtension = "png";
    return true;
  };
  o.editor.lists().selectRow(-1);
  o.editor.sources().newSource();
  EXPECT_EQ(o.editor.lists().rows().size(), 7u);
  EXPECT_EQ(o.editor.lists().rows()[6][1], "new1.png");
  EXPECT_EQ(o.editor.lists().selectedRow(), -1);
  EXPECT_EQ(o.editor.sources().lastSourcePattern(), "*.png");
  o.editor.lists().selectRow(2);
  o.editor.sources().newSource();
  EXPECT_EQ(o.editor.lists().rows()[2][1], "new2.png");
  EXPECT_EQ(o.editor.lists().rows()[2][0], "002");
  EXPECT_EQ(o.editor.lists().selectedRow(), 2);
  EXPECT_EQ(
      o.editor.lists().treeItems()[2].text.substr(o.editor.lists().treeItems()[2].text.find('[')),
      "[3.17]");
}

TEST(EditorSources, DeleteAndSettingsNeedARow) {
  Opened o;
  o.editor.lists().selectRow(-1);
  o.editor.sources().deleteSource();
  o.editor.sources().sourceSettings();
  EXPECT_EQ(o.port.notices,
            (std::vector<std::string>{"リストを選択してください", "リストを選択してください"}));
  EXPECT_FALSE(o.editor.session().busy());
  o.editor.lists().selectRow(0);
  o.editor.sources().deleteSource();
  EXPECT_EQ(o.port.questions.back(), "ソースを削除します。");
  EXPECT_TRUE(o.editor.lists().rows().empty());
  EXPECT_EQ(o.editor.view().totalTime(), 3.0f);  // the other layers still last three seconds
}

TEST(EditorPreview, GesturesFollowTheirArithmetic) {
  Opened o;
  o.editor.lists().selectTreeItem(1);  // the logo: scale 0.5, rotation -20
  o.editor.lists().selectRow(0);
  o.editor.sources().previewEdit(0, 0, 5, 0, PreviewEditKind::ScaleStep);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].scale, 0.6f);
  o.editor.sources().previewEdit(0, 0, 20, 0, PreviewEditKind::ScaleStep);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].scale, 1.0f);
  o.editor.sources().previewEdit(0, 0, 1, 0, PreviewEditKind::ScaleStep);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].scale, 1.1f);
  o.editor.sources().previewEdit(0, 0, -100, 0, PreviewEditKind::ScaleStep);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].scale, 0.01f);

  o.editor.sources().previewEdit(0, 0, 0, 375, PreviewEditKind::RotateStep);  // -20 + 375 = 355
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].rotation, 355.0f);
  o.editor.sources().previewEdit(0, 0, 0, 10, PreviewEditKind::RotateStep);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].rotation, 5.0f);
  o.editor.sources().previewEdit(0, 0, 0, -360, PreviewEditKind::RotateStep);  // -355
  o.editor.sources().previewEdit(0, 0, 0, -10, PreviewEditKind::RotateStep);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].rotation, -5.0f);

  // A drag moves relative to where it began, and counts as one edit.
  o.editor.sources().previewEdit(5, 1, 0, 0, PreviewEditKind::Move);
  o.editor.sources().previewEdit(-20, 3, 0, 0, PreviewEditKind::Move);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].x, 50.0f);
  o.editor.sources().previewEdit(-20, 3, 0, 0, PreviewEditKind::EndMove);
  EXPECT_FLOAT_EQ(o.editor.lists().heldSource().x, 50.0f);
  o.editor.undo();
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].x, 70.0f);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].rotation, -5.0f);

  o.editor.sources().previewEdit(0, 0, 0, 0, PreviewEditKind::Fit);  // 320 / logo width 160
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].scale, 2.0f);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].x, 0.0f);
  EXPECT_FLOAT_EQ(o.layer(1).sources[0].rotation, 0.0f);

  o.editor.lists().selectRow(-1);
  o.editor.sources().previewEdit(1, 1, 0, 0, PreviewEditKind::Move);
  EXPECT_EQ(o.port.notices.back(), "リストが選択されていません");
}

TEST(EditorPreview, WheelStepSizeComesFromTheScaleBeforeTheMessage) {
  Opened o;
  o.port.sourceDialog = [](SourceDialogValues& v) {
    v.source.scale = 0.95f;
    return true;
  };
  o.editor.sources().sourceSettings();
  o.editor.sources().previewEdit(0, 0, 5, 0,
                                 PreviewEditKind::ScaleStep);  // five notches in one message
  EXPECT_FLOAT_EQ(o.layer(0).sources[0].scale, 1.05f);
  o.editor.sources().previewEdit(0, 0, 1, 0, PreviewEditKind::ScaleStep);
  EXPECT_FLOAT_EQ(o.layer(0).sources[0].scale, 1.15f);
}

TEST(EditorPreview, PickedColourBecomesTheKey) {
  Opened o;
  o.editor.sources().pickKeyColor(0x00302010);  // red 0x10, green 0x20, blue 0x30
  EXPECT_EQ(o.layer(0).keyColor, (KeyColor{0x30, 0x20, 0x10, 0}));
  EXPECT_EQ(o.port.notices.back(), "透過色を変更しました。");
  EXPECT_TRUE(o.editor.session().modified());
  o.editor.sources().pickKeyColor(0xFFFFFFFF);  // picked outside the window: white
  EXPECT_EQ(o.layer(0).keyColor, (KeyColor{255, 255, 255, 0}));
}

TEST(EditorTransport, SliderRangePageAndTimeText) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(writeProject(dir, "ten", 30, {{1, {10}}}));
  EXPECT_EQ(editor.view().slider().maximum, 300);
  EXPECT_EQ(editor.view().slider().pageSize, 30);
  editor.view().sliderChanged(45);
  EXPECT_EQ(editor.view().timeText(), " 1.500 / 10.000");
  editor.view().sliderChanged(10);
  editor.view().page(-1);
  EXPECT_EQ(editor.view().slider().position, 0);
  editor.view().page(1);
  editor.view().step(1);
  EXPECT_EQ(editor.view().slider().position, 31);
  editor.view().step(-1);
  EXPECT_EQ(editor.view().slider().position, 30);

  editor.startUp(writeProject(dir, "long", 30, {{1, {200}}}));
  EXPECT_EQ(editor.view().slider().maximum, 6000);
  EXPECT_EQ(editor.view().slider().pageSize, 60);

  // A frame rate of 0 divides nothing: range 0, time 0.
  editor.startUp(writeProject(dir, "still", 0, {{1, {5}}}));
  EXPECT_EQ(editor.view().slider().maximum, 0);
  editor.view().sliderChanged(7);
  EXPECT_EQ(editor.view().currentTime(), 0.0f);
  EXPECT_EQ(editor.playback().moviePressed(), 0);
}

TEST(EditorTransport, SelectingASourceMovesTheTimeHalfAFrameIn) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(writeProject(dir, "sel", 30, {{1, {1.23f, 1.0f}}}));
  editor.lists().selectRow(1);
  EXPECT_EQ(editor.view().slider().position, 37);
  EXPECT_FLOAT_EQ(editor.view().currentTime(), 37.0f / 30.0f);
  EXPECT_EQ(editor.view().slider().selectionStart, 37);
  EXPECT_EQ(editor.view().slider().selectionEnd, 67);
}

// With the preview on, loading, saving (which reads the file back), deleting a layer, undo and
// redo keep a layer selected while they redraw: no "select a layer" box.
TEST(EditorTransport, NoSelectLayerBoxWhileALayerIsShown) {
  Opened o;
  o.editor.view().setPreviewShown(true);
  o.editor.files().saveProjectCommand();
  o.editor.files().openProject(o.demo.project());
  o.editor.layers().deleteLayer();
  o.editor.undo();
  o.editor.redo();
  EXPECT_TRUE(o.port.notices.empty()) << o.port.notices.front();
  EXPECT_GE(o.editor.lists().selectedTreeItem(), 0);
}

TEST(EditorTransport, RedrawComposesOnlyWithThePreviewOn) {
  Opened o;
  const int before = o.port.previewRepaints;
  o.editor.view().sliderChanged(5);
  EXPECT_EQ(o.port.previewRepaints, before);
  EXPECT_TRUE(o.editor.view().canvas().empty());
  o.editor.view().setPreviewShown(true);
  EXPECT_TRUE(o.port.previewVisible);
  EXPECT_FALSE(o.editor.view().canvas().empty());
  EXPECT_EQ(o.editor.view().canvas().width(), 320);
  o.editor.view().setTotalMode(true);
  o.editor.view().sliderChanged(6);
  EXPECT_GT(o.port.previewRepaints, before + 1);
}

// The preview never shows a frame of another moment or project: a cancelled new project leaves
// it empty, and a layer whose picture does not load shows a blank frame, not the one before.
TEST(EditorPreview, NoStaleFrame) {
  Opened o;
  o.editor.view().setPreviewShown(true);
  ASSERT_FALSE(o.editor.view().canvas().empty());
  const std::vector<uint32_t> demoFrame = test::argbPixels(o.editor.view().canvas());
  std::filesystem::remove(o.demo.dir.file("logo.png"));
  o.editor.lists().selectTreeItem(1);  // the logo, now missing
  const std::vector<uint32_t> missing = test::argbPixels(o.editor.view().canvas());
  EXPECT_NE(missing, demoFrame);
  EXPECT_TRUE(
      std::all_of(missing.begin(), missing.end(), [](uint32_t p) { return (p & 0xFFFFFF) == 0; }));
  o.port.answers = {Answer::No};
  o.editor.files().newProjectCommand();  // the settings dialog is cancelled
  EXPECT_TRUE(o.editor.view().canvas().empty());
}

// The onion skin is the preview's: frames around the current one for the layer being edited
// (nothing where it stands still), never in what is saved.
TEST(EditorPreview, OnionSkinStaysInThePreview) {
  Opened o;
  o.editor.view().setPreviewShown(true);
  o.editor.lists().selectTreeItem(2);  // the sprite, which moves
  o.editor.view().scrubTo(1.0f);
  const std::vector<uint32_t> plain = test::argbPixels(o.editor.view().canvas());
  o.editor.run(Command::OnionSkin);
  EXPECT_TRUE(o.editor.checked(Command::OnionSkin));
  ASSERT_EQ(o.editor.view().onion().frames().size(), 4u);
  EXPECT_EQ(test::argbPixels(o.editor.view().canvas()), plain);
  o.port.imageFile = o.demo.dir.file("shot.png");
  o.editor.output().screenSave();
  DibImage saved;
  ASSERT_FALSE(saved.load(o.demo.dir.file("shot.png")).failed());
  EXPECT_EQ(test::argbPixels(saved).size(), plain.size());
  o.editor.lists().selectTreeItem(0);  // the background stands still: its skin is empty
  for (const OnionSkin::Frame& frame : o.editor.view().onion().frames()) {
    const std::vector<uint32_t> ghost = test::argbPixels(frame.canvas);
    EXPECT_TRUE(std::all_of(ghost.begin(), ghost.end(), [](uint32_t p) { return p == 0; }));
  }
}

// The timeline's edits: scrubbing moves the time in frames; a block's new duration is rounded to
// whole frames and undone in one step; clicking a block selects its layer and source.
TEST(EditorTimeline, ScrubSelectAndDuration) {
  Opened o;
  o.editor.view().scrubTo(1.0f);
  EXPECT_EQ(o.editor.view().slider().position, 12);
  o.editor.sources().selectSource(o.editor.lists().treeItems()[2].layerIndex, 3);
  EXPECT_EQ(o.editor.lists().selectedTreeItem(), 2);
  EXPECT_EQ(o.editor.lists().selectedRow(), 3);
  const int sprite = o.editor.lists().treeItems()[2].layerIndex;
  o.editor.sources().setSourceDuration(sprite, 3, 0.71f);  // 8.52 frames at 12 fps: 9
  EXPECT_FLOAT_EQ(o.layer(sprite).sources[3].duration, 9.0f / 12.0f);
  EXPECT_TRUE(o.editor.session().modified());
  o.editor.undo();
  EXPECT_FLOAT_EQ(o.layer(sprite).sources[3].duration, 0.5f);
  EXPECT_FALSE(o.editor.session().modified());
}

// Export: the dialog starts from the project's settings, its run writes what it chose, and the
// choices come back the next time for the same project.
TEST(EditorOutput, ExportRunsTheEngineAndKeepsTheChoices) {
  Opened o;
  int format = -1;
  o.port.exportDialog = [&format](ExportValues& v) {
    format = v.format;
    v.format =
        static_cast<int>(findOutputFormat("apng", OutputKind::OneFile) - outputFormats().data());
    v.path = "anim.apng";
    v.first = 2;
    v.last = 4;
    v.encode.loop = 2;
    return true;
  };
  o.editor.output().exportCommand();
  o.editor.output().waitForConversion();
  o.port.runPosted();
  EXPECT_EQ(&outputFormats()[static_cast<size_t>(format)],
            findOutputFormat("png", OutputKind::Series));
  EXPECT_TRUE(test::fileExists(o.demo.dir.file("anim.apng")));
  EXPECT_TRUE(o.port.notices.empty());
  ExportValues again;
  o.port.exportDialog = [&again](ExportValues& v) {
    again = v;
    return false;
  };
  o.editor.output().exportCommand();
  EXPECT_EQ(again.path, "anim.apng");
  EXPECT_EQ(again.encode.loop, 2);
  EXPECT_EQ(again.first, 0);  // the range follows the project
  ASSERT_EQ(o.editor.currentSettings().exportChoices.size(), 1u);
}

TEST(EditorKeys, TablesPerFocusAndBusy) {
  Opened o;
  EXPECT_TRUE(o.editor.handleKey(KeyFocus::Other, Key::Tab, true));
  EXPECT_EQ(o.port.sourceDialogs, 1);
  EXPECT_TRUE(o.editor.handleKey(KeyFocus::LayerTree, Key::Tab, true));
  EXPECT_EQ(o.port.layerDialogs, 1);
  EXPECT_TRUE(o.editor.handleKey(KeyFocus::LayerTree, Key::Tab, false));  // key up: swallowed only
  EXPECT_EQ(o.port.layerDialogs, 1);
  EXPECT_FALSE(o.editor.handleKey(KeyFocus::SourceListOrSlider, Key::Right, true));
  EXPECT_FALSE(o.editor.handleKey(KeyFocus::LayerTree, Key::PageDown, true));
  const int position = o.editor.view().slider().position;
  EXPECT_TRUE(o.editor.handleKey(KeyFocus::Other, Key::Right, true));
  EXPECT_EQ(o.editor.view().slider().position, position + 1);
  EXPECT_FALSE(o.editor.handleKey(KeyFocus::Other, Key::Other, true));

  // While a dialog runs, every key goes to it.
  bool passed = false;
  o.port.sourceDialog = [&](SourceDialogValues&) {
    passed = !o.editor.handleKey(KeyFocus::Other, Key::Delete, true);
    return false;
  };
  o.editor.sources().sourceSettings();
  EXPECT_TRUE(passed);
  EXPECT_EQ(keyCommand(KeyFocus::LayerTree, Key::Insert), Command::NewLayer);
  EXPECT_EQ(keyCommand(KeyFocus::SourceListOrSlider, Key::Delete), Command::DeleteSource);
}

std::vector<std::string> files(const Editor& editor, int layer) {
  std::vector<std::string> names;
  for (const Source& s : editor.session().project().layers[static_cast<size_t>(layer)].sources)
    names.push_back(s.file);
  return names;
}

TEST(EditorDrop, FilesInsertAsABlockOrAppend) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(writeProject(dir, "drop", 30, {{1, {}}}));
  editor.sources().dropFiles({"/a.png", "/b.png", "/c.png"});
  EXPECT_EQ(files(editor, 0), (std::vector<std::string>{"/a.png", "/b.png", "/c.png"}));
  EXPECT_EQ(editor.lists().selectedRow(), 0);
  EXPECT_FLOAT_EQ(editor.session().project().layers[0].totalDuration, 0.1f);
  EXPECT_EQ(editor.lists().treeItems()[0].text, "01 :-          [0.10]");
  editor.lists().selectRow(1);
  editor.sources().dropFiles({"/x.png", "/y.png"});
  EXPECT_EQ(files(editor, 0),
            (std::vector<std::string>{"/a.png", "/x.png", "/y.png", "/b.png", "/c.png"}));
  EXPECT_EQ(editor.lists().selectedRow(), 1);
  editor.lists().selectRow(-1);
  editor.sources().dropFiles({"/z.png"});
  EXPECT_EQ(files(editor, 0).back(), "/z.png");
}

TEST(EditorDrop, RowMovesLandOnTheTarget) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(writeProject(dir, "rows", 30, {{1, {}}}));
  editor.sources().dropFiles({"0", "1", "2", "3", "4"});
  const std::string before = editor.lists().treeItems()[0].text;
  editor.sources().moveRow(1, 4);
  EXPECT_EQ(files(editor, 0), (std::vector<std::string>{"0", "2", "3", "4", "1"}));
  EXPECT_EQ(editor.lists().selectedRow(), 4);
  editor.sources().moveRow(4, 1);
  EXPECT_EQ(files(editor, 0), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  EXPECT_EQ(editor.lists().treeItems()[0].text, before);
  editor.sources().moveRow(1, 9);  // released outside the rows
  EXPECT_EQ(files(editor, 0), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  editor.undo();
  EXPECT_EQ(files(editor, 0), (std::vector<std::string>{"0", "2", "3", "4", "1"}));
}

TEST(EditorUndo, EveryEditRoundTripsAndModifiedFollows) {
  Opened o;
  const Project original = o.editor.session().project();
  o.port.sourceDialog = [](SourceDialogValues& v) {
    v.source.x = 99;
    return true;
  };
  o.editor.sources().sourceSettings();
  o.editor.sources().pickKeyColor(0x00FF00FF);
  o.port.answers = {Answer::Yes};
  o.editor.layers().deleteLayer();
  const Project edited = o.editor.session().project();
  ASSERT_TRUE(o.editor.session().canUndo());
  o.editor.undo();
  o.editor.undo();
  o.editor.undo();
  EXPECT_EQ(o.editor.session().project(), original);
  EXPECT_FALSE(o.editor.session().modified());
  EXPECT_FALSE(o.editor.session().canUndo());
  o.editor.redo();
  o.editor.redo();
  o.editor.redo();
  EXPECT_EQ(o.editor.session().project(), edited);
  EXPECT_TRUE(o.editor.session().modified());
  EXPECT_FALSE(o.editor.session().canRedo());
}

// Real-time playback on a clock the test moves: a frame shows when its time has come and it is
// ready; frames passed over count as dropped and are said at the end; the sound starts with the
// movie and stops with it; pressing again stops at the next tick.
TEST(EditorPlayback, FramesFollowTheClockAndLateOnesAreDropped) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  std::atomic<double> now = 0.0;  // read by the playback's workers
  editor.playback().setPlaybackClock([&now] { return now.load(); });
  editor.startUp(writeProject(dir, "one", 30, {{1, {1.0f}}}));
  // Ticks more often than frames come, so a frame is shown within a few milliseconds.
  EXPECT_EQ(editor.playback().moviePressed(), 10);
  EXPECT_TRUE(editor.playback().playing());
  // Waits (a little real time) until the frame due at `now` is shown.
  auto showsFrameAt = [&](float expected) {
    for (int i = 0; i < 2000 && editor.playback().playbackTime() != expected; ++i) {
      if (!editor.playback().playbackTick()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return editor.playback().playbackTime() == expected;
  };
  EXPECT_TRUE(showsFrameAt(0.0f));
  now = 10.5 / 30.0;
  EXPECT_TRUE(showsFrameAt(conversionFrameTimes(1.0f, 30.0f)[10]));
  now = 2.0;
  while (editor.playback().playbackTick()) {
  }
  EXPECT_FALSE(editor.playback().playing());
  ASSERT_FALSE(port.status.empty());
  EXPECT_NE(port.status.back().find("30"), std::string::npos);

  // With a sound track the sound plays from the start and stops at the end.
  Project project;
  loadProject(project, dir.file("one.pxp"));
  project.setSetting("audio", "tone.wav");
  saveProject(project, dir.file("sound.pxp"));
  editor.startUp(dir.file("sound.pxp"));
  now = 0.0;
  editor.playback().moviePressed();
  EXPECT_EQ(port.audioPlaying, dir.file("tone.wav"));
  EXPECT_EQ(port.soundFrom, 0.0);
  EXPECT_EQ(editor.playback().moviePressed(), 0);  // a second press stops at the next tick
  EXPECT_FALSE(editor.playback().playbackTick());
  EXPECT_TRUE(port.audioPlaying.empty());

  // Above 1000 frames per second there is no period: refused at once.
  editor.startUp(writeProject(dir, "fast", 2000, {{1, {1.0f}}}));
  EXPECT_EQ(editor.playback().moviePressed(), 0);
  EXPECT_FALSE(editor.playback().playing());
}

// Convert all saves a modified project first and reads it back without a dialog (the summary
// goes into the log) and without losing the history; the preview then shows the frame of the
// time again, not the last one written.
TEST(EditorOutput, ConvertAllSavesFirstAndWritesTheFrames) {
  Opened o;
  o.port.sourceDialog = [](SourceDialogValues& v) {
    v.source.duration = 1.0f;
    return true;
  };
  o.editor.lists().selectTreeItem(0);
  o.editor.view().setPreviewShown(true);
  o.editor.sources().sourceSettings();  // background now 1 s: still 3 s in all
  ASSERT_TRUE(o.editor.session().modified());
  const std::vector<uint32_t> before = test::argbPixels(o.editor.view().canvas());
  o.editor.output().convertAllPressed();
  EXPECT_TRUE(o.editor.output().converting());
  o.editor.output().waitForConversion();
  o.port.runPosted();
  EXPECT_FALSE(o.editor.output().converting());
  EXPECT_TRUE(o.port.logged("プロジェクトファイルを保存しました。"));
  EXPECT_TRUE(o.port.logged("トータルタイム　3.00　画面数　36"));
  EXPECT_TRUE(test::fileExists(o.demo.dir.file("out/frame0036.png")));
  EXPECT_EQ(o.editor.output().progressText(),
            "File Name " + o.demo.dir.folder() + "out/frame0036.png");
  EXPECT_EQ(test::argbPixels(o.editor.view().canvas()), before);
  EXPECT_FALSE(o.editor.session().modified());
  EXPECT_TRUE(o.port.notices.empty());
  EXPECT_TRUE(o.port.information.empty());
  EXPECT_TRUE(o.port.logged("Pelorix demo"));
  EXPECT_TRUE(o.editor.session().canUndo());
}

// Whatever refuses a conversion is said before the project is saved: nothing is written.
TEST(EditorOutput, ARefusedConvertAllWritesNothing) {
  Opened o;
  o.port.projectDialog = [](ProjectValues& v) {
    v.fps = 0;
    return true;
  };
  const std::string saved = test::readFile(o.demo.project());
  o.editor.files().projectSettings();
  ASSERT_TRUE(o.editor.session().modified());
  o.editor.output().convertAllPressed();
  EXPECT_FALSE(o.editor.output().converting());
  ASSERT_EQ(o.port.notices.size(), 1u);
  EXPECT_NE(o.port.notices[0].find("0.00"), std::string::npos);
  EXPECT_EQ(test::readFile(o.demo.project()), saved);
  EXPECT_TRUE(o.editor.session().modified());
}

// The convert button aborts a running conversion, whatever the format reads by now.
TEST(EditorOutput, AbortWorksWhateverTheFormat) {
  Opened o;
  o.port.projectDialog = [](ProjectValues& v) {
    v.format = "gif";
    return true;
  };
  o.editor.output().convertAllPressed();
  ASSERT_TRUE(o.editor.output().converting());
  o.editor.files().projectSettings();
  o.editor.output().convertAllPressed();
  o.editor.output().waitForConversion();
  o.port.runPosted();
  EXPECT_TRUE(o.port.notices.empty());
  EXPECT_TRUE(o.port.logged("中断しました。") || o.port.logged("変換時間は0 秒"));
}

TEST(EditorOutput, GifIsRefusedWithAMessage) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(writeProject(dir, "gif", 30, {{1, {1}}}));
  port.projectDialog = [](ProjectValues& v) {
    v.format = "gif";
    return true;
  };
  editor.files().projectSettings();
  editor.output().convertAllPressed();
  EXPECT_EQ(port.notices.back(), "GIF保存は現在サポート外です。");
  EXPECT_TRUE(port.logged("GIF保存は現在サポート外です。"));
  EXPECT_FALSE(editor.output().converting());
}

TEST(EditorOutput, ScreenSaveWritesTheCanvas) {
  Opened o;
  o.port.imageFile = o.demo.dir.file("shots/shot.png");
  o.editor.output().screenSave();  // nothing composed yet: nothing happens
  EXPECT_FALSE(test::fileExists(o.demo.dir.file("shots/shot.png")));
  o.editor.view().setPreviewShown(true);
  o.editor.output().screenSave();
  EXPECT_TRUE(test::fileExists(o.demo.dir.file("shots/shot.png")));
  EXPECT_TRUE(o.port.logged(o.demo.dir.file("shots/shot.png")));
  o.port.imageFile = o.demo.dir.file("shot.gif");
  o.editor.output().screenSave();
  EXPECT_EQ(o.port.notices.back(), "GIF保存は現在サポート外です。");
}

TEST(EditorClose, QuestionsDecideWhetherTheWindowCloses) {
  Opened o;
  o.port.answers = {Answer::No};
  EXPECT_FALSE(o.editor.closeRequested());
  o.port.answers = {Answer::Yes};
  EXPECT_TRUE(o.editor.closeRequested());  // not modified: no save question
  o.editor.sources().pickKeyColor(0x000000FF);
  o.port.answers = {Answer::Yes, Answer::Cancel};
  EXPECT_FALSE(o.editor.closeRequested());
  EXPECT_EQ(o.port.questions.back(), "プロジェクトファイルを保存しますか？");
  o.port.answers = {Answer::Yes, Answer::No};
  EXPECT_TRUE(o.editor.closeRequested());
}

TEST(EditorTexts, LayerItemsAndSourceRows) {
  Layer layer;
  layer.number = 3;
  layer.name = "bg";
  layer.totalDuration = 2.5f;
  EXPECT_EQ(layerItemText(layer), "03 :bg         [2.50]");
  layer.name = "ｶﾅ背景";  // half-width katakana take one column
  EXPECT_EQ(layerItemText(layer), "03 :ｶﾅ背景     [2.50]");
  layer.name = "a very long name";
  layer.number = 123;
  EXPECT_EQ(layerItemText(layer), "123 :a very long name [2.50]");
  Source s;
  s.file = std::string(300, 'f');
  s.duration = 1.0f / 30.0f;
  const auto cells = sourceRowTexts(s, 7);
  EXPECT_EQ(cells[0], "007");
  EXPECT_EQ(cells[1].size(), 255u);
  EXPECT_EQ(cells[2], "0.03");
  EXPECT_EQ(timeText(1.5f, 10.0f), " 1.500 / 10.000");
}

TEST(EditorAbout, InformationRowsAndVersion) {
  ScriptedPort port;
  Editor editor(port);
  editor.files().about();
  ASSERT_EQ(port.information.size(), 1u);
  const std::vector<std::string> rows = textRows(port.information[0]);
  // The home page line only when the build was given one.
  EXPECT_EQ(rows.size(), std::string(PELORIX_HOMEPAGE).empty() ? 25u : 26u);
  EXPECT_EQ(rows[0], "Pelorix　試験運転中！");
  // The installed README only when it is there.
  EXPECT_EQ(rows[2].find("README.md") != std::string::npos,
            std::filesystem::exists(std::string(PELORIX_DOC_DIR) + "/README.md"));
  EXPECT_NE(rows[2].find("pelorix-cli --help"), std::string::npos);
  EXPECT_EQ(textRows("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
}

}  // namespace
}  // namespace pelorix
