// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor_test_support.h"

namespace pelorix {
namespace {

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

}  // namespace
}  // namespace pelorix
