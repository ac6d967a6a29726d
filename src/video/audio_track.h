// SPDX-License-Identifier: GPL-3.0-or-later
// The sound track of a video file: any file FFmpeg decodes, resampled for the container's audio
// encoder, with its gain and offset, trimmed or padded with silence to exactly the frames' length,
// and written between the video frames so that the file stays interleaved.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <cstdint>
#include <string>

#include "imageio/video_module.h"

namespace pelorix::video {

class AudioTrack {
 public:
  AudioTrack() = default;
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;
  ~AudioTrack();

  // Which frames of the whole render the file holds.
  struct Frames {
    int64_t first = 0;
    int64_t count = 0;
    int64_t total = 0;  // 0: the file is the whole render
  };
  // Opens the sound and adds its stream to `output` (before the header is written), encoded by
  // `encoderName`, for `frames` at `rate` frames per second. False when the sound cannot be read
  // (problem() says why): then the file has no audio stream. A failure of the output itself (no
  // encoder, no memory) comes back in `failure`.
  //
  // The sound of a part of a render is cut so that the parts put together hold the sound of one
  // render: the encoder's packets lie on one grid of the whole render's samples (packet k starts
  // at sample k x frame size - the encoder's delay), each packet belongs to the part in which it
  // starts, and a part writes only its own packets. It encodes a few packets of real sound before
  // and after them, so that the encoder's state at a seam is close to that of one render.
  bool open(const Audio& audio, AVFormatContext* output, const char* encoderName, Frames frames,
            AVRational rate, std::string& failure);
  bool active() const { return stream_ != nullptr; }
  int rate() const { return rate_; }
  // The encoder's delay in samples: its first packet starts this much before the first sample.
  int64_t delay() const { return delay_; }

  // Writes the sound up to the end of video frame `frames` (counted from the first); "" or the
  // failure of the output.
  std::string writeUntil(int64_t frames);
  // Writes the rest, to the end of the last frame, and empties the encoder.
  std::string finish();

  // Why the sound is not in the file or only partly: "" when it is whole.
  const std::string& problem() const { return problem_; }

 private:
  bool openInput(const Audio& audio);
  bool openEncoder(const AVCodec* encoder, AVFormatContext* output, std::string& failure);
  // Decodes until `wanted` samples wait in the FIFO or the sound ends.
  void pull(int wanted);
  void take(const uint8_t* const* planes, int count);
  void addDecoded();
  std::string writeSamples(int64_t target);
  std::string encode(AVFrame* frame);
  void fail(const std::string& reason);

  // The sound file.
  AVFormatContext* input_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  int inputStream_ = -1;
  SwrContext* resampler_ = nullptr;
  AVFrame* decoded_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool inputEnded_ = false;
  std::string path_;
  std::string problem_;
  // The output.
  AVFormatContext* output_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  AVStream* stream_ = nullptr;
  AVAudioFifo* fifo_ = nullptr;  // resampled planar float samples, gain applied
  AVFrame* frame_ = nullptr;
  float gain_ = 1.0f;
  int channels_ = 0;
  int rate_ = 0;
  int frameSize_ = 0;
  AVRational frameRate_{30, 1};
  int64_t firstFrame_ = 0;
  int64_t skip_ = 0;              // samples of the sound to drop before the first one written
  int64_t silence_ = 0;           // samples of silence before the sound starts
  int64_t start_ = 0;             // the whole animation's sample the encoder is given first
  int64_t total_ = 0;             // samples the encoder is given
  int64_t written_ = 0;           // samples sent to the encoder
  int64_t delay_ = 0;             // the encoder's delay: packet k starts at k x frameSize_ - delay_
  int64_t firstOwned_ = 0;        // the first packet the file holds
  int64_t endOwned_ = INT64_MAX;  // the packet after its last
};

}  // namespace pelorix::video
