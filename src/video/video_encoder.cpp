// SPDX-License-Identifier: GPL-3.0-or-later
// Writing videos through FFmpeg's libraries: MP4, WebM, MOV and MKV with the codecs each takes
// (H.264, H.265, AV1, VP9, ProRes, FFV1), and streams of raw pictures (YUV4MPEG, NUT) for pipes;
// with a sound track where the container has one. Frames are converted to the encoder's pixel
// format by the workers (prepare) and encoded in order (write). Built as pelorix-video.so and
// loaded when a video is written (video_module.h); it uses nothing of Pelorix but that header.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstdlib>
#include <cstring>
#include <string>

#include "audio_track.h"
#include "av_text.h"
#include "containers.h"
#include "imageio/video_module.h"

namespace pelorix::video {
namespace {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct VideoFrame final : Frame {
  FramePtr frame;
};

// How a container and codec are written.
struct Recipe {
  const char* muxer = nullptr;
  const char* encoder = nullptr;
  AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
  const char* audioEncoder = nullptr;  // null: the file gets no sound
  uint32_t tag = 0;                    // the codec's tag when not the muxer's choice
};

Codec defaultCodec(Container container) {
  switch (container) {
    case Container::Mp4:
      return Codec::H264;
    case Container::WebM:
      return Codec::Vp9;
    case Container::Mov:
      return Codec::ProRes;
    default:
      return Codec::Ffv1;
  }
}

ProResProfile proresProfileOf(const Settings& settings) {
  if (settings.proresProfile != ProResProfile::Default) return settings.proresProfile;
  return settings.transparent ? ProResProfile::P4444 : ProResProfile::Hq;
}

// The recipe, or null encoder when the container cannot take the codec.
Recipe recipeOf(const Settings& settings) {
  Recipe recipe;
  recipe.muxer = muxerOf(settings.container);
  const bool alpha = settings.transparent;
  if (settings.container == Container::Y4m) {
    recipe.encoder = "wrapped_avframe";
    recipe.pixelFormat = AV_PIX_FMT_YUV444P;
    return recipe;
  }
  if (settings.container == Container::Nut) {
    recipe.encoder = "rawvideo";
    recipe.pixelFormat = AV_PIX_FMT_BGRA;
    return recipe;
  }
  const Codec codec =
      settings.codec == Codec::Default ? defaultCodec(settings.container) : settings.codec;
  const bool mp4 = settings.container == Container::Mp4;
  const bool mov = settings.container == Container::Mov;
  const bool webm = settings.container == Container::WebM;
  const bool mkv = settings.container == Container::Mkv;
  switch (codec) {
    case Codec::H264:
      if (!(mp4 || mov || mkv)) return recipe;
      recipe.encoder = "libx264";
      recipe.pixelFormat = AV_PIX_FMT_YUV420P;
      break;
    case Codec::H265:
      if (!(mp4 || mov || mkv)) return recipe;
      recipe.encoder = "libx265";
      recipe.pixelFormat = AV_PIX_FMT_YUV420P;
      // Browsers and Apple's players open H.265 in MP4 and MOV under this tag only.
      if (mp4 || mov) recipe.tag = MKTAG('h', 'v', 'c', '1');
      break;
    case Codec::Av1:
      if (!(mp4 || webm || mkv)) return recipe;
      recipe.encoder = "libsvtav1";
      recipe.pixelFormat = AV_PIX_FMT_YUV420P;
      break;
    case Codec::Vp9:
      if (!(webm || mkv)) return recipe;
      recipe.encoder = "libvpx-vp9";
      recipe.pixelFormat = alpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
      break;
    case Codec::ProRes:
      if (!(mov || mkv)) return recipe;
      recipe.encoder = "prores_ks";
      recipe.pixelFormat = proresProfileOf(settings) != ProResProfile::P4444
                               ? AV_PIX_FMT_YUV422P10LE
                           : alpha ? AV_PIX_FMT_YUVA444P10LE
                                   : AV_PIX_FMT_YUV444P10LE;
      break;
    case Codec::Ffv1:
    case Codec::Default:
      if (!mkv) return recipe;
      recipe.encoder = "ffv1";
      recipe.pixelFormat = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR0;
      break;
  }
  switch (settings.container) {
    case Container::Mp4:
      recipe.audioEncoder = "aac";
      break;
    case Container::Mov:
      // Editing software takes ProRes with uncompressed sound.
      recipe.audioEncoder = codec == Codec::ProRes ? "pcm_s16le" : "aac";
      break;
    case Container::WebM:
      recipe.audioEncoder = "libopus";
      break;
    case Container::Mkv:
      recipe.audioEncoder = "flac";
      break;
    default:
      break;
  }
  return recipe;
}

bool isYuv(AVPixelFormat format) {
  return format != AV_PIX_FMT_BGR0 && format != AV_PIX_FMT_BGRA;
}

// One scale of speed against size for every encoder; Default keeps each encoder's setting of
// earlier versions, so that their files stay the same.
const char* x26xPreset(Preset preset, bool h265) {
  switch (preset) {
    case Preset::Medium:
      return "medium";
    case Preset::Slow:
      return "slow";
    default:
      return h265 ? "fast" : "veryfast";
  }
}

void setRate(const Settings& settings, int defaultCrf, AVCodecContext* codec,
             AVDictionary** options) {
  if (settings.bitrate > 0) {
    codec->bit_rate = settings.bitrate;
  } else {
    av_dict_set_int(options, "crf", settings.crf >= 0 ? settings.crf : defaultCrf, 0);
  }
}

// The encoder's own options for the settings.
void encoderOptions(const Settings& settings, const Recipe& recipe, AVCodecContext* codec,
                    AVDictionary** options) {
  const std::string name = recipe.encoder;
  if (name == "libx264") {
    av_dict_set(options, "preset", x26xPreset(settings.preset, false), 0);
    setRate(settings, 23, codec, options);
  } else if (name == "libx265") {
    av_dict_set(options, "preset", x26xPreset(settings.preset, true), 0);
    av_dict_set(options, "x265-params", "log-level=error", 0);
    setRate(settings, 28, codec, options);
  } else if (name == "libsvtav1") {
    const int presets[] = {10, 10, 8, 5};
    av_dict_set_int(options, "preset", presets[static_cast<int>(settings.preset)], 0);
    if (settings.bitrate > 0) {
      codec->bit_rate = settings.bitrate;
    } else {
      av_dict_set_int(options, "crf", settings.crf >= 0 ? settings.crf : 35, 0);
    }
  } else if (name == "libvpx-vp9") {
    if (settings.bitrate > 0) {
      codec->bit_rate = settings.bitrate;
    } else {
      av_dict_set_int(options, "crf", settings.crf >= 0 ? settings.crf : 31, 0);
      av_dict_set(options, "b", "0", 0);
    }
    av_dict_set_int(options, "row-mt", 1, 0);
    if (settings.preset == Preset::Medium || settings.preset == Preset::Slow) {
      av_dict_set(options, "deadline", "good", 0);
      av_dict_set_int(options, "cpu-used", settings.preset == Preset::Slow ? 2 : 4, 0);
    } else {
      av_dict_set(options, "deadline", "realtime", 0);
      av_dict_set_int(options, "cpu-used", 8, 0);
      // Real-time encoding makes no alternate reference frames, so frames held for them only
      // cost memory (60 MB at 720p): the same bytes without.
      av_dict_set_int(options, "lag-in-frames", 0, 0);
    }
  } else if (name == "prores_ks") {
    static const char* const kProfiles[] = {"hq", "proxy", "lt", "standard", "hq", "4444"};
    const ProResProfile profile = proresProfileOf(settings);
    av_dict_set(options, "profile", kProfiles[static_cast<int>(profile)], 0);
    if (profile == ProResProfile::P4444 && settings.transparent)
      av_dict_set_int(options, "alpha_bits", 16, 0);
  } else if (name == "ffv1") {
    av_dict_set_int(options, "level", 3, 0);
    // Four slices in two rows and two columns, when the picture has that many.
    av_dict_set_int(options, "slices", settings.width >= 2 && settings.height >= 2 ? 4 : 1, 0);
    av_dict_set_int(options, "slicecrc", 1, 0);
  }
}

class FfmpegEncoder final : public Encoder {
 public:
  ~FfmpegEncoder() override {
    audio_.reset();
    if (packet_) av_packet_free(&packet_);
    if (codec_) avcodec_free_context(&codec_);
    if (format_) {
      if (format_->pb) avio_closep(&format_->pb);
      avformat_free_context(format_);
    }
  }

