// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor_test_support.h"

namespace pelorix {
namespace {

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
  // The notches of one turn of the wheel are one undo step; turning another way is another.
  o.editor.sources().previewEdit(0, 0, 0, 5, PreviewEditKind::RotateStep);
  o.editor.sources().previewEdit(0, 0, 0, 5, PreviewEditKind::RotateStep);
  o.editor.undo();
  EXPECT_FLOAT_EQ(o.layer(0).sources[0].scale, 1.15f);
  EXPECT_FLOAT_EQ(o.layer(0).sources[0].rotation, 0.0f);
  o.editor.undo();
  EXPECT_FLOAT_EQ(o.layer(0).sources[0].scale, 0.95f);
}

// With a layer chosen but no source a gesture ends before it starts: said once, and the
// window does not take the mouse.
TEST(EditorPreview, AGestureWithoutASourceEndsAtOnce) {
  Opened o;
  o.editor.lists().selectRow(-1);
  EXPECT_FALSE(o.editor.sources().previewTarget());
  EXPECT_EQ(o.port.notices, std::vector<std::string>{"リストが選択されていません"});
  o.editor.lists().selectRow(0);
  EXPECT_TRUE(o.editor.sources().previewTarget());
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
  o.editor.sources().setSourceDuration(sprite, 3, -2.0f);  // an edge dragged past the start
  EXPECT_FLOAT_EQ(o.layer(sprite).sources[3].duration, 1.0f / 12.0f);
  o.editor.undo();
  EXPECT_TRUE(o.editor.session().modified());
  o.editor.undo();
  EXPECT_FLOAT_EQ(o.layer(sprite).sources[3].duration, 0.5f);
  EXPECT_FALSE(o.editor.session().modified());
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

}  // namespace
}  // namespace pelorix
