// SPDX-License-Identifier: GPL-3.0-or-later
// The video module: files through FFmpeg's libraries, MP4 with H.264, WebM with VP9, MOV with
// ProRes and MKV with lossless FFV1. Frames are converted to the encoder's pixel format by the
// workers (prepare) and encoded in order (write). Built as pelorix-video.so and loaded when a
// video is written (video_module.h); it uses nothing of Pelorix but that header.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstring>
#include <string>

#include "imageio/video_module.h"

namespace pelorix::video {
namespace {

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {0};
  av_strerror(code, text, sizeof text);
  return text;
}

std::string failure(const char* what, int code) {
  char message[AV_ERROR_MAX_STRING_SIZE + 128];
  std::snprintf(message, sizeof message, "video: %s: %s", what, avError(code).c_str());
  return message;
}

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct VideoFrame final : Frame {
  FramePtr frame;
};

// What each container gets.
struct Recipe {
  const char* muxer;
  const char* encoder;
  AVPixelFormat opaque;
  AVPixelFormat transparent;
};

Recipe recipeOf(Container container) {
  switch (container) {
    case Container::Mp4:
      return {"mp4", "libx264", AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P};
    case Container::WebM:
      return {"webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVA420P};
    case Container::Mov:
      return {"mov", "prores_ks", AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_YUVA444P10LE};
    case Container::Mkv:
      break;
  }
  return {"matroska", "ffv1", AV_PIX_FMT_BGR0, AV_PIX_FMT_BGRA};
}

bool isYuv(AVPixelFormat format) {
  return format != AV_PIX_FMT_BGR0 && format != AV_PIX_FMT_BGRA;
}

class FfmpegEncoder final : public Encoder {
 public:
  ~FfmpegEncoder() override {
    if (packet_) av_packet_free(&packet_);
    if (codec_) avcodec_free_context(&codec_);
    if (format_) {
      if (format_->pb) avio_closep(&format_->pb);
      avformat_free_context(format_);
    }
  }

  std::string open(const Settings& settings) override {
    settings_ = settings;
    recipe_ = recipeOf(settings.container);
    // The libraries' own chatter stays out of the log; their errors come back as results.
    av_log_set_level(AV_LOG_ERROR);
    pixelFormat_ = settings.transparent ? recipe_.transparent : recipe_.opaque;
    const AVCodec* encoder = avcodec_find_encoder_by_name(recipe_.encoder);
    if (!encoder) return std::string("video: this FFmpeg has no ") + recipe_.encoder + " encoder";
    // H.264 in yuv420p needs even sides.
    if (settings.container == Container::Mp4 &&
        (settings.width % 2 != 0 || settings.height % 2 != 0)) {
      return "video: H.264 needs an even width and height, not " + std::to_string(settings.width) +
             " x " + std::to_string(settings.height);
    }
    int result =
        avformat_alloc_output_context2(&format_, nullptr, recipe_.muxer, settings.path.c_str());
    if (result < 0 || !format_) return failure("container", result);
    codec_ = avcodec_alloc_context3(encoder);
    if (!codec_) return "video: no memory for the encoder";
    codec_->width = settings.width;
    codec_->height = settings.height;
    codec_->pix_fmt = pixelFormat_;
    codec_->time_base = AVRational{settings.rateDen, settings.rateNum};
    codec_->framerate = AVRational{settings.rateNum, settings.rateDen};
    codec_->sample_aspect_ratio = AVRational{1, 1};
    codec_->thread_count = 0;
    if (isYuv(pixelFormat_)) {
      codec_->color_primaries = AVCOL_PRI_BT709;
      codec_->color_trc = AVCOL_TRC_BT709;
      codec_->colorspace = AVCOL_SPC_BT709;
      codec_->color_range = AVCOL_RANGE_MPEG;
    }
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The same frames give the same bytes: no random identifiers, no library versions.
    format_->flags |= AVFMT_FLAG_BITEXACT;
    codec_->flags |= AV_CODEC_FLAG_BITEXACT;
    AVDictionary* options = nullptr;
    const int crf = settings.crf;
    switch (settings.container) {
      case Container::Mp4:
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set_int(&options, "crf", crf >= 0 ? crf : 23, 0);
        break;
      case Container::WebM:
        av_dict_set_int(&options, "crf", crf >= 0 ? crf : 31, 0);
        av_dict_set(&options, "b", "0", 0);
        av_dict_set(&options, "deadline", "realtime", 0);
        av_dict_set_int(&options, "cpu-used", 8, 0);
        av_dict_set_int(&options, "row-mt", 1, 0);
        // Real-time encoding makes no alternate reference frames, so frames held for them only
        // cost memory (60 MB at 720p): the same bytes without.
        av_dict_set_int(&options, "lag-in-frames", 0, 0);
        break;
      case Container::Mov:
        av_dict_set(&options, "profile", settings.transparent ? "4444" : "hq", 0);
        if (settings.transparent) av_dict_set_int(&options, "alpha_bits", 16, 0);
        break;
      case Container::Mkv:
        av_dict_set_int(&options, "level", 3, 0);
        // Four slices in two rows and two columns, when the picture has that many.
        av_dict_set_int(&options, "slices", settings.width >= 2 && settings.height >= 2 ? 4 : 1, 0);
        av_dict_set_int(&options, "slicecrc", 1, 0);
        break;
    }
    result = avcodec_open2(codec_, encoder, &options);
    av_dict_free(&options);
    if (result < 0) return failure("encoder", result);
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_) return "video: no memory for the stream";
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    stream_->r_frame_rate = codec_->framerate;
    result = avcodec_parameters_from_context(stream_->codecpar, codec_);
    if (result < 0) return failure("stream", result);
    result = avio_open(&format_->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) return failure("file", result);
    AVDictionary* muxing = nullptr;
    if (settings.container == Container::Mp4 || settings.container == Container::Mov) {
      av_dict_set(&muxing, "movflags", "+faststart", 0);
    }
    result = avformat_write_header(format_, &muxing);
    av_dict_free(&muxing);
    if (result < 0) return failure("header", result);
    packet_ = av_packet_alloc();
    if (!packet_) return "video: no memory for packets";
    return {};
  }

  // The frame in the encoder's pixel format: straight colour, BT.709 limited range for YUV.
  std::string prepare(const uint8_t* pixels, int stride,
                      std::unique_ptr<Frame>& out) const override {
    FramePtr frame(av_frame_alloc());
    if (!frame) return "video: no memory for a frame";
    frame->format = pixelFormat_;
    frame->width = settings_.width;
    frame->height = settings_.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return "video: no memory for a frame";
    if (!isYuv(pixelFormat_)) {
      for (int y = 0; y < settings_.height; ++y) {
        std::memcpy(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0],
                    pixels + static_cast<ptrdiff_t>(y) * stride,
                    static_cast<size_t>(settings_.width) * 4);
      }
    } else {
      // One conversion context per worker thread, freed with the thread.
      struct Scaler {
        SwsContext* context = nullptr;
        ~Scaler() { sws_freeContext(context); }
      };
      thread_local Scaler cache;
      SwsContext*& scaler = cache.context;
      const AVPixelFormat sourceFormat = settings_.transparent ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
      scaler = sws_getCachedContext(scaler, settings_.width, settings_.height, sourceFormat,
                                    settings_.width, settings_.height, pixelFormat_,
                                    SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                    nullptr, nullptr);
      if (!scaler) return "video: no pixel conversion to the encoder's format";
      const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
      sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
      const uint8_t* planes[1] = {pixels};
      const int strides[1] = {stride};
      sws_scale(scaler, planes, strides, 0, settings_.height, frame->data, frame->linesize);
    }
    auto prepared = std::make_unique<VideoFrame>();
    prepared->frame = std::move(frame);
    out = std::move(prepared);
    return {};
  }

