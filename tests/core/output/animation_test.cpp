// SPDX-License-Identifier: GPL-3.0-or-later
// One-file outputs of images: animated GIF, WebP and PNG, read back with other decoders.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <cmath>
#include <cstring>

#include "animation_test_support.h"
#include "imageio/frame_source.h"
#include "output/animation_join.h"
#include "output/animation_writer.h"
#include "output/formats.h"

namespace pelorix {
namespace {

using test::Animation;
using test::RecordingListener;
using test::renderTo;
using test::seriesFrames;

uint32_t big32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 |
         static_cast<uint8_t>(bytes[at + 3]);
}

TEST(Formats, TheTableResolvesEachNameOnce) {
  EXPECT_EQ(formatOfProject("MP4", false)->name, "mp4");
  EXPECT_EQ(formatOfProject(".apng", false)->name, "apng");
  EXPECT_EQ(formatOfProject("gif", false)->kind, OutputKind::Series);
  EXPECT_EQ(formatOfProject("gif", true)->kind, OutputKind::OneFile);
  EXPECT_EQ(formatOfProject("JPEG", false)->name, "jpg");
  EXPECT_EQ(formatOfProject("png", true)->kind, OutputKind::Series);
  EXPECT_EQ(formatOfProject("avi", false), nullptr);
  EXPECT_EQ(oneFileFormatOfPath("out/a.webp")->name, "webp");
  EXPECT_EQ(oneFileFormatOfPath("out/frames"), nullptr);
  EXPECT_EQ(oneFileFormatOfPath("out/a.png"), nullptr);
  for (const OutputFormat& format : outputFormats()) {
    // Every row can write: a codec for a series, a writer for one file.
    EXPECT_TRUE(format.kind == OutputKind::Series ? format.codec != nullptr
                                                  : format.makeWriter != nullptr)
        << format.name;
    EXPECT_FALSE(format.extensions().empty()) << format.name;
    EXPECT_EQ(findOutputFormat(format.extension(), format.kind), &format);
  }
  EXPECT_EQ(formatNames(OutputKind::OneFile),
            "gif, webp, apng, mp4, webm, mov, mkv, lottie, y4m, nut");
  EXPECT_EQ(frameRateOf(29.97f).num, 30000);
  EXPECT_EQ(frameRateOf(29.97f).den, 1001);
  EXPECT_EQ(frameRateOf(12.5f).num, 25);
  EXPECT_EQ(frameRateOf(12.5f).den, 2);
  EXPECT_EQ(frameRateOf(30.0f).num, 30);
}

// APNG: the picture libpng shows is frame 0; acTL counts the frames, fcTL and fdAT number their
// chunks in order, and every delay is 1/fps.
TEST(OneFile, ApngChunksCountAndTime) {
  Animation animation(0.5f, 12.0f);
  const std::vector<std::vector<uint8_t>> expected = seriesFrames(animation);
  RecordingListener listener;
  ASSERT_EQ(renderTo(animation, "anim.apng", listener), ConversionOutcome::Completed);
  const std::string bytes = test::readFile(animation.scene.dir.file("anim.apng"));
  DibImage first;
  ASSERT_FALSE(first.loadFromMemory({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()})
                   .failed());
  for (int y = 0; y < first.height(); ++y) {
    std::vector<uint8_t> row(static_cast<size_t>(first.width()) * 4);
    readRowBgra(first, y, row.data());
    ASSERT_EQ(std::memcmp(row.data(), expected[0].data() + row.size() * y, row.size()), 0);
  }
  uint32_t sequence = 0, controls = 0, frames = 0;
  for (size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = big32(bytes, at);
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "acTL") frames = big32(bytes, at + 8);
    if (type == "fcTL" || type == "fdAT") {
      EXPECT_EQ(big32(bytes, at + 8), sequence++) << type;
    }
    if (type == "fcTL") {
      ++controls;
      EXPECT_EQ(bytes.substr(at + 28, 4), std::string("\0\1\0\x0c", 4));  // 1/12 s
    }
    at += 12 + length;
  }
  EXPECT_EQ(frames, expected.size());
  EXPECT_EQ(controls, expected.size());
}

