// SPDX-License-Identifier: GPL-3.0-or-later
#include "export_options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "commands.h"
#include "output/formats.h"
#include "output/run_plan.h"

namespace pelorix::cli {
namespace {

// A number with nothing after it; false otherwise.
bool wholeText(const std::string& text, double& value) {
  if (text.empty()) return false;
  size_t used = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    return false;
  }
  return used == text.size() && std::isfinite(value);
}

// "5M", "800k", "2500000": bits per second.
bool parseBitrate(const std::string& text, int64_t& bits) {
  if (text.empty()) return false;
  double factor = 1.0;
  std::string number = text;
  switch (number.back()) {
    case 'k':
    case 'K':
      factor = 1e3;
      break;
    case 'm':
    case 'M':
      factor = 1e6;
      break;
    case 'g':
    case 'G':
      factor = 1e9;
      break;
    default:
      break;
  }
  if (factor != 1.0) number.pop_back();
  double value = 0.0;
  if (!wholeText(number, value) || value * factor < 1000.0 || value * factor > 1e10) return false;
  bits = std::llround(value * factor);
  return true;
}

// "29.97" or "30000/1001".
bool parseRate(const std::string& text, float& fps) {
  const size_t slash = text.find('/');
  double value = 0.0;
  if (slash == std::string::npos) {
    if (!wholeText(text, value)) return false;
  } else {
    double num = 0.0, den = 0.0;
    if (!wholeText(text.substr(0, slash), num) || !wholeText(text.substr(slash + 1), den) ||
        den == 0.0) {
      return false;
    }
    value = num / den;
  }
  fps = static_cast<float>(value);
  return value > 0.0 && std::isfinite(fps);
}

bool parseSize(const std::string& text, std::pair<int, int>& size) {
  const size_t x = text.find_first_of("xX");
  double width = 0.0, height = 0.0;
  if (x == std::string::npos || !wholeText(text.substr(0, x), width) ||
      !wholeText(text.substr(x + 1), height)) {
    return false;
  }
  if (width < 1 || height < 1 || width > 65535 || height > 65535 || width != std::floor(width) ||
      height != std::floor(height)) {
    return false;
  }
  size = {static_cast<int>(width), static_cast<int>(height)};
  return true;
}

std::vector<std::string> codecChoices() {
  std::vector<std::string> names;
  for (const VideoCodec& codec : videoCodecs())
    names.emplace_back(codec.name);
  return names;
}

}  // namespace

void addExportOptions(CLI::App& command, ExportOptions& o) {
  o.command = &command;
  addEncodeOptions(command, o.encode);
  command
      .add_option("--crf", o.encode.crf,
                  _("videos: constant rate factor, lower is better (default 23 for H.264, 28 for "
                    "H.265, 35 for AV1, 31 for VP9)"))
      ->check(wholeNumber(0, 63));
  command.add_flag("--lossless", o.encode.lossless, _("animated WebP: lossless"));
  withChoices(command.add_option("--codec", o.codec,
                                 _("videos: the codec (MP4: h264, h265, av1; WebM: vp9, av1; MOV: "
                                   "prores, h264, h265; MKV: any)")),
              codecChoices());
  withChoices(command.add_option("--preset", o.preset,
                                 _("videos: the encoder's speed against size (default fast)")),
              {"fast", "medium", "slow"});
  command.add_option("--bitrate", o.bitrate,
                     _("videos: a bit rate to aim at instead of --crf, such as 5M or 800k"));
  withChoices(command.add_option("--prores-profile", o.proresProfile,
                                 _("ProRes: the profile (default hq, 4444 with transparency)")),
              {"proxy", "lt", "standard", "hq", "4444"});
  withChoices(command.add_option("--even", o.even,
                                 _("videos whose codec needs even sides: pad an odd side with the "
                                   "background (default) or crop it")),
              {"pad", "crop"});
  command.add_option("--size", o.size,
                     _("compose at another size, WxH: the placements are scaled and the picture "
                       "centred"));
  command.add_option("--scale", o.scale, _("compose at the project's size times this factor"))
      ->check(CLI::PositiveNumber);
  command.add_option("--fps", o.fps,
                     _("another frame rate for the project's time, such as 60 or 30000/1001"));
  command
      .add_option("--loop", o.encode.loop,
                  _("animated GIF, WebP and PNG: how many times it plays (0, the default: for "
                    "ever)"))
      ->check(wholeNumber(0, 65535));
  withChoices(command.add_option("--gif-palette", o.gifPalette,
                                 _("GIF: a palette per frame (default) or one for all frames")),
              {"per-frame", "global"});
  completes(command.add_option("--dither", o.dither,
                               _("GIF: none, floyd (default) or a level from 0 to 1")),
            Completion::values({"none", "floyd"}));
  completes(command.add_option("--audio", o.audio,
                               _("videos: a sound track (any file FFmpeg reads), instead of the "
                                 "project's")),
            Completion::filesWith({"wav", "flac", "mp3", "ogg", "opus", "m4a", "aac"}));
  command.add_option("--audio-offset", o.audioOffset,
                     _("seconds from the animation's start to the sound's (negative cuts its "
                       "start)"));
  command.add_option("--audio-volume", o.audioVolume, _("the sound's gain (1 leaves it as it is)"))
      ->check(CLI::Range(0.0, 100.0));
  command.add_flag("--no-audio", o.noAudio, _("no sound track, even when the project has one"));
}