  std::string write(std::unique_ptr<Frame> prepared) override {
    auto& frame = static_cast<VideoFrame&>(*prepared);
    frame.frame->pts = next_++;
    if (isYuv(pixelFormat_)) {
      frame.frame->color_primaries = AVCOL_PRI_BT709;
      frame.frame->color_trc = AVCOL_TRC_BT709;
      frame.frame->colorspace = AVCOL_SPC_BT709;
      frame.frame->color_range = AVCOL_RANGE_MPEG;
    }
    const int result = avcodec_send_frame(codec_, frame.frame.get());
    if (result < 0) return failure("encoding", result);
    return drain();
  }

  std::string finish() override {
    int result = avcodec_send_frame(codec_, nullptr);
    if (result < 0) return failure("encoding", result);
    if (std::string drained = drain(); !drained.empty()) return drained;
    result = av_write_trailer(format_);
    if (result < 0) return failure("trailer", result);
    result = avio_closep(&format_->pb);
    if (result < 0) return failure("file", result);
    return {};
  }

 private:
  std::string drain() {
    for (;;) {
      const int result = avcodec_receive_packet(codec_, packet_);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return {};
      if (result < 0) return failure("encoding", result);
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      const int written = av_interleaved_write_frame(format_, packet_);
      av_packet_unref(packet_);
      if (written < 0) return failure("writing", written);
    }
  }

  Settings settings_;
  Recipe recipe_{};
  AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t next_ = 0;
};

}  // namespace
}  // namespace pelorix::video

extern "C" __attribute__((visibility("default"))) pelorix::video::Encoder*
pelorix_video_make_encoder(int version) {
  if (version != pelorix::video::kInterfaceVersion) return nullptr;
  return new pelorix::video::FfmpegEncoder();
}