// GIF and WebP: every frame is there, the first decodes with our GIF reader, and the delays add
// up to the animation's length (GIF in hundredths with the rounding carried, WebP in ms).
TEST(OneFile, AnimatedGifAndWebp) {
  Animation animation(0.5f, 12.0f);
  RecordingListener gifListener;
  ASSERT_EQ(renderTo(animation, "anim.gif", gifListener), ConversionOutcome::Completed);
  int error = 0;
  GifFileType* gif = DGifOpenFileName(animation.scene.dir.file("anim.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK);
  EXPECT_EQ(gif->ImageCount, 6);
  int centiseconds = 0;
  for (int i = 0; i < gif->ImageCount; ++i) {
    GraphicsControlBlock control;
    DGifSavedExtensionToGCB(gif, i, &control);
    centiseconds += control.DelayTime;
  }
  EXPECT_EQ(centiseconds, 50);  // 6 frames at 12 fps
  DGifCloseFile(gif, &error);
  DibImage first;
  EXPECT_FALSE(first.load(animation.scene.dir.file("anim.gif")).failed());
  EXPECT_EQ(first.width(), 64);

  RecordingListener webpListener;
  ASSERT_EQ(renderTo(animation, "anim.webp", webpListener), ConversionOutcome::Completed);
  const std::string bytes = test::readFile(animation.scene.dir.file("anim.webp"));
  WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, nullptr);
  ASSERT_NE(decoder, nullptr);
  WebPAnimInfo info;
  WebPAnimDecoderGetInfo(decoder, &info);
  EXPECT_EQ(info.frame_count, 6u);
  EXPECT_EQ(info.canvas_width, 64u);
  int timestamp = 0;
  uint8_t* pixels = nullptr;
  while (WebPAnimDecoderHasMoreFrames(decoder))
    WebPAnimDecoderGetNext(decoder, &pixels, &timestamp);
  EXPECT_EQ(timestamp, 500);
  WebPAnimDecoderDelete(decoder);

  // A part claiming a canvas no WebP encoder writes is refused before anything is drawn on it.
  AnimationPart part;
  part.path = "anim.webp";
  part.bytes = bytes;
  EXPECT_EQ(readWebpPart(part), "");
  ASSERT_EQ(part.bytes.compare(12, 4, "VP8X"), 0);
  part.bytes[24] = '\xFF';  // the canvas's width less one, three bytes from here
  part.bytes[25] = '\xFF';
  part.bytes[26] = '\x3F';
  EXPECT_NE(readWebpPart(part).find("16383"), std::string::npos);
}

// Every frame of an animation file as BGRA rows, read with Pelorix's own moving-picture readers.
std::vector<std::vector<uint8_t>> decodedFrames(const std::string& path) {
  ImageError error;
  std::unique_ptr<FrameSource> source = openFrameSource(path, 0.0, error);
  std::vector<std::vector<uint8_t>> frames;
  if (!source) return frames;
  for (int64_t k = 0; k < source->timing().frames; ++k) {
    DibImage frame;
    if (source->decode(k, frame).failed()) break;
    std::vector<uint8_t> pixels(static_cast<size_t>(frame.width()) * frame.height() * 4);
    for (int y = 0; y < frame.height(); ++y)
      readRowBgra(frame, y, pixels.data() + static_cast<size_t>(y) * frame.width() * 4);
    frames.push_back(std::move(pixels));
  }
  return frames;
}

// The largest difference of a channel between two lists of frames; 256 when they differ in
// number or size.
int worstDifference(const std::vector<std::vector<uint8_t>>& a,
                    const std::vector<std::vector<uint8_t>>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t f = 0; f < a.size(); ++f) {
    if (a[f].size() != b[f].size()) return 256;
    for (size_t i = 0; i < a[f].size(); ++i)
      worst = std::max(worst, std::abs(a[f][i] - b[f][i]));
  }
  return worst;
}

// After the first frame APNG and opaque GIF frames hold only the rectangle that changed, yet
// decode to the composed frames: exactly for APNG, and for GIF within the quantiser's rounding
// when the frames have fewer colours than a palette holds (a palette per frame, or one for the
// file). A part of a render starts with a whole frame; --loop reaches the file.
TEST(OneFile, ChangedRectanglesDecodeToTheComposedFrames) {
  Animation animation(0.5f, 12.0f);
  animation.scene.writeImage("bg.bmp", test::solidImage(64, 48, 30, 90, 150));
  animation.scene.project.layers[1].effects = 0;  // nearest pixels: no new colours
  const std::vector<std::vector<uint8_t>> expected = seriesFrames(animation);
  RecordingListener listener;
  ASSERT_EQ(renderTo(animation, "anim.apng", listener), ConversionOutcome::Completed);
  EXPECT_EQ(worstDifference(decodedFrames(animation.scene.dir.file("anim.apng")), expected), 0);
  for (bool global : {false, true}) {
    animation.settings.encode.globalPalette = global;
    ASSERT_EQ(renderTo(animation, "anim.gif", listener), ConversionOutcome::Completed);
    EXPECT_LE(worstDifference(decodedFrames(animation.scene.dir.file("anim.gif")), expected), 1)
        << global;
  }
  const auto gifBytes = std::filesystem::file_size(animation.scene.dir.path() / "anim.gif");
  EXPECT_LT(gifBytes, 6u * 64 * 48 / 2);

  animation.settings.frames = {{2, 4}};
  animation.settings.encode.loop = 3;
  ASSERT_EQ(renderTo(animation, "part.apng", listener), ConversionOutcome::Completed);
  const std::vector<std::vector<uint8_t>> part =
      decodedFrames(animation.scene.dir.file("part.apng"));
  EXPECT_EQ(worstDifference(part, {expected[2], expected[3], expected[4]}), 0);
  EXPECT_EQ(big32(test::readFile(animation.scene.dir.file("part.apng")), 45), 3u);  // plays
}

