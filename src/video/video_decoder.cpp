// SPDX-License-Identifier: GPL-3.0-or-later
// Reading video files: any container and codec FFmpeg's libraries decode. Frames are counted at
// the stream's average rate from the first one; a read that goes back, or far ahead, seeks to the
// key frame before the frame and decodes forward, so a long file is never decoded whole.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "av_text.h"
#include "imageio/video_module.h"

namespace pelorix::video {

std::string readAudioMono(const std::string& path, int rate, double maxSeconds,
                          std::vector<float>& out);

namespace {

// Reading forward up to this many frames is cheaper than a seek.
constexpr int64_t kForwardReach = 48;

class FfmpegDecoder final : public Decoder {
 public:
  ~FfmpegDecoder() override {
    sws_freeContext(scaler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
  }

  std::string readAudio(const std::string& path, int rate, double maxSeconds,
                        std::vector<float>& mono) override {
    av_log_set_level(AV_LOG_QUIET);
    return readAudioMono(path, rate, maxSeconds, mono);
  }

  std::string open(const std::string& path, VideoInfo& info) override {
    av_log_set_level(AV_LOG_QUIET);
    int result = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (result < 0) return avFailure("cannot open the file", result);
    result = avformat_find_stream_info(format_, nullptr);
    if (result < 0) return avFailure("cannot read the streams", result);
    const AVCodec* decoder = nullptr;
    result = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (result < 0 || !decoder) return "video: the file has no video stream";
    stream_ = format_->streams[result];
    codec_ = avcodec_alloc_context3(decoder);
    if (!codec_) return "video: no memory for the decoder";
    avcodec_parameters_to_context(codec_, stream_->codecpar);
    codec_->thread_count = 0;
    result = avcodec_open2(codec_, decoder, nullptr);
    if (result < 0) return avFailure("cannot start the decoder", result);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!frame_ || !packet_) return "video: no memory for frames";
    AVRational rate = stream_->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = stream_->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    rate_ = rate;
    info.width = codec_->width;
    info.height = codec_->height;
    info.fps = av_q2d(rate);
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(codec_->pix_fmt);
    info.alpha = format && (format->flags & AV_PIX_FMT_FLAG_ALPHA);
    int64_t frames = stream_->nb_frames;
    if (frames <= 0) {
      const double seconds =
          stream_->duration != AV_NOPTS_VALUE
              ? static_cast<double>(stream_->duration) * av_q2d(stream_->time_base)
              : static_cast<double>(format_->duration) / AV_TIME_BASE;
      frames = static_cast<int64_t>(std::llround(seconds * info.fps));
    }
    info.frames = frames > 0 ? frames : 1;
    start_ = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
    if (info.width <= 0 || info.height <= 0) return "video: the video stream has no picture size";
    return {};
  }

  std::string read(int64_t index, uint8_t* bgra, int stride) override {
    if (index < 0) index = 0;
    if (!(have_ && index >= shown_ && index - shown_ <= kForwardReach)) {
      if (std::string sought = seek(index); !sought.empty()) return sought;
    }
    // Forward to the frame, or to the last one the file has when it ends first.
    while (!have_ || shown_ < index) {
      const int got = nextFrame();
      if (got == AVERROR_EOF) break;
      if (got < 0) return avFailure("cannot decode the frame", got);
    }
    if (!have_) return "video: the file has no frame to show";
    return convert(bgra, stride);
  }

 private:
  // The frame number of a time stamp of the stream, counted at the average rate.
  int64_t frameOf(int64_t pts) const {
    const double seconds = static_cast<double>(pts - start_) * av_q2d(stream_->time_base);
    return static_cast<int64_t>(std::llround(seconds * av_q2d(rate_)));
  }

  std::string seek(int64_t index) {
    const double seconds = static_cast<double>(index) / av_q2d(rate_);
    const int64_t target = start_ + static_cast<int64_t>(seconds / av_q2d(stream_->time_base));
    const int result = av_seek_frame(format_, stream_->index, target, AVSEEK_FLAG_BACKWARD);
    if (result < 0 && index > 0) return avFailure("cannot seek", result);
    avcodec_flush_buffers(codec_);
    have_ = false;
    ended_ = false;
    return {};
  }

  // The next frame in presentation order into frame_; AVERROR_EOF at the end.
  int nextFrame() {
    for (;;) {
      int result = avcodec_receive_frame(codec_, frame_);
      if (result == 0) {
        const int64_t pts = frame_->best_effort_timestamp != AV_NOPTS_VALUE
                                ? frame_->best_effort_timestamp
                                : frame_->pts;
        shown_ = pts != AV_NOPTS_VALUE ? frameOf(pts) : shown_ + 1;
        have_ = true;
        return 0;
      }
      if (result == AVERROR_EOF) return result;
      if (result != AVERROR(EAGAIN)) return result;
      if (ended_) return AVERROR_EOF;
      result = av_read_frame(format_, packet_);
      if (result == AVERROR_EOF) {
        ended_ = true;
        avcodec_send_packet(codec_, nullptr);
        continue;
      }
      if (result < 0) return result;
      if (packet_->stream_index == stream_->index) result = avcodec_send_packet(codec_, packet_);
      av_packet_unref(packet_);
      if (result < 0 && result != AVERROR(EAGAIN)) return result;
    }
  }

  std::string convert(uint8_t* bgra, int stride) {
    // swscale's fast path for the usual formats (a source frame is drawn, not archived).
    scaler_ = sws_getCachedContext(
        scaler_, frame_->width, frame_->height, static_cast<AVPixelFormat>(frame_->format),
        codec_->width, codec_->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler_) return "video: no pixel conversion from the file's format";
    // The file's own colours: BT.709 unless it says otherwise, limited range unless full.
    const int space =
        frame_->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_ITU709 : frame_->colorspace;
    const int* coefficients = sws_getCoefficients(space);
    const int full = frame_->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(scaler_, coefficients, full, sws_getCoefficients(SWS_CS_ITU709), 1, 0,
                             1 << 16, 1 << 16);
    uint8_t* planes[1] = {bgra};
    const int strides[1] = {stride};
    sws_scale(scaler_, frame_->data, frame_->linesize, 0, frame_->height, planes, strides);
    return {};
  }

  AVFormatContext* format_ = nullptr;
  AVStream* stream_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  AVRational rate_{25, 1};
  int64_t start_ = 0;
  int64_t shown_ = -1;  // the number of the frame in frame_
  bool have_ = false;
  bool ended_ = false;
};

}  // namespace

Decoder* makeDecoder() {
  return new FfmpegDecoder();
}

}  // namespace pelorix::video

extern "C" __attribute__((visibility("default"))) pelorix::video::Decoder*
pelorix_video_make_decoder(int version) {
  if (version != pelorix::video::kInterfaceVersion) return nullptr;
  return pelorix::video::makeDecoder();
}
