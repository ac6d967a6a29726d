// SPDX-License-Identifier: GPL-3.0-or-later
// One-file outputs: animated GIF, WebP and PNG, and videos, read back with other decoders.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <cmath>
#include <cstring>

#include "engine_test_support.h"
#include "output/animation_writer.h"

namespace pelorix {
namespace {

using test::Animation;
using test::RecordingListener;

uint32_t big32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 |
         static_cast<uint8_t>(bytes[at + 3]);
}

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

// The frames of the numbered series of the same animation, as BGRA rows.
std::vector<std::vector<uint8_t>> seriesFrames(Animation& animation) {
  RecordingListener listener;
  animation.settings.oneFile.reset();
  animation.settings.outputFolder = "series";
  animation.scene.project.outputFormat = "bmp";
  animation.run(listener);
  std::vector<std::vector<uint8_t>> frames;
  for (const std::string& name : animation.files("series")) {
    DibImage frame;
    if (frame.load(animation.scene.dir.file("series/" + name)).failed()) std::abort();
    std::vector<uint8_t> pixels(static_cast<size_t>(frame.width()) * frame.height() * 4);
    for (int y = 0; y < frame.height(); ++y)
      readRowBgra(frame, y, pixels.data() + static_cast<size_t>(y) * frame.width() * 4);
    frames.push_back(std::move(pixels));
  }
  return frames;
}

ConversionOutcome renderTo(Animation& animation, const std::string& name,
                           RecordingListener& listener) {
  animation.settings.oneFile = name;
  animation.settings.refuseGif = false;
  return animation.run(listener);
}

TEST(OneFile, TypesAndRates) {
  EXPECT_EQ(oneFileType("MP4", false), OneFileType::Mp4);
  EXPECT_EQ(oneFileType(".apng", false), OneFileType::Apng);
  EXPECT_EQ(oneFileType("gif", false), OneFileType::None);
  EXPECT_EQ(oneFileType("gif", true), OneFileType::Gif);
  EXPECT_EQ(oneFileTypeOfPath("out/a.webp"), OneFileType::WebP);
  EXPECT_EQ(oneFileTypeOfPath("out/frames"), OneFileType::None);
  EXPECT_EQ(frameRateOf(29.97f).num, 30000);
  EXPECT_EQ(frameRateOf(29.97f).den, 1001);
  EXPECT_EQ(frameRateOf(12.5f).num, 25);
  EXPECT_EQ(frameRateOf(12.5f).den, 2);
  EXPECT_EQ(frameRateOf(30.0f).num, 30);
}

// FFV1 in MKV is lossless: every frame equals the series frame; the stream has the frame count,
// size, rate and duration of the animation. The NTSC rate stays exact in MP4.
TEST(OneFile, VideosHoldEveryFrameAtTheRate) {
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
}

// A half-transparent picture over a transparent background keeps its alpha in PNG frames and
// in VP9 (read with libvpx, which decodes the alpha); BMP gets it over black.
TEST(OneFile, TransparencyReachesTheFile) {
  Animation animation(0.2f, 10.0f);
  DibImage half;
  ASSERT_TRUE(half.create(64, 48, 32, BI_RGB, nullptr, kCreateAlpha));
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = half.row(y) + 4 * x;
      p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 128;
    }
  }
  animation.scene.writeImage("bg.png", half);
  animation.scene.project.layers[0].sources[0].file = "bg.png";
  animation.scene.project.layers[0].effects = effectAlpha;
  animation.scene.project.layers[1].visible = 0;
  animation.scene.project.options = projectTransparentBackground;
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

  RecordingListener webm;
  ASSERT_EQ(renderTo(animation, "alpha.webm", webm), ConversionOutcome::Completed);
  const Video video = decodeVideo(animation.scene.dir.file("alpha.webm"), "libvpx-vp9");
  ASSERT_FALSE(video.frames.empty());
  EXPECT_NEAR(video.frames[0][(10 * 64 + 10) * 4 + 3], 128, 3);
}

// An abort, or a failure, leaves no file and no temporary file behind, and says so.
TEST(OneFile, AbortRemovesThePartialFile) {
  Animation animation(5.0f, 30.0f);
  RecordingListener listener;
  listener.abortAfter = 3;
  EXPECT_EQ(renderTo(animation, "anim.mp4", listener), ConversionOutcome::Aborted);
  EXPECT_FALSE(std::filesystem::exists(animation.scene.dir.file("anim.mp4")));
  for (const auto& entry : std::filesystem::directory_iterator(animation.scene.dir.path()))
    EXPECT_EQ(entry.path().filename().string().find("pelorix-tmp"), std::string::npos);
  EXPECT_TRUE(std::any_of(listener.log.begin(), listener.log.end(), [](const std::string& line) {
    return line.find("を削除しました") != std::string::npos;
  }));

  RecordingListener refused;
  animation.settings.skipExisting = true;
  EXPECT_EQ(renderTo(animation, "anim.gif", refused), ConversionOutcome::Refused);
}

}  // namespace
}  // namespace pelorix