// A transparent GIF keeps every pixel at least half opaque and drops the rest, however many
// palette entries its soft edges take (a glow stays a glow, not a solid disc).
TEST(OneFile, GifTransparencyHasOneThreshold) {
  Animation animation(0.2f, 10.0f);
  DibImage glow;
  ASSERT_TRUE(glow.create(64, 48, 32, BI_RGB, nullptr, kCreateAlpha));
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = glow.row(y) + 4 * x;
      p[0] = static_cast<uint8_t>(3 * x), p[1] = static_cast<uint8_t>(5 * y), p[2] = 200;
      p[3] = static_cast<uint8_t>(x * 4);  // 0 to 252 across
    }
  }
  animation.scene.writeImage("glow.png", glow);
  animation.scene.project.layers[0].sources[0].file = "glow.png";
  animation.scene.project.layers[0].effects = effectAlpha;
  animation.scene.project.layers[1].visible = 0;
  animation.scene.project.options = projectTransparentBackground;
  RecordingListener listener;
  ASSERT_EQ(renderTo(animation, "glow.gif", listener), ConversionOutcome::Completed);
  const std::vector<std::vector<uint8_t>> frames =
      decodedFrames(animation.scene.dir.file("glow.gif"));
  ASSERT_FALSE(frames.empty());
  for (int x = 0; x < 64; ++x) {
    const uint8_t alpha = frames[0][static_cast<size_t>(20 * 64 + x) * 4 + 3];
    EXPECT_EQ(alpha, x * 4 < 128 ? 0 : 255) << x;
  }
}

// A half-transparent picture over a transparent background keeps its alpha in PNG frames; BMP
// gets it over black.
TEST(OneFile, TransparencyReachesTheFile) {
  Animation animation(0.2f, 10.0f);
  test::showHalfTransparentBackground(animation);
  RecordingListener listener;
  animation.scene.project.outputFormat = "png";
  ASSERT_EQ(animation.run(listener), ConversionOutcome::Completed);
  DibImage png;
  ASSERT_FALSE(png.load(animation.scene.dir.file("out/img0000.png")).failed());
  ASSERT_TRUE(png.hasAlpha());
  const uint32_t pixel = test::argbPixels(png)[10 * 64 + 10];
  EXPECT_EQ(pixel >> 24, 128u);
  EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 50, 1);
  EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 200, 1);

  animation.settings.outputFolder = "black";
  animation.scene.project.outputFormat = "bmp";
  ASSERT_EQ(animation.run(listener), ConversionOutcome::Completed);
  DibImage bmp;
  ASSERT_FALSE(bmp.load(animation.scene.dir.file("black/img0000.bmp")).failed());
  EXPECT_EQ(bmp.bitsPerPixel(), 24);
  EXPECT_NEAR(static_cast<int>(test::pixel(bmp, 10, 10) & 0xFF), 100, 1);  // 200 * 128/255
}

// An abort, or a failure, leaves no file and no temporary file behind, and says so.
TEST(OneFile, AbortRemovesThePartialFile) {
  Animation animation(5.0f, 30.0f);
  RecordingListener listener;
  listener.abortAfter = 3;
  EXPECT_EQ(renderTo(animation, "anim.apng", listener), ConversionOutcome::Aborted);
  test::expectNothingLeft(animation, "anim.apng");
  EXPECT_TRUE(std::any_of(listener.log.begin(), listener.log.end(), [](const std::string& line) {
    return line.find("を削除しました") != std::string::npos;
  }));

  // An abort that comes with the last frame finds the work done: the file is finished and kept.
  RecordingListener late;
  late.abortAtLast = true;
  EXPECT_EQ(renderTo(animation, "anim.apng", late), ConversionOutcome::Completed);
  EXPECT_TRUE(std::filesystem::exists(animation.scene.dir.file("anim.apng")));
  EXPECT_FALSE(std::any_of(late.log.begin(), late.log.end(), [](const std::string& line) {
    return line.find("を削除しました") != std::string::npos;
  }));

  RecordingListener refused;
  animation.settings.skipExisting = true;
  EXPECT_EQ(renderTo(animation, "anim.gif", refused), ConversionOutcome::Refused);
}

}  // namespace
}  // namespace pelorix
