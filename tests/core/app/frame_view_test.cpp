// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor_test_support.h"

namespace pelorix {
namespace {

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

}  // namespace
}  // namespace pelorix
