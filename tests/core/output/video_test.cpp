// SPDX-License-Identifier: GPL-3.0-or-later
// Videos written through the video module, read back with FFmpeg's decoders.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}
#include <gtest/gtest.h>

#include <cstring>

#include "animation_test_support.h"
#include "output/animation_writer.h"
#include "output/formats.h"

namespace pelorix {
namespace {

using test::Animation;
using test::RecordingListener;
using test::renderTo;
using test::seriesFrames;

// Every decoded video frame as packed BGRA rows, with the stream's rate and duration.
struct Video {
  int width = 0, height = 0;
  AVRational rate{0, 1};
  double duration = 0;
  std::vector<std::vector<uint8_t>> frames;
};

Video decodeVideo(const std::string& path, const char* decoderName = nullptr) {
  Video video;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return video;
  avformat_find_stream_info(format, nullptr);
  AVStream* stream = format->streams[0];
  const AVCodec* decoder = decoderName ? avcodec_find_decoder_by_name(decoderName)
                                       : avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(codec, stream->codecpar);
  avcodec_open2(codec, decoder, nullptr);
  video.width = codec->width;
  video.height = codec->height;
  video.rate = stream->avg_frame_rate;
  video.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  auto take = [&] {
    while (avcodec_receive_frame(codec, frame) == 0) {
      scaler = sws_getCachedContext(
          scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
          frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
      std::vector<uint8_t> pixels(static_cast<size_t>(frame->width) * frame->height * 4);
      uint8_t* planes[1] = {pixels.data()};
      const int strides[1] = {frame->width * 4};
      sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
      video.frames.push_back(std::move(pixels));
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    take();
  }
  avcodec_send_packet(codec, nullptr);
  take();
  sws_freeContext(scaler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return video;
}

// FFV1 in MKV is lossless: every frame equals the series frame; the stream has the frame count,
// size, rate and duration of the animation. The NTSC rate stays exact in MP4.
TEST(Video, EveryFrameAtTheRate) {
  Animation animation(0.5f, 12.0f);
  const std::vector<std::vector<uint8_t>> expected = seriesFrames(animation);
  RecordingListener listener;
  ASSERT_EQ(renderTo(animation, "anim.mkv", listener), ConversionOutcome::Completed);
  const Video mkv = decodeVideo(animation.scene.dir.file("anim.mkv"));
  ASSERT_EQ(mkv.frames.size(), expected.size());
  EXPECT_EQ(mkv.width, 64);
  EXPECT_EQ(mkv.height, 48);
  EXPECT_EQ(av_cmp_q(mkv.rate, AVRational{12, 1}), 0);
  EXPECT_NEAR(mkv.duration, static_cast<double>(expected.size()) / 12.0, 0.002);
  for (size_t i = 0; i < expected.size(); ++i) {
    for (size_t b = 0; b < expected[i].size(); b += 4) {  // colour bytes; the fourth is padding
      ASSERT_EQ(std::memcmp(&mkv.frames[i][b], &expected[i][b], 3), 0) << "frame " << i;
    }
  }

  Animation ntsc(0.5f, 29.97f);
  RecordingListener mp4Listener;
  ASSERT_EQ(renderTo(ntsc, "anim.mp4", mp4Listener), ConversionOutcome::Completed);
  const Video mp4 = decodeVideo(ntsc.scene.dir.file("anim.mp4"));
  EXPECT_EQ(mp4.frames.size(), 15u);
  EXPECT_EQ(av_cmp_q(mp4.rate, AVRational{30000, 1001}), 0);
  EXPECT_NEAR(mp4.duration, 15.0 * 1001.0 / 30000.0, 0.002);
}

// A half-transparent picture over a transparent background keeps its alpha in VP9 (read with
// libvpx, which decodes the alpha).
TEST(Video, TransparencyReachesWebm) {
  Animation animation(0.2f, 10.0f);
  test::showHalfTransparentBackground(animation);

  RecordingListener webm;
  ASSERT_EQ(renderTo(animation, "alpha.webm", webm), ConversionOutcome::Completed);
  const Video video = decodeVideo(animation.scene.dir.file("alpha.webm"), "libvpx-vp9");
  ASSERT_FALSE(video.frames.empty());
  EXPECT_NEAR(video.frames[0][(10 * 64 + 10) * 4 + 3], 128, 3);
}

// The same work gives the same bytes in every container, whatever the number of workers.
TEST(Video, SameFramesSameBytes) {
  for (const char* name : {"a.mkv", "a.webm", "a.mp4", "a.mov"}) {
    Animation animation(0.3f, 10.0f);
    RecordingListener first, second;
    ASSERT_EQ(renderTo(animation, name, first), ConversionOutcome::Completed) << name;
    const std::string bytes = test::readFile(animation.scene.dir.file(name));
    animation.settings.jobs = 1;
    ASSERT_EQ(renderTo(animation, name, second), ConversionOutcome::Completed) << name;
    EXPECT_EQ(test::readFile(animation.scene.dir.file(name)), bytes) << name;
  }
}

// A video as a source shows the frame of its clock (FFV1 keeps the painted levels exactly), seeks
// when a render starts late, and a file without a video stream is no picture.
TEST(Video, AsASourceItShowsTheFrameOfItsClock) {
  test::Scene scene(8, 8);
  const OutputFormat* mkv = findOutputFormat("mkv", OutputKind::OneFile);
  auto writer = mkv->makeWriter(*mkv);
  AnimationSettings settings;
  settings.path = scene.dir.file("clip.mkv");
  settings.width = settings.height = 8;
  settings.fps = 10.0f;
  settings.frames = 30;
  ASSERT_FALSE(writer->open(settings).failed());
  for (int k = 0; k < 30; ++k) {
    const auto level = static_cast<uint8_t>(8 * k);
    DibImage frame;
    ASSERT_TRUE(frame.create(8, 8, 32, BI_RGB, nullptr, kCreatePadded24));
    for (int y = 0; y < 8; ++y)
      std::memset(frame.row(y), level, 32);
    std::unique_ptr<PreparedFrame> prepared;
    ASSERT_FALSE(writer->prepare(frame, k, prepared).failed());
    ASSERT_FALSE(writer->write(std::move(prepared)).failed());
  }
  ASSERT_FALSE(writer->finish().failed());
  Source source;
  source.duration = 10.0f;
  scene.addLayer(1, "clip.mkv", source);
  // Late first (a seek), then back to the start, then in order, then past the end (a loop).
  for (const auto& [t, frame] : std::vector<std::pair<float, int>>{
           {2.55f, 25}, {0.0f, 0}, {0.15f, 1}, {0.25f, 2}, {1.05f, 10}, {3.15f, 1}}) {
    const DibImage canvas = scene.compose(t);
    ASSERT_FALSE(canvas.empty());
    EXPECT_EQ(test::pixel(canvas, 4, 4) & 0xFF, 8u * static_cast<uint32_t>(frame)) << "at " << t;
  }
  EXPECT_TRUE(scene.compositor.missingPictures().empty());

  // A WAV file: FFmpeg opens it, but it has no picture.
  std::string wav(
      "RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00"
      "\x80\x3e\x00\x00\x02\x00\x10\x00"
      "data\x00\x00\x00\x00",
      44);
  test::writeFile(scene.dir.file("sound.wav"), wav);
  scene.project.layers[0].sources[0].file = "sound.wav";
  EXPECT_TRUE(scene.compose(0.0f).empty());
  ASSERT_FALSE(scene.compositor.missingPictures().empty());
  EXPECT_NE(scene.log.lines.back().find("は画像ではありません"), std::string::npos)
      << scene.log.lines.back();
}

// An abort leaves no video and no temporary file behind.
TEST(Video, AbortRemovesThePartialFile) {
  Animation animation(5.0f, 30.0f);
  RecordingListener listener;
  listener.abortAfter = 3;
  EXPECT_EQ(renderTo(animation, "anim.mp4", listener), ConversionOutcome::Aborted);
  test::expectNothingLeft(animation, "anim.mp4");
}

}  // namespace
}  // namespace pelorix
