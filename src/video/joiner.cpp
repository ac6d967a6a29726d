// SPDX-License-Identifier: GPL-3.0-or-later
// Putting the parts of one render together: the packets of every part are copied in order into
// one file, with the time stamps each part was written with (a part's frames keep their place
// in the whole). Nothing is decoded or encoded.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/crc.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "av_text.h"
#include "containers.h"
#include "imageio/video_module.h"

namespace pelorix::video {
namespace {

struct Input {
  AVFormatContext* context = nullptr;
  ~Input() { avformat_close_input(&context); }
  std::string open(const std::string& path) {
    int result = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
    if (result < 0) return avErrorText(result);
    result = avformat_find_stream_info(context, nullptr);
    if (result < 0) return avErrorText(result);
    return {};
  }
  int stream(AVMediaType type) const {
    return av_find_best_stream(context, type, -1, -1, nullptr, 0);
  }
};

uint32_t crcOf(const uint8_t* data, int size) {
  if (!data || size <= 0) return 0;
  return av_crc(av_crc_get_table(AV_CRC_32_IEEE), 0, data, static_cast<size_t>(size));
}

// Everything of a stream that two parts must share for one decoder to read both.
std::string describe(const AVStream& stream) {
  const AVCodecParameters& p = *stream.codecpar;
  char text[256];
  if (p.codec_type == AVMEDIA_TYPE_VIDEO) {
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(p.format));
    std::snprintf(text, sizeof text, "video %s %dx%d %s profile %d level %d extra %08x",
                  avcodec_get_name(p.codec_id), p.width, p.height, format ? format : "?", p.profile,
                  p.level, crcOf(p.extradata, p.extradata_size));
  } else {
    // FLAC's header counts the samples and checks the sound of the file it is in: it differs
    // between parts whose sound is the same kind (only its block sizes and format must agree).
    const bool flac = p.codec_id == AV_CODEC_ID_FLAC;
    std::snprintf(text, sizeof text, "audio %s %d Hz %d channels %d bits extra %08x",
                  avcodec_get_name(p.codec_id), p.sample_rate, p.ch_layout.nb_channels,
                  p.bits_per_raw_sample,
                  flac ? crcOf(p.extradata, std::min(p.extradata_size, 4))
                       : crcOf(p.extradata, p.extradata_size));
  }
  return text;
}

// The joined FLAC stream's header: its frame sizes, sample count and checksum unknown (as a
// stream's may be), since those of the first part are not the whole's.
void forgetFlacTotals(AVCodecParameters& p) {
  if (p.codec_id != AV_CODEC_ID_FLAC || p.extradata_size < 34) return;
  std::fill(p.extradata + 4, p.extradata + 10, uint8_t{0});   // minimum and maximum frame size
  p.extradata[13] &= 0xF0;                                    // the top bits of the sample count
  std::fill(p.extradata + 14, p.extradata + 34, uint8_t{0});  // its other bits and the MD5
}

class FfmpegJoiner final : public Joiner {
 public:
  std::string probe(const std::string& path, PartInfo& info) override {
    av_log_set_level(AV_LOG_QUIET);
    Input input;
    if (std::string failed = input.open(path); !failed.empty()) return failed;
    const int video = input.stream(AVMEDIA_TYPE_VIDEO);
    if (video < 0) return "no video stream";
    const AVStream& stream = *input.context->streams[video];
    info = PartInfo();
    if (const AVDictionaryEntry* comment =
            av_dict_get(input.context->metadata, "comment", nullptr, 0)) {
      info.comment = comment->value;
    }
    info.codec = avcodec_get_name(stream.codecpar->codec_id);
    info.width = stream.codecpar->width;
    info.height = stream.codecpar->height;
    const AVRational rate =
        stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    info.rateNum = rate.num;
    info.rateDen = rate.den;
    info.streams = describe(stream);
    const int audio = input.stream(AVMEDIA_TYPE_AUDIO);
    if (audio >= 0) info.streams += "; " + describe(*input.context->streams[audio]);
    return {};
  }

