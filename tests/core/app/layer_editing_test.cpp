// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor_test_support.h"

namespace pelorix {
namespace {

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

// At sixteen layers New layer is disabled, and invoked all the same (a key) it says why; its
// tooltip says why too, as every disabled command's does before a project is open.
TEST(EditorLayers, NewLayerAtTheLimitSaysWhy) {
  test::TempDir dir;
  ScriptedPort port;
  Editor editor(port);
  EXPECT_FALSE(editor.whyDisabled(Command::NewSource).empty());
  std::vector<std::pair<int, std::vector<float>>> layers;
  for (int i = 1; i <= kMaxLayers; ++i)
    layers.push_back({i, {1.0f}});
  editor.startUp(writeProject(dir, "full", 30, layers));
  EXPECT_FALSE(editor.enabled(Command::NewLayer));
  EXPECT_EQ(editor.whyDisabled(Command::NewLayer), "レイヤーは 16 枚までです。");
  EXPECT_EQ(editor.whyDisabled(Command::NewSource), "");
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

}  // namespace
}  // namespace pelorix
