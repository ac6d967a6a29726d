// SPDX-License-Identifier: GPL-3.0-or-later
// What the export tests check in a written file, one line per stream, read with FFmpeg's
// libraries (packets counted, not trusted from the header), plus the loop count of animated GIF,
// WebP and PNG from their own bytes:
//   video codec=hevc tag=hvc1 width=320 height=240 rate=30000/1001 frames=90 duration=3.003
//   audio codec=aac rate=48000 channels=2 duration=3.008
//   plays=3            (animations: how many times they play, 0 for ever)
// With --frames, one line per decoded video frame instead: its number and the CRC-32 of its
// pixels, so that two files can be compared frame for frame. With --clicks, the decoded sound's
// length in samples and the sample at which each click starts (the first sample above half the
// loudest after 200 below it), counted on the file's own time line:
//   samples=132300 clicks=4410,8820,...
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/crc.h>
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// How many times an animation file plays (0: for ever), or -1 when it is none of the three.
long plays(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.rfind("GIF8", 0) == 0) {
    // The loop block counts the repeats; without one the animation plays once.
    const size_t netscape = bytes.find("NETSCAPE2.0");
    if (netscape == std::string::npos || netscape + 15 >= bytes.size()) return 1;
    const long repeats = at(netscape + 13) | at(netscape + 14) << 8;
    return repeats == 0 ? 0 : repeats + 1;
  }
  if (const size_t anim = bytes.find("ANIM");
      bytes.rfind("RIFF", 0) == 0 && anim != std::string::npos && anim + 14 < bytes.size()) {
    return at(anim + 12) | at(anim + 13) << 8;
  }
  if (const size_t actl = bytes.find("acTL");
      actl != std::string::npos && actl + 12 < bytes.size()) {
    return static_cast<long>(at(actl + 8)) << 24 | at(actl + 9) << 16 | at(actl + 10) << 8 |
           at(actl + 11);
  }
  return -1;
}

// Prints the CRC-32 of every decoded frame of the video stream; the exit status.
int printFrames(const char* path) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path, nullptr, nullptr) < 0 ||
      avformat_find_stream_info(format, nullptr) < 0) {
    std::printf("unreadable\n");
    return 1;
  }
  const AVCodec* decoder = nullptr;
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (stream < 0 || !decoder) {
    std::printf("no video\n");
    return 1;
  }
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
  avcodec_open2(codec, decoder, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  long number = 0;
  std::vector<uint8_t> pixels;
  const auto take = [&] {
    while (avcodec_receive_frame(codec, frame) == 0) {
      const auto layout = static_cast<AVPixelFormat>(frame->format);
      pixels.resize(
          static_cast<size_t>(av_image_get_buffer_size(layout, frame->width, frame->height, 1)));
      av_image_copy_to_buffer(pixels.data(), static_cast<int>(pixels.size()), frame->data,
                              frame->linesize, layout, frame->width, frame->height, 1);
      std::printf("frame %ld crc=%08x\n", number++,
                  av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, pixels.data(), pixels.size()));
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    take();
  }
  avcodec_send_packet(codec, nullptr);
  take();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return 0;
}

// The first channel's sample `i` of a decoded frame as a float.
float sampleAt(const AVFrame& frame, int i) {
  const int channels = frame.ch_layout.nb_channels;
  switch (frame.format) {
    case AV_SAMPLE_FMT_FLTP:
      return reinterpret_cast<const float*>(frame.data[0])[i];
    case AV_SAMPLE_FMT_FLT:
      return reinterpret_cast<const float*>(frame.data[0])[i * channels];
    case AV_SAMPLE_FMT_S16P:
      return reinterpret_cast<const int16_t*>(frame.data[0])[i] / 32768.0f;
    case AV_SAMPLE_FMT_S16:
      return reinterpret_cast<const int16_t*>(frame.data[0])[i * channels] / 32768.0f;
    case AV_SAMPLE_FMT_S32P:
      return static_cast<float>(reinterpret_cast<const int32_t*>(frame.data[0])[i] / 2147483648.0);
    case AV_SAMPLE_FMT_S32:
      return static_cast<float>(reinterpret_cast<const int32_t*>(frame.data[0])[i * channels] /
                                2147483648.0);
    default:
      return 0.0f;
  }
}