  std::string open(const Settings& settings) override {
    settings_ = settings;
    recipe_ = recipeOf(settings);
    // The libraries' own chatter stays out of the log; their errors come back as results.
    av_log_set_level(AV_LOG_QUIET);
    if (!recipe_.muxer || !recipe_.encoder) return "video: the container cannot hold this codec";
    pixelFormat_ = recipe_.pixelFormat;
    const AVCodec* encoder = avcodec_find_encoder_by_name(recipe_.encoder);
    if (!encoder) return std::string("video: this FFmpeg has no ") + recipe_.encoder + " encoder";
    // SVT-AV1 talks on standard error unless told not to (errors only).
    if (std::strcmp(recipe_.encoder, "libsvtav1") == 0) ::setenv("SVT_LOG", "1", 0);
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(pixelFormat_);
    if ((settings.width % (1 << layout->log2_chroma_w)) != 0 ||
        (settings.height % (1 << layout->log2_chroma_h)) != 0) {
      return std::string("video: ") + recipe_.encoder + " needs an even " +
             (settings.width % (1 << layout->log2_chroma_w) != 0 ? "width" : "height") + ", not " +
             std::to_string(settings.width) + " x " + std::to_string(settings.height);
    }
    int result =
        avformat_alloc_output_context2(&format_, nullptr, recipe_.muxer, settings.path.c_str());
    if (result < 0 || !format_) return avFailure("container", result);
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
    encoderOptions(settings, recipe_, codec_, &options);
    result = avcodec_open2(codec_, encoder, &options);
    av_dict_free(&options);
    if (result < 0) return avFailure("encoder", result);
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_) return "video: no memory for the stream";
    stream_->time_base = codec_->time_base;
    stream_->avg_frame_rate = codec_->framerate;
    stream_->r_frame_rate = codec_->framerate;
    result = avcodec_parameters_from_context(stream_->codecpar, codec_);
    if (result < 0) return avFailure("stream", result);
    if (recipe_.tag) stream_->codecpar->codec_tag = recipe_.tag;
    if (std::string failure = openAudio(); !failure.empty()) return failure;
    if (std::string failure = openFile(settings); !failure.empty()) return failure;
    packet_ = av_packet_alloc();
    if (!packet_) return "video: no memory for packets";
    return {};
  }

