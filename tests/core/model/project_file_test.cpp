// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/project_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

namespace pelorix {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kWorkedExample =
    "PELORIX_PROJECT:\r\n"
    "demo\r\n"
    "out,frame,png\r\n"
    "12.00,160,120\r\n"
    "1,bg\r\n"
    "1,2\r\n"
    "255,0,255,0\r\n"
    "0,0\r\n"
    "sky.bmp\r\n"
    "1.50,0.00,0.00,1.00,0.00,1.00,0.00,0.00\r\n"
    "1,\r\n"
    "sky.bmp\r\n"
    "0.50,10.25,-4.00,0.50,90.00,0.80,0.00,0.00\r\n"
    "0,\r\n"
    "LAYER_END:\r\n"
    "DATA_END:\r\n";

Project workedExampleProject() {
  Project p;
  p.resetProject();
  p.name = "demo";
  p.saveFolder = "out";
  p.saveFileName = "frame";
  p.outputFormat = "png";
  p.fps = 12.0f;
  p.outputWidth = 160;
  p.outputHeight = 120;
  const int layer = p.addLayer();
  Layer& bg = p.layers[static_cast<size_t>(layer)];
  bg.number = 1;
  bg.name = "bg";
  bg.visible = 1;
  bg.effects = effectColorKey;
  bg.keyColor = {255, 0, 255, 0};
  Source first;
  first.file = "sky.bmp";
  first.duration = 1.5f;
  p.addSource(layer, first);
  Source second;
  second.file = "sky.bmp";
  second.duration = 0.5f;
  second.x = 10.25f;
  second.y = -4.0f;
  second.scale = 0.5f;
  second.rotation = 90.0f;
  second.opacity = 0.8f;
  second.flags = 0;
  p.addSource(layer, second);
  return p;
}

// Loads `content` from a temporary file into a project that already holds `earlier` values.
struct Loaded {
  Project project;
  ProjectLoadResult result;
};

Loaded loadText(const std::string& content) {
  TempDir dir;
  const std::string path = dir.file("p.pxp");
  writeFile(path, content);
  Loaded loaded;
  loaded.project.resetProject();
  loaded.result = loadProject(loaded.project, path);
  return loaded;
}

std::string header(const std::string& line4 = "30.00,320,240") {
  return "PELORIX_PROJECT:\r\nname\r\nout,frame,png\r\n" + line4 + "\r\n";
}

std::string layerBlock(int number, const std::string& sources = "") {
  return std::to_string(number) + ",L" + std::to_string(number) + "\r\n1,0\r\n0,0,0,0\r\n0,0\r\n" +
         sources + "LAYER_END:\r\n";
}

std::string sourceBlock(const std::string& file, const std::string& numbers,
                        const std::string& flags = "1,") {
  return file + "\r\n" + numbers + "\r\n" + flags + "\r\n";
}

TEST(ProjectFile, WorkedExampleIsWrittenByteForByte) {
  TempDir dir;
  const std::string path = dir.file("demo.pxp");
  const ProjectSaveResult saved = saveProject(workedExampleProject(), path);
  EXPECT_EQ(saved.result, kSaveWritten);
  EXPECT_TRUE(saved.warnings.empty());
  EXPECT_EQ(readFile(path), kWorkedExample);
}

TEST(ProjectFile, WorkedExampleReadsBackWithSummary) {
  const Loaded loaded = loadText(kWorkedExample);
  EXPECT_EQ(loaded.result.result, 2);
  EXPECT_TRUE(loaded.result.message.empty());
  EXPECT_EQ(loaded.project, workedExampleProject());
  EXPECT_EQ(loaded.project.layers[0].totalDuration, 2.0f);
  EXPECT_EQ(loaded.result.summary,
            "demo\n"
            "保存フォルダ out 保存ファイル名 frame 種類 png\n"
            "X=160 Y=120 FPS=12.000000\n"
            " レイヤ名=bg   枚数=2\n"
            " 表示=1 効果=2\n");
}

// Project options go into a fourth field of the frame line, only when set, so a file without
// them is written as before and the fields a reader knows come first.
TEST(ProjectFile, OptionsAreAnOptionalFourthField) {
  Project project = workedExampleProject();
  project.options = projectTransparentBackground | projectAnimatedFile;
  project.layers[0].effects |= effectAlpha;
  TempDir dir;
  ASSERT_EQ(saveProject(project, dir.file("o.pxp")).result, kSaveWritten);
  const std::string text = readFile(dir.file("o.pxp"));
  EXPECT_NE(text.find("\r\n12.00,160,120,3\r\n"), std::string::npos);
  const Loaded back = loadText(text);
  EXPECT_EQ(back.project, project);
  EXPECT_EQ(back.project.outputHeight, 120);
  EXPECT_EQ(loadText(kWorkedExample).project.options, 0);
}

TEST(ProjectFile, DecimalCommaLocaleReadsAndWritesTheSame) {
  test::DecimalCommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma can be had";
  const Loaded loaded = loadText(kWorkedExample);
  EXPECT_EQ(loaded.project, workedExampleProject());
  TempDir dir;
  ASSERT_EQ(saveProject(loaded.project, dir.file("c.pxp")).result, kSaveWritten);
  EXPECT_EQ(readFile(dir.file("c.pxp")), kWorkedExample);
}

TEST(ProjectFile, LineEndingVariantsReadAlike) {
  std::string lf = kWorkedExample;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;)
    lf.erase(at, 1);
  std::string noFinalEnd = kWorkedExample.substr(0, kWorkedExample.size() - 2);
  for (const std::string& content : {lf, noFinalEnd}) {
    const Loaded loaded = loadText(content);
    EXPECT_EQ(loaded.result.result, 2);
    EXPECT_EQ(loaded.project, workedExampleProject());
  }
}