  std::string join(const std::vector<std::string>& parts, const std::vector<int64_t>& frames,
                   const std::string& output, Container container, const std::string& comment,
                   const std::atomic<bool>* stop) override {
    stop_ = stop;
    av_log_set_level(AV_LOG_QUIET);
    if (parts.empty() || parts.size() != frames.size()) return "nothing to join";
    AVFormatContext* out = nullptr;
    int result = avformat_alloc_output_context2(&out, nullptr, muxerOf(container), output.c_str());
    if (result < 0 || !out) return avFailure("container", result);
    std::string failure = copyAll(out, parts, frames, output, container, comment);
    if (out->pb) avio_closep(&out->pb);
    avformat_free_context(out);
    return failure;
  }

 private:
  static std::string partFailure(size_t index, const std::string& reason) {
    return "part " + std::to_string(index + 1) + ": " + reason;
  }

  std::string copyAll(AVFormatContext* out, const std::vector<std::string>& parts,
                      const std::vector<int64_t>& frames, const std::string& output,
                      Container container, const std::string& comment) {
    out->flags |= AVFMT_FLAG_BITEXACT;
    out_ = out;
    packet_ = av_packet_alloc();
    if (!packet_) return "video: no memory for packets";
    std::string failure;
    for (size_t i = 0; i < parts.size() && failure.empty(); ++i) {
      Input input;
      if (std::string failed = input.open(parts[i]); !failed.empty()) {
        failure = partFailure(i, failed);
        break;
      }
      const int video = input.stream(AVMEDIA_TYPE_VIDEO);
      const int audio = input.stream(AVMEDIA_TYPE_AUDIO);
      if (video < 0) {
        failure = partFailure(i, "no video stream");
        break;
      }
      const AVStream* audioIn = audio >= 0 ? input.context->streams[audio] : nullptr;
      if (i == 0) {
        failure = start(*input.context->streams[video], audioIn, output, container, comment);
      } else if ((audioIn != nullptr) != (audioOut_ != nullptr)) {
        failure = partFailure(i, audioIn ? "it has sound, the first part has none"
                                         : "it has no sound, the first part has");
      }
      if (failure.empty()) failure = copyPart(i, input, video, audio, frames[i]);
    }
    av_packet_free(&packet_);
    if (failure.empty()) {
      result_ = av_write_trailer(out);
      if (result_ < 0) failure = avFailure("trailer", result_);
    }
    if (failure.empty() && out->pb) {
      result_ = avio_closep(&out->pb);
      if (result_ < 0) failure = avFailure("file", result_);
    }
    return failure;
  }

  // The output's streams, like the first part's, and its header.
  std::string start(const AVStream& video, const AVStream* audio, const std::string& output,
                    Container container, const std::string& comment) {
    videoOut_ = addStream(out_, video, container);
    if (audio) audioOut_ = addStream(out_, *audio, container);
    if (!videoOut_ || (audio && !audioOut_)) return "video: no memory for the streams";
    if (!comment.empty()) av_dict_set(&out_->metadata, "comment", comment.c_str(), 0);
    result_ = avio_open(&out_->pb, output.c_str(), AVIO_FLAG_WRITE);
    if (result_ < 0) return avFailure("file", result_);
    AVDictionary* muxing = nullptr;
    if (container == Container::Mp4 || container == Container::Mov) {
      av_dict_set(&muxing, "movflags", "+faststart", 0);
    }
    result_ = avformat_write_header(out_, &muxing);
    av_dict_free(&muxing);
    return result_ < 0 ? avFailure("header", result_) : std::string();
  }

