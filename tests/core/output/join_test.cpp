// SPDX-License-Identifier: GPL-3.0-or-later
// Parts of one render put together: frame for frame what one render gives, with their sound,
// and every part that does not fit refused by name with nothing left under the output's name.
extern "C" {
#include <libavformat/avformat.h>
}
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "animation_test_support.h"
#include "base/paths.h"
#include "imageio/frame_source.h"
#include "output/parts.h"

namespace pelorix {
namespace {

using test::Animation;
using test::RecordingListener;
using Frames = std::vector<std::vector<uint8_t>>;

// Renders frames first..last of the animation into `name`; its path.
std::string renderPart(Animation& animation, const std::string& name, int first, int last) {
  RecordingListener listener;
  animation.settings.frames = std::make_pair(first, last);
  EXPECT_EQ(test::renderTo(animation, name, listener), ConversionOutcome::Completed) << name;
  animation.settings.frames.reset();
  return animation.scene.dir.file(name);
}

std::vector<uint8_t> pixelsOf(const DibImage& picture) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < picture.height(); ++y)
    pixels.insert(pixels.end(), picture.row(y), picture.row(y) + picture.width() * 4);
  return pixels;
}

// Every frame of a video or animation as B, G, R, A rows; with `count`, the frames shown at
// the middle of each of `count` frame times at `fps` (a WebP keeps frames that look the same
// as one, and one frame is a still picture).
Frames framesOf(const std::string& path, int count = 0, double fps = 0) {
  ImageError error;
  std::unique_ptr<FrameSource> source = openFrameSource(path, 0.0, error);
  Frames frames;
  DibImage picture;
  if (!source) {
    if (count > 0 && !picture.load(path).failed()) frames.assign(count, pixelsOf(picture));
    return frames;
  }
  const int64_t shown = count > 0 ? count : source->timing().frames;
  for (int64_t k = 0; k < shown; ++k) {
    const int64_t frame =
        count > 0 ? source->timing().frameAt((static_cast<double>(k) + 0.5) / fps) : k;
    if (source->decode(frame, picture).failed()) break;
    frames.push_back(pixelsOf(picture));
  }
  return frames;
}

std::string join(const std::vector<std::string>& parts, const std::string& output) {
  std::vector<std::string> log;
  return joinParts(parts, output, log);
}

struct Streams {
  int64_t videoFrames = 0;
  double videoSeconds = 0;
  double soundSeconds = 0;
};

Streams streamsOf(const std::string& path) {
  Streams streams;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return streams;
  avformat_find_stream_info(format, nullptr);
  std::vector<int64_t> end(format->nb_streams, 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) >= 0) {
    const AVStream* stream = format->streams[packet->stream_index];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++streams.videoFrames;
    if (packet->pts != AV_NOPTS_VALUE) {
      end[static_cast<size_t>(packet->stream_index)] =
          std::max(end[static_cast<size_t>(packet->stream_index)], packet->pts + packet->duration);
    }
    av_packet_unref(packet);
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    const double seconds = static_cast<double>(end[i]) * av_q2d(stream->time_base);
    (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? streams.videoSeconds
                                                        : streams.soundSeconds) = seconds;
  }
  av_packet_free(&packet);
  avformat_close_input(&format);
  return streams;
}

// A second of a 440 Hz tone as a 16-bit mono WAV at 8 kHz.
std::string toneWav() {
  const int samples = 8000;
  std::string wav = "RIFF";
  const auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      wav.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const auto put16 = [&](uint16_t v) {
    wav.push_back(static_cast<char>(v & 0xFF));
    wav.push_back(static_cast<char>(v >> 8));
  };
  put32(36 + samples * 2);
  wav += "WAVEfmt ";
  put32(16), put16(1), put16(1), put32(8000), put32(16000), put16(2), put16(16);
  wav += "data";
  put32(samples * 2);
  for (int i = 0; i < samples; ++i)
    put16(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 8000))));
  return wav;
}

// Two and five FFV1 parts, given in any order, decode frame for frame like one render.
TEST(Join, LosslessPartsDecodeLikeOneRender) {
  Animation animation(1.0f, 10.0f);  // frames 0-9
  RecordingListener listener;
  ASSERT_EQ(test::renderTo(animation, "whole.mkv", listener), ConversionOutcome::Completed);
  const Frames whole = framesOf(animation.scene.dir.file("whole.mkv"));
  ASSERT_EQ(whole.size(), 10u);

  const std::vector<std::string> two = {renderPart(animation, "b.mkv", 6, 9),
                                        renderPart(animation, "a.mkv", 0, 5)};
  std::vector<std::string> five;
  for (int first = 8; first >= 0; first -= 2)
    five.push_back(renderPart(animation, "p" + std::to_string(first) + ".mkv", first, first + 1));
  for (const auto& parts : {two, five}) {
    const std::string out = animation.scene.dir.file("joined.mkv");
    ASSERT_EQ(join(parts, out), "");
    EXPECT_EQ(framesOf(out), whole) << parts.size() << " parts";
    EXPECT_EQ(streamsOf(out).videoFrames, 10);
  }
}

