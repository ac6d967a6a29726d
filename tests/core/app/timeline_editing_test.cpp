// SPDX-License-Identifier: GPL-3.0-or-later
#include "../render/render_test_support.h"
#include "app/thumbnails.h"
#include "app/timeline_view.h"
#include "app/waveform.h"
#include "base/c_locale.h"
#include "editor_test_support.h"
#include "imageio/video_module_loader.h"

namespace pelorix {
namespace {

// The demo at 12 fps: layer 2 (index 1) has two logo blocks of 1.5 s, layer 3 (index 2) six
// sprite blocks of 0.5 s.
constexpr int kLogo = 1;
constexpr int kSprite = 2;

std::vector<float> durations(const Opened& o, int layer) {
  std::vector<float> found;
  for (const Source& s : o.layer(layer).sources)
    found.push_back(s.duration);
  return found;
}

// Either edge of a block, dragged past everything, keeps a frame on each side; a drag is one
// undo step however many moves it makes.
TEST(TimelineEditing, TrimsKeepAFrameAndADragIsOneStep) {
  Opened o;
  TimelineEditing& t = o.editor.timeline();
  o.editor.session().beginGesture();
  t.trimEnd({kSprite, 1}, 0.8);
  t.trimEnd({kSprite, 1}, 0.2);  // before the block's start
  o.editor.session().endGesture();
  EXPECT_FLOAT_EQ(o.layer(kSprite).sources[1].duration, 1.0f / 12.0f);
  t.trimStart({kSprite, 2}, 9.0);  // far past the block's end
  EXPECT_FLOAT_EQ(o.layer(kSprite).sources[1].duration, 1.0f / 12.0f + 0.5f - 1.0f / 12.0f);
  EXPECT_FLOAT_EQ(o.layer(kSprite).sources[2].duration, 1.0f / 12.0f);
  t.trimStart({kSprite, 0}, 0.3);  // the first block starts at 0 and stays there
  EXPECT_FLOAT_EQ(o.layer(kSprite).sources[0].duration, 0.5f);
  o.editor.undo();
  EXPECT_FLOAT_EQ(o.layer(kSprite).sources[2].duration, 0.5f);
  o.editor.undo();
  EXPECT_EQ(durations(o, kSprite), std::vector<float>(6, 0.5f));
}

TEST(TimelineEditing, BlocksMoveWithinAndAcrossLayers) {
  Opened o;
  TimelineEditing& t = o.editor.timeline();
  // The first sprite block dropped to start near 1.4 s starts at 1.5 s, after three others.
  const BlockRef landed = t.moveBlock({kSprite, 0}, kSprite, 1.4);
  EXPECT_EQ(landed, (BlockRef{kSprite, 3}));
  EXPECT_EQ(o.layer(kSprite).sources[3].x, 100.0f);
  EXPECT_EQ(o.editor.lists().selectedRow(), 3);
  // Into the logo layer, between its two blocks.
  const BlockRef across = t.moveBlock(landed, kLogo, 1.6);
  EXPECT_EQ(across, (BlockRef{kLogo, 1}));
  EXPECT_EQ(o.layer(kLogo).sources[1].file, "sprite1.bmp");
  EXPECT_EQ(o.layer(kSprite).sources.size(), 5u);
  EXPECT_EQ(o.editor.view().totalTime(), 3.5f);
  o.editor.undo();
  o.editor.undo();
  EXPECT_EQ(o.layer(kSprite).sources[0].x, 100.0f);
  EXPECT_EQ(o.layer(kLogo).sources.size(), 2u);
}

TEST(TimelineEditing, SelectedBlocksCopyPasteAndDeleteTogether) {
  Opened o;
  TimelineEditing& t = o.editor.timeline();
  t.clickBlock({kSprite, 4}, false);
  t.clickBlock({kSprite, 1}, true);
  t.clickBlock({kLogo, 0}, true);
  t.clickBlock({kLogo, 0}, true);  // a second Ctrl+click takes it away
  EXPECT_EQ(t.selectedBlocks().size(), 2u);
  t.copyBlocks();
  t.clickBlock({kLogo, 0}, false);  // paste after the logo's first block
  t.pasteBlocks();
  ASSERT_EQ(o.layer(kLogo).sources.size(), 4u);
  EXPECT_EQ(o.layer(kLogo).sources[1].x, 50.0f);  // in time order: block 1, then block 4
  EXPECT_EQ(o.layer(kLogo).sources[2].x, -100.0f);
  EXPECT_EQ(t.selectedBlocks(), (std::vector<BlockRef>{{kLogo, 1}, {kLogo, 2}}));
  t.clickBlock({kSprite, 0}, true);
  t.deleteBlocks();
  EXPECT_EQ(o.layer(kLogo).sources.size(), 2u);
  EXPECT_EQ(o.layer(kSprite).sources.size(), 5u);
  o.editor.undo();  // the three in one step
  EXPECT_EQ(o.layer(kLogo).sources.size(), 4u);
  EXPECT_EQ(o.layer(kSprite).sources.size(), 6u);
}

// Dragging a row reorders the layers by their numbers; keys and parents go with their layers.
TEST(TimelineEditing, LayerRowsReorderWithTheirMotion) {
  Opened o;
  Project& p = o.editor.session().edit();
  p.setSetting("layer1.rotation", "0:10:linear");
  p.setSetting("layer3.parent", "1");
  o.editor.timeline().moveLayer(0, 3);  // the background to the top
  EXPECT_EQ(o.layer(0).number, 4);
  EXPECT_EQ(o.layer(1).number, 1);
  EXPECT_EQ(o.layer(2).number, 2);
  EXPECT_EQ(o.layer(3).number, 3);
  const Project& after = o.editor.session().project();
  EXPECT_EQ(after.setting("layer4.rotation"), "0:10:linear");
  EXPECT_EQ(after.setting("layer1.rotation"), "");
  EXPECT_EQ(after.setting("layer2.parent"), "4");  // the sprite hangs on the background still
  EXPECT_EQ(o.editor.view().drawList(), (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(o.editor.lists().currentLayer(), 0);
  o.editor.undo();
  EXPECT_EQ(o.layer(0).number, 1);
}

// A block's thumbnail shows the frame of a moving picture halfway through the block (the
// second of two 1 s blocks of a 10 fps series: frame 15), with the layer's key colour clear.
TEST(Thumbnails, ShowTheBlocksMomentWithTheKeyClear) {
  test::Scene scene(8, 8);
  scene.project.fps = 10.0f;
  for (int k = 0; k < 20; ++k) {
    DibImage frame = test::solidImage(8, 4, static_cast<uint8_t>(k * 10), 0, 0);
    for (int y = 0; k == 15 && y < 4; ++y) {
      for (int x = 0; x < 4; ++x)
        frame.bits()[y * frame.pitch() + x * 3] = 7;  // the left half in the key colour
    }
    scene.writeImage(formatC("g%02d.bmp", k), frame);
  }
  Source second;
  second.file = "g##.bmp";
  second.duration = 1.0f;
  const int layer = scene.addLayer(1, "g##.bmp", second, effectColorKey, KeyColor{7, 0, 0, 0});
  scene.project.addSource(layer, second);
  const std::string folder = scene.dir.folder();
  const Thumbnail thumb = sourceThumbnail(scene.project, layer, 1, folder, 2);
  ASSERT_EQ(thumb.height, 2);
  ASSERT_EQ(thumb.width, 4);
  EXPECT_EQ(thumb.rgba[3], 0);        // the key colour is clear
  EXPECT_EQ(thumb.rgba[8 + 2], 150);  // blue of frame 15
  EXPECT_EQ(thumb.rgba[8 + 3], 255);
  EXPECT_TRUE(sourceThumbnail(scene.project, layer, 5, folder, 2).empty());
}

// The sound track is read whole into a waveform: its peaks sit where its offset puts it, a
// scrub slice is the sound at the playhead (silence past its end), and dragging the lane moves
// the offset as one undo step.
TEST(Audio, WaveformSlicesAndOffset) {
  if (!videoModuleProblem().empty()) GTEST_SKIP() << videoModuleProblem();
  test::TempDir dir;
  std::string wav = "RIFF";
  const auto put = [&wav](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
      wav.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put(36 + 8000 * 2, 4);
  wav += "WAVEfmt ";
  put(16, 4), put(1, 2), put(1, 2), put(8000, 4), put(16000, 4), put(2, 2), put(16, 2);
  wav += "data";
  put(8000 * 2, 4);
  for (int i = 0; i < 8000; ++i)  // 1 s of a 200 Hz tone at a quarter of full scale
    put(static_cast<uint16_t>(static_cast<int16_t>(8192 * std::sin(i * 2 * M_PI * 200 / 8000))), 2);
  test::writeFile(dir.file("tone.wav"), wav);
  Waveform audio;
  ASSERT_EQ(readWaveform(dir.file("tone.wav"), audio), "");
  EXPECT_NEAR(audio.seconds(), 1.0, 0.01);
  const auto peaks = audio.peaks(0.0, 0.25, 8, 0.5);  // the sound from 0.5 s to 1.5 s
  EXPECT_EQ(peaks[1], (std::pair<float, float>{0.0f, 0.0f}));
  EXPECT_NEAR(peaks[3].second, 0.25, 0.02);
  EXPECT_NEAR(peaks[3].first, -0.25, 0.02);
  EXPECT_EQ(peaks[7], (std::pair<float, float>{0.0f, 0.0f}));
  const std::vector<int16_t> slice = audio.slice(1.0, 0.5, 0.04);
  ASSERT_EQ(slice.size(), 640u);
  EXPECT_GT(*std::max_element(slice.begin(), slice.end()), 7000);
  EXPECT_EQ(slice.front(), 0);  // faded in
  const std::vector<int16_t> after = audio.slice(2.0, 0.5, 0.04);
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t v) { return v == 0; }));
  EXPECT_NE(readWaveform(dir.file("none.wav"), audio), "");

  Opened o;
  o.editor.timeline().setAudioOffset(1.0);  // no sound track: nothing changes
  EXPECT_FALSE(o.editor.session().modified());
  o.port.projectDialog = [](ProjectValues& v) {
    v.audio = "tone.wav";
    return true;
  };
  o.editor.files().projectSettings();
  o.editor.session().beginGesture();
  o.editor.timeline().setAudioOffset(0.25);
  o.editor.timeline().setAudioOffset(0.5);
  o.editor.session().endGesture();
  EXPECT_EQ(o.editor.session().project().setting("audioOffset"), "0.5000");
  EXPECT_TRUE(timelineModel(o.editor.session().project()).rows.back().audio);
  o.editor.undo();
  EXPECT_EQ(o.editor.session().project().setting("audioOffset", "none"), "none");
}

}  // namespace
}  // namespace pelorix