std::string applyExportOptions(const ExportOptions& o, ConversionSettings& settings) {
  EncodeOptions& encode = settings.encode;
  encode = o.encode;
  if (const VideoCodec* codec = findVideoCodec(o.codec)) encode.codec = codec->id;
  if (!o.preset.empty()) {
    encode.preset = o.preset == "slow"     ? video::Preset::Slow
                    : o.preset == "medium" ? video::Preset::Medium
                                           : video::Preset::Fast;
  }
  if (!o.bitrate.empty() && !parseBitrate(o.bitrate, encode.bitrate)) {
    return formatC(_("--bitrate takes bits per second such as 5M, 800k or 2500000, not %s"),
                   o.bitrate.c_str());
  }
  const std::pair<const char*, video::ProResProfile> profiles[] = {
      {"proxy", video::ProResProfile::Proxy},
      {"lt", video::ProResProfile::Lt},
      {"standard", video::ProResProfile::Standard},
      {"hq", video::ProResProfile::Hq},
      {"4444", video::ProResProfile::P4444}};
  for (const auto& [name, profile] : profiles) {
    if (o.proresProfile == name) encode.proresProfile = profile;
  }
  if (o.even == "crop") settings.even = EvenSides::Crop;
  encode.globalPalette = o.gifPalette == "global";
  if (!o.dither.empty()) {
    double level = 0.0;
    if (o.dither == "none") {
      encode.dither = 0.0f;
    } else if (o.dither == "floyd") {
      encode.dither = 1.0f;
    } else if (wholeText(o.dither, level) && level >= 0.0 && level <= 1.0) {
      encode.dither = static_cast<float>(level);
    } else {
      return formatC(_("--dither takes none, floyd or a level from 0 to 1, not %s"),
                     o.dither.c_str());
    }
  }
  if (!o.size.empty()) {
    std::pair<int, int> size;
    if (!parseSize(o.size, size)) {
      return formatC(_("--size takes WIDTHxHEIGHT such as 1920x1080, not %s"), o.size.c_str());
    }
    settings.size = size;
  }
  if (o.scale > 0.0) settings.scale = o.scale;
  if (settings.size && settings.scale) return _("give --size or --scale, not both");
  if (!o.fps.empty()) {
    float fps = 0.0f;
    if (!parseRate(o.fps, fps)) {
      return formatC(_("--fps takes a rate such as 24, 29.97 or 30000/1001, not %s"),
                     o.fps.c_str());
    }
    settings.fps = fps;
  }
  if (o.noAudio) {
    settings.sound = SoundTrack{};
  } else if (!o.audio.empty()) {
    std::error_code error;
    SoundTrack sound;
    sound.path = std::filesystem::absolute(o.audio, error).string();
    if (error) sound.path = o.audio;
    sound.offset = o.audioOffset;
    sound.volume = o.audioVolume;
    settings.sound = sound;
  } else if (o.command->get_option("--audio-offset")->count() > 0 ||
             o.command->get_option("--audio-volume")->count() > 0) {
    return _("--audio-offset and --audio-volume go with --audio");
  }
  // What was given on purpose, so that the run can say what its format does not use.
  for (int i = 0; i < kFormatOptionCount; ++i) {
    const auto option = static_cast<FormatOption>(i);
    const CLI::Option* flag = o.command->get_option_no_throw(formatOptionFlag(option));
    if (flag && flag->count() > 0) settings.given.push_back(option);
  }
  return {};
}

}  // namespace pelorix::cli