  // Copies the packets of part `i`, which must hold `frames` frames.
  std::string copyPart(size_t i, Input& input, int video, int audio, int64_t frames) {
    AVStream* videoIn = input.context->streams[video];
    AVStream* audioIn = audio >= 0 ? input.context->streams[audio] : nullptr;
    // The part's frames lie on the grid of the frame rate (containers keep times to a
    // millisecond or so); its sound is the packets of its own stretch of the whole, as written.
    const AVRational frameTime =
        av_inv_q(videoIn->avg_frame_rate.num > 0 ? videoIn->avg_frame_rate : videoIn->r_frame_rate);
    AVPacket* packet = packet_;
    int64_t counted = 0;
    // Where the part's frames and its sound end, in seconds: a part cut short may lose only
    // sound packets at its end.
    double framesEnd = 0.0;
    double audioEnd = 0.0;
    for (;;) {
      if (stop_ && stop_->load()) return "stopped";
      const int read = av_read_frame(input.context, packet);
      if (read == AVERROR_EOF) break;
      if (read < 0) return partFailure(i, "damaged: " + avErrorText(read));
      // A packet the file ends in the middle of.
      if (packet->flags & AV_PKT_FLAG_CORRUPT) {
        av_packet_unref(packet);
        return partFailure(i, "damaged: it ends in the middle of a packet");
      }
      const AVStream* from = nullptr;
      AVStream* to = nullptr;
      if (packet->stream_index == video) {
        from = videoIn;
        to = videoOut_;
        ++counted;
        snap(packet, videoIn->time_base, frameTime);
        if (packet->pts != AV_NOPTS_VALUE) {
          framesEnd =
              std::max(framesEnd, (static_cast<double>(packet->pts) * av_q2d(videoIn->time_base)) +
                                      av_q2d(frameTime));
        }
      } else if (audioIn && packet->stream_index == audio) {
        from = audioIn;
        to = audioOut_;
        if (packet->pts != AV_NOPTS_VALUE) {
          audioEnd = std::max(audioEnd, static_cast<double>(packet->pts + packet->duration) *
                                            av_q2d(audioIn->time_base));
        }
      }
      if (to) av_packet_rescale_ts(packet, from->time_base, to->time_base);
      if (to == audioOut_ && to) {
        // The first part's sound may reach into the next one's: every sample once.
        if (packet->pts != AV_NOPTS_VALUE && lastAudio_ != AV_NOPTS_VALUE &&
            packet->pts <= lastAudio_) {
          to = nullptr;
        } else {
          lastAudio_ = packet->pts;
        }
      }
      if (!to) {
        av_packet_unref(packet);
        continue;
      }
      packet->stream_index = to->index;
      packet->pos = -1;
      const int written = av_interleaved_write_frame(out_, packet);
      if (written < 0) return partFailure(i, avFailure("writing", written));
    }
    if (counted != frames) {
      return partFailure(
          i, "truncated: " + std::to_string(counted) + " of " + std::to_string(frames) + " frames");
    }
    // Each part's sound reaches the end of its last frame (a millisecond for the containers'
    // rounding).
    if (audioIn && audioEnd + 0.002 < framesEnd) {
      char text[96];
      std::snprintf(text, sizeof text, "truncated: its sound ends at %.3f s, its frames at %.3f s",
                    audioEnd, framesEnd);
      return partFailure(i, text);
    }
    return {};
  }

  static constexpr AVRounding kNearest =
      static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);

  // A video packet's times on the frame grid.
  static void snap(AVPacket* packet, AVRational base, AVRational frameTime) {
    const auto onGrid = [&](int64_t& time) {
      if (time == AV_NOPTS_VALUE) return;
      time = av_rescale_q(av_rescale_q_rnd(time, base, frameTime, kNearest), frameTime, base);
    };
    onGrid(packet->pts);
    onGrid(packet->dts);
  }

  static AVStream* addStream(AVFormatContext* out, const AVStream& in, Container container) {
    AVStream* stream = avformat_new_stream(out, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, in.codecpar) < 0) return nullptr;
    forgetFlacTotals(*stream->codecpar);
    // MP4 and MOV keep the codec's tag (H.265 as hvc1); other containers choose their own.
    if (container != Container::Mp4 && container != Container::Mov) stream->codecpar->codec_tag = 0;
    stream->time_base = in.time_base;
    stream->avg_frame_rate = in.avg_frame_rate;
    stream->r_frame_rate = in.r_frame_rate;
    return stream;
  }

  AVFormatContext* out_ = nullptr;
  AVStream* videoOut_ = nullptr;
  AVStream* audioOut_ = nullptr;
  AVPacket* packet_ = nullptr;
  int result_ = 0;
  int64_t lastAudio_ = AV_NOPTS_VALUE;  // in the output's time base
  const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace
}  // namespace pelorix::video

extern "C" __attribute__((visibility("default"))) pelorix::video::Joiner* pelorix_video_make_joiner(
    int version) {
  if (version != pelorix::video::kInterfaceVersion) return nullptr;
  return new pelorix::video::FfmpegJoiner();
}