  // The file, its comment and the muxer's header; "" or why not.
  std::string openFile(const Settings& settings) {
    int result = avio_open(&format_->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) return avFailure("file", result);
    if (!settings.comment.empty())
      av_dict_set(&format_->metadata, "comment", settings.comment.c_str(), 0);
    AVDictionary* muxing = nullptr;
    if (settings.container == Container::Mp4 || settings.container == Container::Mov) {
      av_dict_set(&muxing, "movflags", "+faststart", 0);
      // A part of a render starts later: its edit lists count in samples of its sound, so
      // that the parts put together keep every sample in place.
      if (settings.firstFrame > 0 && audio_)
        av_dict_set_int(&muxing, "movie_timescale", audio_->rate(), 0);
    }
    // Matroska moves a file whose sound starts before its first frame (the encoder's delay)
    // forward by that delay, and a reader takes the delay off the sound again. A part of a
    // render starts later, so nothing moves it: it is moved by the same delay here, so that its
    // times read back as those of one render and the parts put together line up.
    if ((settings.container == Container::Mkv || settings.container == Container::WebM) &&
        settings.firstFrame > 0 && audio_ && audio_->delay() > 0) {
      format_->output_ts_offset =
          av_rescale_q(audio_->delay(), AVRational{1, audio_->rate()}, AVRational{1, AV_TIME_BASE});
    }
    result = avformat_write_header(format_, &muxing);
    av_dict_free(&muxing);
    return result < 0 ? avFailure("header", result) : std::string();
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
      const size_t row = static_cast<size_t>(settings_.width) * 4;
      for (int y = 0; y < settings_.height; ++y) {
        uint8_t* to = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        std::memcpy(to, pixels + static_cast<ptrdiff_t>(y) * stride, row);
        // Raw pictures say opaque where the frame has no alpha.
        if (pixelFormat_ == AV_PIX_FMT_BGRA && !settings_.transparent) {
          for (size_t x = 3; x < row; x += 4)
            to[x] = 255;
        }
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
    // A part of a render keeps its time in the whole.
    frame.frame->pts = settings_.firstFrame + next_++;
    if (isYuv(pixelFormat_)) {
      frame.frame->color_primaries = AVCOL_PRI_BT709;
      frame.frame->color_trc = AVCOL_TRC_BT709;
      frame.frame->colorspace = AVCOL_SPC_BT709;
      frame.frame->color_range = AVCOL_RANGE_MPEG;
    }
    const int result = avcodec_send_frame(codec_, frame.frame.get());
    if (result < 0) return avFailure("encoding", result);
    if (std::string failure = drain(); !failure.empty()) return failure;
    // The sound up to the end of this frame, so that the file stays interleaved.
    return audio_ ? audio_->writeUntil(next_) : std::string();
  }

  std::string finish() override {
    int result = avcodec_send_frame(codec_, nullptr);
    if (result < 0) return avFailure("encoding", result);
    if (std::string drained = drain(true); !drained.empty()) return drained;
    if (audio_) {
      if (std::string failure = audio_->finish(); !failure.empty()) return failure;
      audioProblem_ = audio_->problem();
    }
    result = av_write_trailer(format_);
    if (result < 0) return avFailure("trailer", result);
    result = avio_closep(&format_->pb);
    if (result < 0) return avFailure("file", result);
    return {};
  }

  std::string audioProblem() const override {
    if (!audioProblem_.empty() || !audio_) return audioProblem_;
    return audio_->problem();
  }

 private:
  // The sound's stream, when one is asked for and the container has sound. A sound that cannot
  // be read leaves the file without one (audioProblem says why); a failure of the output fails.
  std::string openAudio() {
    if (settings_.audio.path.empty() || !recipe_.audioEncoder) return {};
    audio_ = std::make_unique<AudioTrack>();
    std::string failure;
    const AVRational rate{settings_.rateNum, settings_.rateDen};
    if (!audio_->open(settings_.audio, format_, recipe_.audioEncoder,
                      {settings_.firstFrame, settings_.frames, settings_.totalFrames}, rate,
                      failure)) {
      audioProblem_ = audio_->problem();
      audio_.reset();
    }
    return failure;
  }

  // The packets the encoder has ready. While the file's end is written (`finishing`), a stop
  // ends it between packets.
  std::string drain(bool finishing = false) {
    for (;;) {
      if (finishing && settings_.stop && settings_.stop->load()) return "stopped";
      const int result = avcodec_receive_packet(codec_, packet_);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return {};
      if (result < 0) return avFailure("encoding", result);
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      const int written = av_interleaved_write_frame(format_, packet_);
      av_packet_unref(packet_);
      if (written < 0) return avFailure("writing", written);
    }
  }

  Settings settings_;
  Recipe recipe_{};
  AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::unique_ptr<AudioTrack> audio_;
  std::string audioProblem_;
  int64_t next_ = 0;
};

}  // namespace
}  // namespace pelorix::video

extern "C" __attribute__((visibility("default"))) pelorix::video::Encoder*
pelorix_video_make_encoder(int version) {
  if (version != pelorix::video::kInterfaceVersion) return nullptr;
  return new pelorix::video::FfmpegEncoder();
}