// The decoded sound's length and where its clicks start; the exit status.
int printClicks(const char* path) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path, nullptr, nullptr) < 0 ||
      avformat_find_stream_info(format, nullptr) < 0) {
    std::printf("unreadable\n");
    return 1;
  }
  const AVCodec* decoder = nullptr;
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (stream < 0 || !decoder) {
    std::printf("no audio\n");
    return 1;
  }
  const AVStream* in = format->streams[stream];
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(codec, in->codecpar);
  codec->pkt_timebase = in->time_base;
  avcodec_open2(codec, decoder, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<float> sound;  // from time 0 of the file's time line
  const int rate = in->codecpar->sample_rate;
  const auto take = [&] {
    while (avcodec_receive_frame(codec, frame) == 0) {
      int64_t at = static_cast<int64_t>(sound.size());
      if (frame->pts != AV_NOPTS_VALUE)
        at = av_rescale_q(frame->pts, in->time_base, AVRational{1, rate});
      for (int i = 0; i < frame->nb_samples; ++i) {
        const int64_t where = at + i;
        if (where < 0) continue;
        if (static_cast<size_t>(where) >= sound.size())
          sound.resize(static_cast<size_t>(where) + 1);
        sound[static_cast<size_t>(where)] = sampleAt(*frame, i);
      }
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    take();
  }
  avcodec_send_packet(codec, nullptr);
  take();
  float loudest = 0.0f;
  for (float sample : sound)
    loudest = std::max(loudest, std::fabs(sample));
  std::printf("samples=%zu clicks=", sound.size());
  size_t quiet = 0;
  const char* separator = "";
  for (size_t i = 0; i < sound.size(); ++i) {
    if (std::fabs(sound[i]) > loudest / 2 && quiet >= 200) {
      std::printf("%s%zu", separator, i);
      separator = ",";
    }
    quiet = std::fabs(sound[i]) <= loudest / 2 ? quiet + 1 : 0;
  }
  std::printf("\n");
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_QUIET);
  if (argc == 3 && std::strcmp(argv[1], "--frames") == 0) return printFrames(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--clicks") == 0) return printClicks(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: media_probe [--frames] FILE (- for standard input)\n");
    return 64;
  }
  const std::string path = std::strcmp(argv[1], "-") == 0 ? "pipe:0" : argv[1];
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(format, nullptr) < 0) {
    std::printf("unreadable\n");
    return 1;
  }
  const unsigned count = format->nb_streams;
  std::vector<long> packets(count, 0);
  std::vector<int64_t> end(count, 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) >= 0) {
    const auto index = static_cast<size_t>(packet->stream_index);
    ++packets[index];
    if (packet->pts != AV_NOPTS_VALUE)
      end[index] = std::max(end[index], packet->pts + packet->duration);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  for (unsigned i = 0; i < count; ++i) {
    const AVStream* stream = format->streams[i];
    const AVCodecParameters* p = stream->codecpar;
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const double duration = static_cast<double>(end[i] - start) * av_q2d(stream->time_base);
    char tag[5] = {0};
    for (int b = 0; b < 4; ++b) {
      const char c = static_cast<char>((p->codec_tag >> (8 * b)) & 0xFF);
      tag[b] = c >= 32 && c < 127 ? c : '.';
    }
    if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
      std::printf("video codec=%s tag=%s width=%d height=%d rate=%d/%d frames=%ld duration=%.4f\n",
                  avcodec_get_name(p->codec_id), tag, p->width, p->height,
                  stream->avg_frame_rate.num, stream->avg_frame_rate.den, packets[i], duration);
    } else if (p->codec_type == AVMEDIA_TYPE_AUDIO) {
      std::printf("audio codec=%s rate=%d channels=%d duration=%.4f\n",
                  avcodec_get_name(p->codec_id), p->sample_rate, p->ch_layout.nb_channels,
                  duration);
    }
  }
  avformat_close_input(&format);
  if (path != "pipe:0") {
    if (const long times = plays(path); times >= 0) std::printf("plays=%ld\n", times);
  }
  return 0;
}
