// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <cstring>
#include <tuple>

#include "../render/render_test_support.h"
#include "editor_test_support.h"
#include "model/project_file.h"

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

// What the window shows of `frame` at `width` x `height`: the frame stretched with nearest
// sampling.
std::vector<uint32_t> stretched(const DibImage& frame, int width, int height) {
  std::vector<uint32_t> out(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    const int fy = static_cast<int>((y + 0.5) * frame.height() / height);
    const auto* row = reinterpret_cast<const uint32_t*>(frame.row(fy));
    for (int x = 0; x < width; ++x)
      out[static_cast<size_t>(y * width + x)] =
          row[static_cast<int>((x + 0.5) * frame.width() / width)];
  }
  return out;
}

// PSNR of what the window shows of `shown` against what it showed of the whole frame.
double shownPsnr(const DibImage& shown, const DibImage& full, int width, int height) {
  const std::vector<uint32_t> now = stretched(shown, width, height);
  const std::vector<uint32_t> before = stretched(full, width, height);
  double error = 0.0;
  for (size_t i = 0; i < now.size(); ++i) {
    for (int c = 0; c < 24; c += 8) {
      const double d = static_cast<double>((now[i] >> c) & 0xFF) - ((before[i] >> c) & 0xFF);
      error += d * d;
    }
  }
  const double mse = error / (3.0 * static_cast<double>(now.size()));
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct ShownAt {
  DibImage full;
  DibImage shown;
};

// The frame at `t` as the preview composes it for the frame's size and for `width` x `height`.
ShownAt composeShown(const std::string& project, int width, int height, float t) {
  ScriptedPort port;
  Editor editor(port);
  editor.startUp(project);
  FrameView& view = editor.view();
  view.setTotalMode(true);
  view.setPreviewShown(true);
  view.redraw(t);
  ShownAt at;
  at.full = view.canvas().clone();
  view.viewScale().setSize(width, height);
  view.redraw(t);
  at.shown = view.canvas().clone();
  return at;
}

// The preview composes at the size the window shows the frame: the render's bytes at the
// frame's size and above, and below it what the frame stretched down showed (PSNR >= 40 dB).
TEST(EditorTransport, ThePreviewComposesAtTheSizeItIsShown) {
  DemoCopy demo;
  const ShownAt larger = composeShown(demo.project(), 640, 480, 1.2f);
  ASSERT_EQ(larger.shown.width(), 320);
  for (int y = 0; y < 240; ++y)
    ASSERT_EQ(0, std::memcmp(larger.shown.row(y), larger.full.row(y), 320 * 4)) << y;
  const ShownAt half = composeShown(demo.project(), 160, 120, 1.2f);
  ASSERT_EQ(half.shown.width(), 160);
  ASSERT_EQ(half.shown.height(), 120);
  EXPECT_GE(shownPsnr(half.shown, half.full, 160, 120), 40.0);

  // The 8-layer 720p project at half its size, and the 4K one with 16 layers at 1600x900, where
  // the window drew every second or third of the frame's pixels.
  test::TempDir dir;
  for (const auto& [k, layers, w, h] : {std::tuple{1, 8, 640, 360}, std::tuple{3, 16, 1600, 900}}) {
    saveProject(test::layerStack(dir.folder(), k, layers), dir.file("stack.pxp"));
    const ShownAt shown = composeShown(dir.file("stack.pxp"), w, h, 1.0f);
    ASSERT_EQ(shown.shown.width(), w);
    EXPECT_GE(shownPsnr(shown.shown, shown.full, w, h), 40.0) << k;
  }
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
