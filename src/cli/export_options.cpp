// SPDX-License-Identifier: GPL-3.0-or-later
#include "export_options.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "commands.h"
#include "output/format_options.h"
#include "output/formats.h"
#include "output/run_plan.h"

namespace pelorix::cli {
namespace {

// "29.97" or "30000/1001".
bool parseRate(const std::string& text, float& fps) {
  double value = 0.0;
  if (!pelorix::parseRate(text, value)) return false;
  fps = static_cast<float>(value);
  return value > 0.0 && std::isfinite(fps);
}

bool parseSize(const std::string& text, std::pair<int, int>& size) {
  const size_t x = text.find_first_of("xX");
  double width = 0.0, height = 0.0;
  if (x == std::string::npos || !parseNumber(text.substr(0, x), width) ||
      !parseNumber(text.substr(x + 1), height)) {
    return false;
  }
  if (width < 1 || height < 1 || width > 65535 || height > 65535 || width != std::floor(width) ||
      height != std::floor(height)) {
    return false;
  }
  size = {static_cast<int>(width), static_cast<int>(height)};
  return true;
}

// One encoder setting of the format table as an option: checked as its row says, completed
// with its choices.
void addFormatOption(CLI::App& command, const FormatOptionInfo& info, ExportOptions& o) {
  const std::string flag = info.flag();
  switch (info.kind) {
    case OptionKind::Switch:
      command.add_flag(flag, o.switches[info.option], _(info.help));
      return;
    case OptionKind::Whole:
      command.add_option(flag, o.given[info.option], _(info.help))
          ->check(wholeNumber(info.low, info.high))
          ->type_name("INT");
      return;
    case OptionKind::Choice: {
      std::vector<std::string> names;
      for (const OptionChoice& choice : info.choices())
        names.emplace_back(choice.name);
      withChoices(command.add_option(flag, o.given[info.option], _(info.help)), names)
          ->type_name("TEXT");
      return;
    }
    case OptionKind::Level: {
      std::vector<std::string> names;
      for (const OptionChoice& choice : info.choices())
        names.emplace_back(choice.name);
      completes(command.add_option(flag, o.given[info.option], _(info.help))->type_name("LEVEL"),
                Completion::values(names));
      return;
    }
    case OptionKind::Text:
      command.add_option(flag, o.given[info.option], _(info.help));
      return;
  }
}

}  // namespace

void addExportOptions(CLI::App& command, ExportOptions& o) {
  o.command = &command;
  for (const FormatOptionInfo& info : formatOptions())
    addFormatOption(command, info, o);
  command.add_option("--size", o.size,
                     _("compose at another size, WxH: the placements are scaled and the picture "
                       "centred"));
  command.add_option("--scale", o.scale, _("compose at the project's size times this factor"))
      ->type_name("FACTOR");
  command.add_option("--fps", o.fps,
                     _("another frame rate for the project's time, such as 60 or 30000/1001"));
  completes(command.add_option("--audio", o.audio,
                               _("videos: a sound track (any file FFmpeg reads), instead of the "
                                 "project's")),
            Completion::filesWith({"wav", "flac", "mp3", "ogg", "opus", "m4a", "aac"}));
  command.add_option("--audio-offset", o.audioOffset,
                     _("seconds from the animation's start to the sound's (negative cuts its "
                       "start)"));
  command.add_option("--audio-volume", o.audioVolume, _("the sound's gain (1 leaves it as it is)"))
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            double value = 0.0;
            if (parseNumber(text, value) && value >= 0.0 && value <= 100.0) return {};
            return formatC(_("a gain from 0 to 100, not %s"), text.c_str());
          },
          "GAIN 0-100"));
  command.add_flag("--no-audio", o.noAudio, _("no sound track, even when the project has one"));
}

std::string applyExportOptions(const ExportOptions& o, ConversionSettings& settings) {
  EncodeOptions& encode = settings.encode;
  for (const FormatOptionInfo& info : formatOptions()) {
    const CLI::Option* option = o.command->get_option_no_throw(info.flag());
    if (!option || option->count() == 0) continue;
    // What was given on purpose, so that the run can say what its format does not use.
    settings.given.push_back(info.option);
    const auto text = o.given.find(info.option);
    const std::string value = info.kind == OptionKind::Switch ? "1" : text->second;
    const std::string flag = info.flag();
    if (std::string problem = info.set(value, encode, flag.c_str()); !problem.empty())
      return problem;
  }
  if (!o.size.empty()) {
    std::pair<int, int> size;
    if (!parseSize(o.size, size)) {
      return formatC(_("--size takes WIDTHxHEIGHT such as 1920x1080, not %s"), o.size.c_str());
    }
    settings.size = size;
  }
  if (o.command->get_option("--scale")->count() > 0) settings.scale = o.scale;
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
    settings.audio = AudioTrack{};
  } else if (!o.audio.empty()) {
    if (!std::isfinite(o.audioOffset)) {
      return formatC(_("--audio-offset takes a number of seconds, not %g"), o.audioOffset);
    }
    std::error_code error;
    AudioTrack audio;
    audio.path = std::filesystem::absolute(o.audio, error).string();
    if (error) audio.path = o.audio;
    audio.offset = o.audioOffset;
    audio.volume = o.audioVolume;
    settings.audio = audio;
  } else if (o.command->get_option("--audio-offset")->count() > 0 ||
             o.command->get_option("--audio-volume")->count() > 0) {
    return _("--audio-offset and --audio-volume go with --audio");
  }
  return {};
}

}  // namespace pelorix::cli