TEST(LineReader, SplitsOnEveryKindOfLineEnd) {
  struct Case {
    std::string data;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a\r\nb\nc", {"a", "b", "c"}},
      {"a\r\n\r\n", {"a", ""}},
      {"ab\rcd\n", {"abc", "d"}},  // a lone CR ends the line and takes the next byte along
      {"ab\r", {"ab"}},
      {"ab\r\r\nx", {"ab\r", "", "x"}},
      {"", {}},
      {"\n", {""}},
      {std::string(100000, 'z') + "\n", {std::string(100000, 'z')}},
  };
  for (const Case& c : cases) {
    LineReader reader(c.data);
    std::vector<std::string> lines;
    std::string line;
    while (reader.next(line))
      lines.push_back(line);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(NextToken, SplitsOnSeparatorsAndRepeatsTheLastField) {
  std::string line = "a,b\tc/d";
  EXPECT_EQ(nextToken(line), "a");
  EXPECT_EQ(nextToken(line), "b");
  EXPECT_EQ(nextToken(line), "c");
  EXPECT_EQ(nextToken(line), "d");
  EXPECT_EQ(nextToken(line), "d");
  EXPECT_EQ(line, "d");
  std::string empties = ",,x";
  EXPECT_EQ(nextToken(empties), "");
  EXPECT_EQ(nextToken(empties), "");
  EXPECT_EQ(nextToken(empties), "x");
}

TEST(ProjectFile, FieldsWithFewerSeparatorsRepeatTheLastOne) {
  const Loaded loaded = loadText(
      "PELORIX_PROJECT:\r\na/b\r\nC:/out,frame,png\r\n25\r\n"
      "3\r\n1,0\r\n0,0,0,0\r\n0,0\r\n" +
      sourceBlock("img.bmp", "1.00,0,0,1,0,1,0,0", "1,") +
      sourceBlock("img.bmp", "1.00,0,0,1,0,1,0,0", "0,p,q") +
      "LAYER_END:\r\n"
      "4,x,y\r\n1,0\r\n0,0,0,0\r\n0,0\r\nLAYER_END:\r\nDATA_END:\r\n");
  const Project& p = loaded.project;
  ASSERT_EQ(loaded.result.result, 3);
  EXPECT_EQ(p.name, "a");
  EXPECT_EQ(p.saveFolder, "C:");
  EXPECT_EQ(p.saveFileName, "out");
  EXPECT_EQ(p.outputFormat, "frame");
  EXPECT_EQ(p.fps, 25.0f);
  EXPECT_EQ(p.outputWidth, 25);
  EXPECT_EQ(p.outputHeight, 25);
  EXPECT_EQ(p.layers[0].number, 3);
  EXPECT_EQ(p.layers[0].name, "3");
  EXPECT_EQ(p.layers[0].sources[0].flags, 1);
  EXPECT_EQ(p.layers[0].sources[0].pluginText, "");
  EXPECT_EQ(p.layers[0].sources[1].pluginText, "p");
  EXPECT_EQ(p.layers[1].name, "x");
}

TEST(ProjectFile, SeventeenLayersLoadSixteen) {
  std::string content = header();
  for (int i = 1; i <= 17; ++i)
    content += layerBlock(i);
  content += "DATA_END:\r\n";
  const Loaded loaded = loadText(content);
  EXPECT_EQ(loaded.result.result, 17);
  EXPECT_EQ(loaded.project.layerCount, 16);
  EXPECT_EQ(loaded.project.layers[15].number, 16);
  // The layers left out are said, every time the file is read.
  EXPECT_EQ(loaded.result.layersLeftOut, 1);
  ASSERT_EQ(loaded.result.warnings.size(), 1u);
  EXPECT_NE(loaded.result.warnings[0].find("1 個"), std::string::npos);
  // Nothing after DATA_END is read, and nothing after the sixteenth layer either.
  EXPECT_EQ(loadText(header() + layerBlock(1) + "DATA_END:\r\ngarbage").result.result, 2);
}

// The extensions block after DATA_END: comes back as it was, unknown keys and all; a file
// without one is written without one.
TEST(ProjectFile, TheExtensionsBlockSurvivesALoadAndASave) {
  const std::string file = header() + layerBlock(1) +
                           "DATA_END:\r\nPELORIX_EXTENSIONS:\r\naudio=sound\\track.wav\r\n"
                           "audioOffset=-1.50\r\nfuture=kept as it is\r\nEXTENSIONS_END:\r\n";
  const Loaded loaded = loadText(file);
  EXPECT_EQ(loaded.result.result, 2);
  EXPECT_EQ(loaded.project.setting("audio"), "sound/track.wav");
  EXPECT_EQ(loaded.project.setting("audioOffset"), "-1.50");
  EXPECT_EQ(loaded.project.setting("audioVolume", "1"), "1");
  TempDir dir;
  ASSERT_EQ(saveProject(loaded.project, dir.file("again.pxp")).result, kSaveWritten);
  EXPECT_EQ(readFile(dir.file("again.pxp")), file);
  Project none = loaded.project;
  for (const char* key : {"audio", "audioOffset", "future"})
    none.setSetting(key, "");
  ASSERT_EQ(saveProject(none, dir.file("none.pxp")).result, kSaveWritten);
  EXPECT_EQ(readFile(dir.file("none.pxp")), header() + layerBlock(1) + "DATA_END:\r\n");
}

// A save folder written with '/' by hand reads as more fields than line 3 has: said, with what
// was read, so the later failure is not a riddle.
TEST(ProjectFile, ExtraFieldsOnTheSaveLineAreSaid) {
  const Loaded loaded = loadText(
      "PELORIX_PROJECT:\r\nname\r\nrenders/out,frame,png\r\n30.00,320,240\r\nDATA_END:\r\n");
  EXPECT_EQ(loaded.project.saveFolder, "renders");
  EXPECT_EQ(loaded.project.outputFormat, "frame");
  ASSERT_EQ(loaded.result.warnings.size(), 1u);
  EXPECT_NE(loaded.result.warnings[0].find("「renders」"), std::string::npos);
  EXPECT_TRUE(loadText(header() + "DATA_END:\r\n").result.warnings.empty());
}

TEST(ProjectFile, MalformedFilesKeepWhatWasRead) {
  struct Case {
    const char* what;
    std::string content;
    int layers;
  };
  const Case cases[] = {
      {"empty file", "", 0},
      {"marker with a blank", "PELORIX_PROJECT: \r\n", 0},
      {"marker only", "PELORIX_PROJECT:\r\n", 0},
      {"no DATA_END", header() + layerBlock(1), 1},
      {"cut inside a layer", header() + layerBlock(1) + "2,b\r\n1,0\r\n", 1},
      {"cut inside a source",
       header() + layerBlock(1) + "2,b\r\n1,0\r\n0,0,0,0\r\n0,0\r\nx.bmp\r\n", 1},
  };
  for (const Case& c : cases) {
    const Loaded loaded = loadText(c.content);
    EXPECT_EQ(loaded.result.result, kLoadMalformed) << c.what;
    EXPECT_EQ(loaded.project.layerCount, c.layers) << c.what;
    EXPECT_NE(loaded.result.message.find("] layerinfoファイルが異常です"), std::string::npos);
    EXPECT_TRUE(loaded.result.summary.empty());
  }
  const Loaded partial = loadText(header("12.5,64,48") + layerBlock(7));
  EXPECT_EQ(partial.project.fps, 12.5f);
  EXPECT_EQ(partial.project.outputWidth, 64);
  EXPECT_EQ(partial.project.layers[0].number, 7);
}

TEST(ProjectFile, StrayEmptyLinesShiftTheReading) {
  // An empty line where a source begins is a source with an empty file name; the next two
  // lines are its numbers and flags.
  const Loaded atSource = loadText(header() + "1,a\r\n1,0\r\n0,0,0,0\r\n0,0\r\n\r\n" +
                                   "2.00,0,0,1,0,1,0,0\r\n1,\r\nLAYER_END:\r\nDATA_END:\r\n");
  ASSERT_EQ(atSource.result.result, 2);
  ASSERT_EQ(atSource.project.layers[0].sources.size(), 1u);
  EXPECT_EQ(atSource.project.layers[0].sources[0].file, "");
  EXPECT_EQ(atSource.project.layers[0].sources[0].duration, 2.0f);

  // An empty line where a layer begins is layer 0 with an empty name, and it swallows the real
  // layer's lines: the file no longer ends where the reader expects.
  const Loaded atLayer = loadText(header() + "\r\n" + layerBlock(5) + "DATA_END:\r\n");
  EXPECT_EQ(atLayer.result.result, kLoadMalformed);
  EXPECT_EQ(atLayer.project.layerCount, 0);
  EXPECT_EQ(atLayer.project.layers[0].number, 0);
  EXPECT_EQ(atLayer.project.layers[0].name, "");
  EXPECT_EQ(atLayer.project.layers[0].visible, 5);  // "5,L5" read as visible, effects
}

TEST(ProjectFile, KeyColourLowBitsAndOpacityLimit) {
  const Loaded loaded =
      loadText(header() + "1,a\r\n1,2\r\n300,-1,255,0\r\n0,0\r\n" +
               sourceBlock("a.bmp", "1,0,0,1,0,1.50,0,0") +
               sourceBlock("a.bmp", "1,0,0,1,0,-0.50,0,0") + "LAYER_END:\r\nDATA_END:\r\n");
  const Layer& layer = loaded.project.layers[0];
  EXPECT_EQ(layer.keyColor.blue, 44);
  EXPECT_EQ(layer.keyColor.green, 255);
  EXPECT_EQ(layer.keyColor.red, 255);
  EXPECT_EQ(layer.sources[0].opacity, 1.0f);
  EXPECT_EQ(layer.sources[1].opacity, -0.5f);
}

TEST(ProjectFile, NoValueRangeIsChecked) {
  const Loaded loaded = loadText(header("0,0,0") + layerBlock(0) + layerBlock(0) + "DATA_END:\r\n");
  EXPECT_EQ(loaded.result.result, 3);
  EXPECT_EQ(loaded.project.fps, 0.0f);
  EXPECT_EQ(loaded.project.outputWidth, 0);
}

TEST(ProjectFile, MissingFileKeepsTheOutputSettings) {
  Project project = workedExampleProject();
  const ProjectLoadResult result = loadProject(project, "/nonexistent/x.pxp");
  EXPECT_EQ(result.result, kLoadCannotOpen);
  EXPECT_EQ(result.message, "[/nonexistent/x.pxp] layerinfoファイルが開けません");
  EXPECT_EQ(project.layerCount, 0);
  EXPECT_EQ(project.name, "demo");
  EXPECT_EQ(project.fps, 12.0f);
  TempDir dir;
  EXPECT_EQ(loadProject(project, dir.path().string()).result, kLoadCannotOpen);
}

TEST(ProjectFile, TwoDecimalRounding) {
  Project p = workedExampleProject();
  p.fps = 29.97f;
  p.layers[0].sources[0].duration = 1.0f / 30.0f;
  TempDir dir;
  const std::string path = dir.file("r.pxp");
  ASSERT_EQ(saveProject(p, path).result, kSaveWritten);
  const std::string text = readFile(path);
  EXPECT_NE(text.find("\r\n29.97,160,120\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n0.03,0.00,0.00,"), std::string::npos);
  Project back;
  loadProject(back, path);
  EXPECT_EQ(back.layers[0].sources[0].duration, 0.03f);
  EXPECT_EQ(back.layers[0].totalDuration, 0.03f + 0.5f);
}

TEST(ProjectFile, NothingToSaveLeavesTheFileAlone) {
  TempDir dir;
  const std::string path = dir.file("keep.pxp");
  writeFile(path, "old");
  Project empty;
  empty.resetProject();
  EXPECT_EQ(saveProject(empty, path).result, kSaveNothing);
  EXPECT_EQ(readFile(path), "old");
}

TEST(ProjectFile, FailedSaveIsReportedAndKeepsTheOldFile) {
  TempDir dir;
  const ProjectSaveResult missing = saveProject(workedExampleProject(), dir.file("no/dir/p.pxp"));
  EXPECT_EQ(missing.result, kSaveFailed);
  EXPECT_NE(missing.message.find("] layerinfoファイルが保存できません"), std::string::npos);

  if (geteuid() == 0) return;  // root can write into a read-only folder
  const std::string path = dir.file("keep.pxp");
  writeFile(path, "old");
  chmod(dir.path().c_str(), 0555);
  EXPECT_EQ(saveProject(workedExampleProject(), path).result, kSaveFailed);
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(readFile(path), "old");
}

TEST(ProjectFile, SeparatorsInTextsAreWrittenWithAWarning) {
  Project p = workedExampleProject();
  p.name = "a,b";
  p.layers[0].name = "x/y";
  p.layers[0].sources[0].pluginText = "p\tq";
  p.layers[0].sources[1].file = "pics/sky.bmp";  // a path: written with a backslash, no warning
  TempDir dir;
  const std::string path = dir.file("w.pxp");
  const ProjectSaveResult saved = saveProject(p, path);
  EXPECT_EQ(saved.result, kSaveWritten);
  EXPECT_EQ(saved.warnings.size(), 3u);
  EXPECT_NE(readFile(path).find("\r\na,b\r\n"), std::string::npos);
  EXPECT_NE(readFile(path).find("\r\npics\\sky.bmp\r\n"), std::string::npos);
  Project back;
  loadProject(back, path);
  EXPECT_EQ(back.name, "a");
  EXPECT_EQ(back.layers[0].sources[1].file, "pics/sky.bmp");
}

TEST(ProjectFile, LineBreaksInTextsCannotShiftTheFile) {
  Project p = workedExampleProject();
  p.layers[0].name = "two\nlines";
  TempDir dir;
  const std::string path = dir.file("n.pxp");
  const ProjectSaveResult saved = saveProject(p, path);
  EXPECT_EQ(saved.warnings.size(), 1u);
  Project back;
  EXPECT_EQ(loadProject(back, path).result, 2);
  EXPECT_EQ(back.layers[0].name, "two lines");
}

// "ソ" (83 5C) and "表" (95 5C) end in the byte of a backslash.
const std::string kCp932Project =
    "PELORIX_PROJECT:\r\n"
    "\x83\x5C\x83\x74\x83\x67\r\n"        // ソフト
    "C:\\\x95\x5C\\out,\x83\x5C,png\r\n"  // C:\表\out, ソ
    "30.00,320,240\r\n"
    "1,\x94\x77\x8C\x69\r\n"  // 背景
    "1,0\r\n0,0,0,0\r\n0,0\r\n"
    "\x91\x66\x8D\xDE\\\x95\x5C.bmp\r\n"  // 素材\表.bmp
    "1.00,0.00,0.00,1.00,0.00,1.00,0.00,0.00\r\n"
    "1,\r\n"
    "LAYER_END:\r\n"
    "DATA_END:\r\n";

TEST(ProjectFile, Cp932FileIsReadAsUtf8AndWrittenBackUnchanged) {
  TempDir dir;
  const std::string in = dir.file("sjis.pxp");
  writeFile(in, kCp932Project);
  Project p;
  ASSERT_EQ(loadProject(p, in).result, 2);
  EXPECT_EQ(p.fileEncoding, TextEncoding::Cp932);
  EXPECT_EQ(p.name, "ソフト");
  EXPECT_EQ(p.saveFolder, "C:/表/out");
  EXPECT_EQ(p.saveFileName, "ソ");
  EXPECT_EQ(p.layers[0].name, "背景");
  EXPECT_EQ(p.layers[0].sources[0].file, "素材/表.bmp");
  const std::string out = dir.file("again.pxp");
  ASSERT_EQ(saveProject(p, out).result, kSaveWritten);
  EXPECT_EQ(readFile(out), kCp932Project);

  p.fileEncoding = TextEncoding::Utf8;
  ASSERT_EQ(saveProject(p, out).result, kSaveWritten);
  EXPECT_NE(readFile(out).find("C:\\表\\out,ソ,png"), std::string::npos);
}

// CP932 has two codes for some characters (NEC's and IBM's): a file keeps the ones it has.
TEST(ProjectFile, Cp932CharactersWithTwoCodesKeepTheirBytes) {
  TempDir dir;
  std::string project = kCp932Project;
  // "≒" as NEC row 13 writes it, and "纊" as NEC's selection of IBM characters does.
  const std::string twice = "\x87\x90\xED\x40";
  project.replace(project.find("\x83\x5C\x83\x74\x83\x67"), 6, twice);
  writeFile(dir.file("in.pxp"), project);
  Project p;
  ASSERT_EQ(loadProject(p, dir.file("in.pxp")).result, 2);
  ASSERT_EQ(saveProject(p, dir.file("out.pxp")).result, kSaveWritten);
  EXPECT_EQ(readFile(dir.file("out.pxp")), project);
  Project edited = p;
  edited.layers[0].name = "≒";  // typed anew: the usual code
  ASSERT_EQ(saveProject(edited, dir.file("edited.pxp")).result, kSaveWritten);
  EXPECT_NE(readFile(dir.file("edited.pxp")).find("1,\x81\xE0\r\n"), std::string::npos);
}

// A Latin-1 name in a CP932 file is bytes, not text: CP932 writes them back; UTF-8 cannot, and
// the save is refused rather than writing a file that reads back otherwise.
TEST(ProjectFile, BytesThatAreNoTextStayCp932) {
  TempDir dir;
  std::string project = kCp932Project;
  project.replace(project.find("\x83\x5C\x83\x74\x83\x67"), 6, "caf\xE9");
  writeFile(dir.file("in.pxp"), project);
  Project p;
  ASSERT_EQ(loadProject(p, dir.file("in.pxp")).result, 2);
  ASSERT_EQ(saveProject(p, dir.file("out.pxp")).result, kSaveWritten);
  EXPECT_EQ(readFile(dir.file("out.pxp")), project);
  p.fileEncoding = TextEncoding::Utf8;
  const ProjectSaveResult saved = saveProject(p, dir.file("utf8.pxp"));
  EXPECT_EQ(saved.result, kSaveFailed);
  EXPECT_FALSE(saved.message.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("utf8.pxp")));
}

TEST(ProjectFile, TextWithoutCp932FormFallsBackToUtf8) {
  TempDir dir;
  const std::string in = dir.file("sjis.pxp");
  writeFile(in, kCp932Project);
  Project p;
  loadProject(p, in);
  p.name = "ソフト 😀";
  const ProjectSaveResult saved = saveProject(p, in);
  EXPECT_EQ(saved.encoding, TextEncoding::Utf8);
  EXPECT_EQ(saved.warnings.size(), 1u);
  Project back;
  loadProject(back, in);
  EXPECT_EQ(back.name, "ソフト 😀");
  EXPECT_EQ(back.fileEncoding, TextEncoding::Utf8);
}

}  // namespace
}  // namespace pelorix
