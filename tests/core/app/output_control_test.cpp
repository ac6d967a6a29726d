// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor_test_support.h"

namespace pelorix {
namespace {

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

// An editor whose playback runs on a clock the test moves (read by the playback's workers).
struct PlaybackRig {
  PlaybackRig() {
    editor.playback().setPlaybackClock([this] { return now.load(); });
  }
  // Ticks, with a little real time between, until the frame of `time` is shown.
  bool shows(float time) {
    for (int i = 0; i < 2000 && editor.playback().playbackTime() != time; ++i) {
      if (!editor.playback().playbackTick()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return editor.playback().playbackTime() == time;
  }
  std::atomic<double> now = 0.0;  // first: the workers read it until the editor is gone
  test::TempDir dir;
  ScriptedPort port;
  Editor editor{port};
};

// Real-time playback on a clock the test moves: a frame shows when its time has come and it is
// ready; frames passed over count as dropped and are said at the end; the sound starts with the
// movie and stops with it; pressing again stops at the next tick.
TEST(EditorPlayback, FramesFollowTheClockAndLateOnesAreDropped) {
  PlaybackRig rig;
  auto& [now, dir, port, editor] = rig;
  editor.startUp(writeProject(dir, "one", 30, {{1, {1.0f}}}));
  // Ticks more often than frames come, so a frame is shown within a few milliseconds.
  EXPECT_EQ(editor.playback().moviePressed(), 10);
  EXPECT_TRUE(editor.playback().playing());
  EXPECT_TRUE(rig.shows(0.0f));
  now = 10.5 / 30.0;
  EXPECT_TRUE(rig.shows(conversionFrameTimes(1.0f, 30.0f)[10]));
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

// Pictures follow the sound while it plays: a sound that started late holds them back, one whose
// device runs fast pulls them on, and a position that says nothing new (or lies within half a
// frame) leaves the clock alone.
TEST(EditorPlayback, PicturesFollowTheSound) {
  PlaybackRig rig;
  auto& [now, dir, port, editor] = rig;
  editor.startUp(writeProject(dir, "one", 30, {{1, {2.0f}}}));
  const std::vector<float> times = conversionFrameTimes(2.0f, 30.0f);
  auto shows = [&](int frame) { return rig.shows(times[static_cast<size_t>(frame)]); };
  auto at = [](int frame) { return (frame + 0.5) / 30.0; };  // amid a frame's time
  editor.view().scrubTo(0.5f);
  editor.playback().playFromHere(false);  // from frame 15: the clock's 0 is 0.5 s
  EXPECT_TRUE(shows(15));
  now = at(15);
  port.soundAt = 0.5 + at(12);  // three frames behind the pictures
  EXPECT_TRUE(shows(27));
  now = at(18);
  port.soundAt = 0.5 + at(15) + 0.005;  // within half a frame
  EXPECT_TRUE(shows(30));
  now = at(21);  // the same position again: the device has not moved on
  EXPECT_TRUE(shows(33));
  port.soundAt = 0.5 + at(30);  // ahead
  EXPECT_TRUE(shows(45));
  port.soundAt.reset();  // the sound ended: the clock goes on from there
  now = at(24);
  EXPECT_TRUE(shows(48));
  editor.playback().stop();
}

// Play from here starts at the playhead and moves it with the movie, rounds the work area when
// looping, and a stop says how many frames passed, not how many the animation has.
TEST(EditorPlayback, PlayFromHereFollowsLoopsAndCountsWhatPassed) {
  PlaybackRig rig;
  auto& [now, dir, port, editor] = rig;
  editor.startUp(writeProject(dir, "one", 30, {{1, {1.0f}}}));
  editor.view().scrubTo(0.5f);
  editor.timeline().setWorkArea(std::pair{0.6, 0.2});  // frames 6 to 17
  EXPECT_EQ(workAreaFrames(editor.session().project(), 30), std::pair(6, 17));
  editor.playback().playFromHere(true);
  const std::vector<float> times = conversionFrameTimes(1.0f, 30.0f);
  auto showsFrame = [&](int frame) {
    const float time = times[static_cast<size_t>(frame)];
    return rig.shows(time) && rig.editor.view().currentTime() == time;
  };
  EXPECT_TRUE(showsFrame(15));
  now = 3.5 / 30.0;  // past frame 17: round to the area's start
  EXPECT_TRUE(showsFrame(6));
  EXPECT_EQ(editor.view().slider().position, 6);
  editor.playback().playFromHere(true);  // stops at the next tick
  EXPECT_FALSE(editor.playback().playbackTick());
  ASSERT_FALSE(port.status.empty());
  EXPECT_EQ(port.status.back().rfind("再生: 4 画面のうち", 0), 0u) << port.status.back();
  EXPECT_EQ(editor.view().currentTime(), times[6]);  // the playhead stays where the movie was
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
  EXPECT_EQ(o.editor.output().progressFrames(), "37 / 37 画面");
  EXPECT_EQ(test::argbPixels(o.editor.view().canvas()), before);
  EXPECT_FALSE(o.editor.session().modified());
  EXPECT_TRUE(o.port.notices.empty());
  EXPECT_TRUE(o.port.information.empty());
  EXPECT_TRUE(o.port.logged("Pelorix demo"));
  EXPECT_TRUE(o.editor.session().canUndo());
}

// With "convert the work area only" on, a conversion writes the frames inside the area and no
// others, numbered as in the whole animation.
TEST(EditorOutput, WorkAreaOnlyWritesTheAreaAlone) {
  Opened o;
  o.editor.timeline().setWorkArea(std::pair{1.0, 1.5});  // 12 fps: frames 12 to 17
  o.editor.run(Command::WorkAreaOnly);
  EXPECT_TRUE(o.editor.checked(Command::WorkAreaOnly));
  o.editor.output().convertAllPressed();
  o.editor.output().waitForConversion();
  o.port.runPosted();
  for (int frame = 11; frame <= 18; ++frame) {
    const bool inside = frame >= 12 && frame <= 17;
    char name[32];
    std::snprintf(name, sizeof name, "out/frame%04d.png", frame);
    EXPECT_EQ(test::fileExists(o.demo.dir.file(name)), inside) << frame;
  }
}

// Whatever refuses a conversion is said before the project is saved: nothing is written.
TEST(EditorOutput, ARefusedConvertAllWritesNothing) {
  Opened o;
  o.port.projectDialog = [](ProjectValues& v) {
    v.fps = "0";
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
  // A window showing the frame at half its size still saves the frame's own pixels, and keeps
  // showing the small composition.
  o.editor.view().viewScale().setSize(160, 120);
  o.editor.view().redraw(o.editor.view().currentTime());
  ASSERT_EQ(o.editor.view().canvas().width(), 160);
  o.port.imageFile = o.demo.dir.file("half.png");
  o.editor.output().screenSave();
  DibImage saved;
  ASSERT_FALSE(saved.load(o.demo.dir.file("half.png")).failed());
  EXPECT_EQ(saved.width(), 320);
  EXPECT_EQ(saved.height(), 240);
  EXPECT_EQ(o.editor.view().canvas().width(), 160);
}

}  // namespace
}  // namespace pelorix