// MP4 parts with a sound track: the frame count, the duration and the sound's length are those
// of one render (to within a frame's time).
TEST(Join, Mp4PartsKeepTheirFramesAndSound) {
  Animation animation(1.0f, 12.0f);
  test::writeFile(animation.scene.dir.file("tone.wav"), toneWav());
  animation.settings.audio = AudioTrack{animation.scene.dir.file("tone.wav"), 0.0, 1.0};
  RecordingListener listener;
  ASSERT_EQ(test::renderTo(animation, "whole.mp4", listener), ConversionOutcome::Completed);
  const Streams whole = streamsOf(animation.scene.dir.file("whole.mp4"));
  ASSERT_GT(whole.soundSeconds, 0.9);
  const std::string out = animation.scene.dir.file("joined.mp4");
  ASSERT_EQ(join({renderPart(animation, "c.mp4", 8, 11), renderPart(animation, "a.mp4", 0, 4),
                  renderPart(animation, "b.mp4", 5, 7)},
                 out),
            "");
  const Streams joined = streamsOf(out);
  EXPECT_EQ(joined.videoFrames, 12);
  EXPECT_NEAR(joined.videoSeconds, whole.videoSeconds, 1.0 / 12);
  EXPECT_NEAR(joined.soundSeconds, whole.videoSeconds, 1.0 / 12);
  EXPECT_EQ(framesOf(out).size(), 12u);
}

// Animated GIF, WebP and PNG parts: every frame of the joined file is the frame of its part as
// that part shows it; over a background, half transparent, and a lone sprite on a transparent
// background (a WebP part then stores only the sprite's rectangle of its first frame).
TEST(Join, AnimationsJoinFrameForFrame) {
  for (const char* extension : {"gif", "webp", "apng"}) {
    for (int transparent : {0, 1, 2}) {
      Animation animation(0.6f, 10.0f);
      if (transparent == 1) test::showHalfTransparentBackground(animation);
      if (transparent == 2) {
        animation.scene.project.layers[0].visible = 0;
        animation.scene.project.options = projectTransparentBackground;
      }
      const std::string ext = extension;
      const std::vector<std::string> parts = {renderPart(animation, "a." + ext, 0, 2),
                                              renderPart(animation, "b." + ext, 3, 5)};
      const std::string out = animation.scene.dir.file("joined." + ext);
      ASSERT_EQ(join({parts[1], parts[0]}, out), "") << ext;
      Frames expected = framesOf(parts[0], 3, 10.0);
      const Frames later = framesOf(parts[1], 3, 10.0);
      expected.insert(expected.end(), later.begin(), later.end());
      ASSERT_EQ(expected.size(), 6u) << ext;
      const Frames joined = framesOf(out, 6, 10.0);
      ASSERT_EQ(joined.size(), expected.size()) << ext << " background " << transparent;
      for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(joined[i] == expected[i])
            << ext << " background " << transparent << " frame " << i;
    }
  }
}

// Parts that do not fit are refused by name; nothing is left under the output's name.
TEST(Join, PartsThatDoNotFitAreRefusedByName) {
  Animation animation(1.0f, 10.0f);
  const std::string a = renderPart(animation, "a.mkv", 0, 4);
  const std::string b = renderPart(animation, "b.mkv", 5, 9);
  const std::string c = renderPart(animation, "c.mkv", 7, 9);
  animation.settings.encode.codec = video::Codec::H264;
  const std::string h264 = renderPart(animation, "h264.mkv", 5, 9);
  animation.settings.encode.codec = video::Codec::Default;
  animation.settings.encode.crf = 30;
  const std::string other = renderPart(animation, "other.mkv", 5, 9);
  animation.settings.encode.crf = -1;
  animation.settings.size = std::make_pair(32, 24);
  const std::string small = renderPart(animation, "small.mkv", 5, 9);
  animation.settings.size.reset();
  // Written without a part description, as any other program would.
  std::filesystem::copy_file(a, animation.scene.dir.file("foreign.mkv"));
  {
    std::string bytes = test::readFile(a);
    const size_t at = bytes.find("Pelorix part");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 7, "Someone");
    test::writeFile(animation.scene.dir.file("foreign.mkv"), bytes);
    const std::string whole = test::readFile(b);
    test::writeFile(animation.scene.dir.file("cut.mkv"), whole.substr(0, whole.size() * 2 / 3));
  }
  const std::string out = animation.scene.dir.file("out.mkv");
  const struct {
    std::vector<std::string> parts;
    const char* says;
  } cases[] = {
      {{a, animation.scene.dir.file("gone.mkv")}, "gone.mkv"},
      {{a, animation.scene.dir.file("foreign.mkv")}, "foreign.mkv"},
      {{a, animation.scene.dir.file("cut.mkv")}, "cut.mkv"},
      {{a, c}, "5-6"},          // a gap
      {{a, b, c}, "overlaps"},  // an overlap
      {{a, h264}, "h264"},
      {{a, other}, "other settings"},
      {{a, small}, "32 x 24"},
      {{a, animation.scene.dir.file("a.mp4")}, "a.mp4"},
  };
  for (const auto& test : cases) {
    const std::string failed = join(test.parts, out);
    EXPECT_NE(failed.find(test.says), std::string::npos) << failed;
    EXPECT_FALSE(std::filesystem::exists(out)) << test.says;
  }
  EXPECT_EQ(join({b, a}, out), "");

  // A join asked to stop (a signal) gives up, for videos and animations alike, leaving nothing.
  const std::atomic<bool> stop{true};
  std::vector<std::string> log;
  for (const std::string& target :
       {animation.scene.dir.file("stopped.mkv"), animation.scene.dir.file("stopped.apng")}) {
    const std::string extension = target.substr(target.rfind('.'));
    const std::vector<std::string> parts = {renderPart(animation, "s0" + extension, 0, 4),
                                            renderPart(animation, "s1" + extension, 5, 9)};
    EXPECT_EQ(joinParts(parts, target, log, &stop), "stopped");
    EXPECT_FALSE(std::filesystem::exists(target));
    test::expectNothingLeft(animation, fileNameOf(target));
  }
}

}  // namespace
}  // namespace pelorix
