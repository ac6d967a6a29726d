// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor_test_support.h"

namespace pelorix {
namespace {

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

// The first frame of a project opened from another folder finds its pictures there.
TEST(EditorProject, OpenDrawsFromTheNewFolderAtOnce) {
  Opened o;
  o.editor.view().setPreviewShown(true);
  test::TempDir other;
  std::filesystem::copy_file(o.demo.dir.file("bg.png"), other.file("only_here.png"));
  Project p;
  p.resetProject();
  p.fps = 12;
  const int index = p.addLayer();
  p.layers[static_cast<size_t>(index)].visible = 1;
  Source s;
  s.file = "only_here.png";
  s.duration = 1.0f;
  p.addSource(index, s);
  saveProject(p, other.file("other.pxp"));
  o.port.log.clear();
  o.port.projectFile = other.file("other.pxp");
  o.editor.files().loadProjectCommand();
  EXPECT_EQ(o.editor.session().projectFolder(), other.folder());
  EXPECT_EQ(o.port.log, std::vector<std::string>{});
  EXPECT_TRUE(o.editor.view().compositor().missingPictures().empty());
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
    EXPECT_EQ(v.fps, "12");
    v.name = "renamed";
    v.fps = "24";
    return true;
  };
  o.editor.files().projectSettings();
  EXPECT_EQ(o.editor.session().title(), "Pelorix renamed[*]");
  EXPECT_EQ(o.editor.session().project().fps, 24.0f);
  EXPECT_EQ(o.editor.view().slider().maximum, 72);
  EXPECT_TRUE(o.editor.session().modified());
  EXPECT_FALSE(o.editor.session().busy());
}

// A rate that is no whole number stays exactly what it is when the field is left alone, and a
// fraction typed is taken.
TEST(EditorProject, FrameRateKeepsItsDecimals) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(writeProject(dir, "ntsc", 30000.0f / 1001.0f, {{1, {1.0f}}}));
  const float rate = editor.session().project().fps;
  port.projectDialog = [](ProjectValues& v) {
    EXPECT_EQ(v.fps, "29.97");
    v.name = "renamed";
    return true;
  };
  editor.files().projectSettings();
  EXPECT_EQ(editor.session().project().fps, rate);
  port.projectDialog = [](ProjectValues& v) {
    v.fps = "24000/1001";
    return true;
  };
  editor.files().projectSettings();
  EXPECT_FLOAT_EQ(editor.session().project().fps, 23.976024f);
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
