// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio_track.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

#include "av_text.h"

namespace pelorix::video {
namespace {

// Packets of real sound a part encodes before and after its own, so that the encoder's state at
// the seams is close to that of one render (the transforms of AAC and Opus overlap the packets
// next to them).
constexpr int64_t kLeadPackets = 4;

// The sample rate for the encoder: the sound's own when the encoder takes it, else 48 kHz, else
// the encoder's first.
int chooseRate(const AVCodec* encoder, int wanted) {
  if (!encoder->supported_samplerates) return wanted;
  for (const int* rate = encoder->supported_samplerates; *rate; ++rate) {
    if (*rate == wanted) return wanted;
  }
  for (const int* rate = encoder->supported_samplerates; *rate; ++rate) {
    if (*rate == 48000) return 48000;
  }
  return encoder->supported_samplerates[0];
}

// The encoder's sample format among those written here: planar float, float and 16-bit.
AVSampleFormat chooseFormat(const AVCodec* encoder) {
  if (!encoder->sample_fmts) return AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* format = encoder->sample_fmts; *format != AV_SAMPLE_FMT_NONE;
       ++format) {
    if (*format == AV_SAMPLE_FMT_FLTP || *format == AV_SAMPLE_FMT_FLT ||
        *format == AV_SAMPLE_FMT_S16) {
      return *format;
    }
  }
  return AV_SAMPLE_FMT_NONE;
}

int16_t toS16(float sample) {
  return static_cast<int16_t>(std::lrint(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
}

}  // namespace

AudioTrack::~AudioTrack() {
  swr_free(&resampler_);
  av_frame_free(&decoded_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&decoder_);
  avcodec_free_context(&encoder_);
  if (fifo_) av_audio_fifo_free(fifo_);
  avformat_close_input(&input_);
}

void AudioTrack::fail(const std::string& reason) {
  if (problem_.empty()) problem_ = path_ + ": " + reason;
}

bool AudioTrack::openInput(const Audio& audio) {
  path_ = audio.path;
  int result = avformat_open_input(&input_, audio.path.c_str(), nullptr, nullptr);
  if (result < 0) {
    fail(avErrorText(result));
    return false;
  }
  result = avformat_find_stream_info(input_, nullptr);
  if (result < 0) {
    fail(avErrorText(result));
    return false;
  }
  const AVCodec* decoder = nullptr;
  result = av_find_best_stream(input_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (result < 0 || !decoder) {
    fail("no sound in it");
    return false;
  }
  inputStream_ = result;
  decoder_ = avcodec_alloc_context3(decoder);
  if (!decoder_) {
    fail("no memory for the decoder");
    return false;
  }
  avcodec_parameters_to_context(decoder_, input_->streams[inputStream_]->codecpar);
  result = avcodec_open2(decoder_, decoder, nullptr);
  if (result < 0 || decoder_->sample_rate <= 0 || decoder_->ch_layout.nb_channels <= 0) {
    fail(result < 0 ? avErrorText(result) : std::string("no sample rate or channels"));
    return false;
  }
  if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = decoder_->ch_layout.nb_channels;
    av_channel_layout_uninit(&decoder_->ch_layout);
    av_channel_layout_default(&decoder_->ch_layout, channels);
  }
  decoded_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  return decoded_ && packet_;
}

// The sound's encoder, set for the file's rate and channels.
bool AudioTrack::openEncoder(const AVCodec* encoder, AVFormatContext* output,
                             std::string& failure) {
  encoder_ = avcodec_alloc_context3(encoder);
  if (!encoder_) {
    failure = "video: no memory for the sound's encoder";
    return false;
  }
  encoder_->sample_fmt = chooseFormat(encoder);
  encoder_->sample_rate = rate_;
  av_channel_layout_default(&encoder_->ch_layout, channels_);
  encoder_->time_base = AVRational{1, rate_};
  if (encoder->id == AV_CODEC_ID_AAC || encoder->id == AV_CODEC_ID_OPUS) {
    encoder_->bit_rate = channels_ == 1 ? 96000 : 160000;
  }
  if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  encoder_->flags |= AV_CODEC_FLAG_BITEXACT;
  AVDictionary* options = nullptr;
  // FFmpeg's AAC encoder searches its quantisers twice as fast this way, at a rate where the
  // difference is not heard: the sound then costs a video render a few per cent, not a fifth.
  if (encoder->id == AV_CODEC_ID_AAC) av_dict_set(&options, "aac_coder", "fast", 0);
  const int result = avcodec_open2(encoder_, encoder, &options);
  av_dict_free(&options);
  if (result < 0) {
    failure = avFailure("sound encoder", result);
    return false;
  }
  const bool variable = (encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
  frameSize_ = encoder_->frame_size > 0 && !variable ? encoder_->frame_size : 1024;
  return true;
}

bool AudioTrack::open(const Audio& audio, AVFormatContext* output, const char* encoderName,
                      Frames frames, AVRational rate, std::string& failure) {
  const int64_t firstFrame = frames.first;
  if (!openInput(audio)) return false;
  const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
  if (!encoder) {
    failure = std::string("video: this FFmpeg has no ") + encoderName + " encoder";
    return false;
  }
  output_ = output;
  frameRate_ = rate;
  firstFrame_ = firstFrame;
  gain_ = static_cast<float>(audio.volume);
  channels_ = decoder_->ch_layout.nb_channels == 1 ? 1 : 2;
  rate_ = chooseRate(encoder, decoder_->sample_rate);
  if (!openEncoder(encoder, output, failure)) return false;
  int result = swr_alloc_set_opts2(&resampler_, &encoder_->ch_layout, AV_SAMPLE_FMT_FLTP, rate_,
                                   &decoder_->ch_layout, decoder_->sample_fmt,
                                   decoder_->sample_rate, 0, nullptr);
  if (result < 0 || swr_init(resampler_) < 0) {
    fail("cannot resample it");
    return false;
  }
  fifo_ = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels_, frameSize_ * 4);
  frame_ = av_frame_alloc();
  stream_ = avformat_new_stream(output, nullptr);
  if (!fifo_ || !frame_ || !stream_) {
    stream_ = nullptr;
    failure = "video: no memory for the sound";
    return false;
  }
  stream_->time_base = encoder_->time_base;
  result = avcodec_parameters_from_context(stream_->codecpar, encoder_);
  if (result < 0) {
    failure = avFailure("sound stream", result);
    return false;
  }
  // Sample s of the file plays at animation time start + s / rate, which is sound time
  // start + s / rate - offset: before the sound's start silence, after its end silence. The
  // sample numbers are those of the whole animation, so that the parts of a render put
  // together hold every sample once.
  const int64_t perFrame = static_cast<int64_t>(rate.den) * rate_;
  const auto sampleOf = [&](int64_t frame) { return av_rescale(frame, perFrame, rate.num); };
  const int64_t total = frames.total > 0 ? frames.total : firstFrame + frames.count;
  const int64_t wholeEnd = sampleOf(total);
  const bool last = firstFrame + frames.count >= total;
  const int64_t size = frameSize_;
  delay_ = encoder_->initial_padding;
  firstOwned_ = firstFrame == 0 ? 0 : (sampleOf(firstFrame) + delay_ + size - 1) / size;
  endOwned_ = last ? INT64_MAX : (sampleOf(firstFrame + frames.count) + delay_ + size - 1) / size;
  start_ = firstFrame == 0 ? 0 : std::max<int64_t>(0, (firstOwned_ - kLeadPackets) * size);
  const int64_t feedEnd = last ? wholeEnd : std::min(wholeEnd, (endOwned_ + kLeadPackets) * size);
  // An offset beyond any sound's length is silence throughout; kept within 2^62 samples, so the
  // sample numbers never overflow.
  const double shift = std::clamp(audio.offset * rate_, -0x1p62, 0x1p62);
  const int64_t first = start_ - std::llround(std::isfinite(shift) ? shift : 0.0);
  skip_ = std::max<int64_t>(first, 0);
  silence_ = std::max<int64_t>(-first, 0);
  total_ = std::max<int64_t>(0, feedEnd - start_);
  return true;
}

void AudioTrack::take(const uint8_t* const* planes, int count) {
  if (count <= 0) return;
  // Dropped samples before the sound's wanted start.
  int from = 0;
  if (skip_ > 0) {
    from = static_cast<int>(std::min<int64_t>(skip_, count));
    skip_ -= from;
  }
  if (from >= count) return;
  std::vector<float*> channels(static_cast<size_t>(channels_));
  for (int c = 0; c < channels_; ++c) {
    auto* samples = reinterpret_cast<float*>(const_cast<uint8_t*>(planes[c]));
    if (gain_ != 1.0f) {
      for (int i = from; i < count; ++i)
        samples[i] *= gain_;
    }
    channels[static_cast<size_t>(c)] = samples + from;
  }
  av_audio_fifo_write(fifo_, reinterpret_cast<void**>(channels.data()), count - from);
}

// The decoded frame, resampled, into the FIFO.
void AudioTrack::addDecoded() {
  const int most = swr_get_out_samples(resampler_, decoded_->nb_samples);
  if (most <= 0) return;
  uint8_t** planes = nullptr;
  if (av_samples_alloc_array_and_samples(&planes, nullptr, channels_, most, AV_SAMPLE_FMT_FLTP, 0) <
      0) {
    fail("no memory for the sound");
    inputEnded_ = true;
    return;
  }
  const int made =
      swr_convert(resampler_, planes, most, const_cast<const uint8_t**>(decoded_->extended_data),
                  decoded_->nb_samples);
  take(planes, made);
  av_freep(&planes[0]);
  av_freep(&planes);
}

void AudioTrack::pull(int wanted) {
  while (!inputEnded_ && av_audio_fifo_size(fifo_) < wanted) {
    const int read = av_read_frame(input_, packet_);
    if (read < 0) {
      if (read != AVERROR_EOF) fail(avErrorText(read));
      inputEnded_ = true;
      avcodec_send_packet(decoder_, nullptr);
    } else if (packet_->stream_index != inputStream_) {
      av_packet_unref(packet_);
      continue;
    } else {
      const int sent = avcodec_send_packet(decoder_, packet_);
      av_packet_unref(packet_);
      if (sent < 0 && sent != AVERROR(EAGAIN)) fail(avErrorText(sent));
    }
    while (avcodec_receive_frame(decoder_, decoded_) == 0) {
      addDecoded();
      av_frame_unref(decoded_);
    }
    if (inputEnded_) {
      // What the resampler still holds.
      uint8_t** planes = nullptr;
      const int most = frameSize_ * 4;
      if (av_samples_alloc_array_and_samples(&planes, nullptr, channels_, most, AV_SAMPLE_FMT_FLTP,
                                             0) >= 0) {
        take(planes, swr_convert(resampler_, planes, most, nullptr, 0));
        av_freep(&planes[0]);
        av_freep(&planes);
      }
    }
  }
}

std::string AudioTrack::encode(AVFrame* frame) {
  int result = avcodec_send_frame(encoder_, frame);
  if (result < 0) return avFailure("sound encoding", result);
  AVPacket* packet = av_packet_alloc();
  if (!packet) return "video: no memory for packets";
  std::string failure;
  while ((result = avcodec_receive_packet(encoder_, packet)) == 0) {
    // Only the file's own packets: those around them were encoded for their sound's sake.
    const int64_t at = packet->pts + delay_;
    const int64_t index = at >= 0 ? at / frameSize_ : -1;
    if (packet->pts != AV_NOPTS_VALUE && (index < firstOwned_ || index >= endOwned_) &&
        !(firstOwned_ == 0 && index < 0)) {
      av_packet_unref(packet);
      continue;
    }
    av_packet_rescale_ts(packet, encoder_->time_base, stream_->time_base);
    packet->stream_index = stream_->index;
    const int written = av_interleaved_write_frame(output_, packet);
    if (written < 0) {
      failure = avFailure("writing", written);
      break;
    }
  }
  if (failure.empty() && result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
    failure = avFailure("sound encoding", result);
  }
  av_packet_free(&packet);
  return failure;
}

std::string AudioTrack::writeSamples(int64_t target) {
  target = std::min(target, total_);
  while (written_ < target) {
    // A whole encoder frame, or the short last one.
    const int count = static_cast<int>(std::min<int64_t>(frameSize_, total_ - written_));
    if (written_ + count > target && written_ + count < total_) break;
    av_frame_unref(frame_);
    frame_->nb_samples = count;
    frame_->format = encoder_->sample_fmt;
    frame_->sample_rate = rate_;
    av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout);
    if (av_frame_get_buffer(frame_, 0) < 0) return "video: no memory for the sound";
    // Silence first, then the sound while it lasts, then silence.
    std::vector<std::vector<float>> planar(static_cast<size_t>(channels_),
                                           std::vector<float>(static_cast<size_t>(count), 0.0f));
    int at = static_cast<int>(std::min<int64_t>(silence_, count));
    silence_ -= at;
    if (at < count) {
      pull(count - at);
      std::vector<void*> planes(static_cast<size_t>(channels_));
      for (int c = 0; c < channels_; ++c)
        planes[static_cast<size_t>(c)] = planar[static_cast<size_t>(c)].data() + at;
      av_audio_fifo_read(fifo_, planes.data(), count - at);
    }
    for (int c = 0; c < channels_; ++c) {
      const std::vector<float>& samples = planar[static_cast<size_t>(c)];
      for (int i = 0; i < count; ++i) {
        const float sample = std::clamp(samples[static_cast<size_t>(i)], -1.0f, 1.0f);
        switch (encoder_->sample_fmt) {
          case AV_SAMPLE_FMT_FLTP:
            reinterpret_cast<float*>(frame_->data[c])[i] = sample;
            break;
          case AV_SAMPLE_FMT_FLT:
            reinterpret_cast<float*>(frame_->data[0])[i * channels_ + c] = sample;
            break;
          default:
            reinterpret_cast<int16_t*>(frame_->data[0])[i * channels_ + c] = toS16(sample);
            break;
        }
      }
    }
    frame_->pts = start_ + written_;
    written_ += count;
    if (std::string failure = encode(frame_); !failure.empty()) return failure;
  }
  return {};
}

std::string AudioTrack::writeUntil(int64_t frames) {
  if (!active()) return {};
  const int64_t perFrame = static_cast<int64_t>(frameRate_.den) * rate_;
  return writeSamples(av_rescale(firstFrame_ + frames, perFrame, frameRate_.num) - start_);
}

std::string AudioTrack::finish() {
  if (!active()) return {};
  if (std::string failure = writeSamples(total_); !failure.empty()) return failure;
  return encode(nullptr);
}

}  // namespace pelorix::video
