// SPDX-License-Identifier: GPL-3.0-or-later
// A sound file decoded whole into mono samples, for the timeline's waveform and scrubbing.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <memory>
#include <string>
#include <vector>

#include "av_text.h"
#include "imageio/video_module.h"

namespace pelorix::video {

std::string readAudioMono(const std::string& path, int rate, double maxSeconds,
                          std::vector<float>& out) {
  out.clear();
  if (rate <= 0) return "sound: no sample rate";
  AVFormatContext* format = nullptr;
  int result = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
  if (result < 0) return avFailure("cannot open the sound", result);
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatOwner(
      format, [](AVFormatContext* f) { avformat_close_input(&f); });
  if ((result = avformat_find_stream_info(format, nullptr)) < 0)
    return avFailure("cannot read the streams", result);
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || !codec) return "sound: the file has no sound";
  std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
      avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
  if (!decoder) return "sound: no memory";
  avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar);
  if ((result = avcodec_open2(decoder.get(), codec, nullptr)) < 0 || decoder->sample_rate <= 0 ||
      decoder->ch_layout.nb_channels <= 0) {
    return avFailure("cannot start the sound's decoder", result);
  }
  if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoder->ch_layout.nb_channels;
    av_channel_layout_uninit(&decoder->ch_layout);
    av_channel_layout_default(&decoder->ch_layout, channels);
  }
  AVChannelLayout mono;
  av_channel_layout_default(&mono, 1);
  SwrContext* swr = nullptr;
  result = swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_FLT, rate, &decoder->ch_layout,
                               decoder->sample_fmt, decoder->sample_rate, 0, nullptr);
  std::unique_ptr<SwrContext, void (*)(SwrContext*)> resampler(swr,
                                                               [](SwrContext* s) { swr_free(&s); });
  if (result < 0 || swr_init(swr) < 0) return "sound: cannot resample";
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                        [](AVPacket* p) { av_packet_free(&p); });
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                     [](AVFrame* f) { av_frame_free(&f); });
  if (!packet || !frame) return "sound: no memory";
  const size_t limit = static_cast<size_t>(maxSeconds * rate);
  auto convert = [&](const uint8_t** in, int count) {
    const int room = swr_get_out_samples(swr, count);
    if (room <= 0) return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(room));
    uint8_t* target = reinterpret_cast<uint8_t*>(out.data() + at);
    const int made = swr_convert(swr, &target, room, in, count);
    out.resize(at + static_cast<size_t>(std::max(0, made)));
  };
  bool ended = false;
  while (!ended && out.size() < limit) {
    result = av_read_frame(format, packet.get());
    if (result < 0) {
      ended = true;
      avcodec_send_packet(decoder.get(), nullptr);
    } else {
      if (packet->stream_index == stream) avcodec_send_packet(decoder.get(), packet.get());
      av_packet_unref(packet.get());
    }
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      av_frame_unref(frame.get());
    }
  }
  convert(nullptr, 0);  // what the resampler still holds
  if (out.size() > limit) out.resize(limit);
  return {};
}

}  // namespace pelorix::video
