// SPDX-License-Identifier: GPL-3.0-or-later
// The table of encoder settings.
#include "output/format_options.h"

#include <cmath>
#include <vector>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "output/video_codecs.h"

namespace pelorix {
namespace {

using enum FormatOption;

// A choice by its name, or (the export dialog's choices saved by earlier versions) by the number
// of its value, `first` being the number of the first choice.
template <typename Value>
bool pickChoice(std::string_view text, std::span<const OptionChoice> choices, int first,
                Value& value) {
  for (size_t i = 0; i < choices.size(); ++i) {
    if (text == choices[i].name) {
      value = static_cast<Value>(first + static_cast<int>(i));
      return true;
    }
  }
  double number = 0.0;
  if (!parseNumber(text, number) || number != std::floor(number)) return false;
  // The numbers run from 0 ("not chosen" when the first choice is 1) to the last choice's.
  if (number < 0 || number > first + static_cast<int>(choices.size()) - 1) return false;
  value = static_cast<Value>(static_cast<int>(number));
  return true;
}

std::string choiceName(std::span<const OptionChoice> choices, int first, int value) {
  const int index = value - first;
  if (index < 0 || index >= static_cast<int>(choices.size())) return {};
  return std::string(choices[static_cast<size_t>(index)].name);
}

std::string notOneOf(const char* named, std::span<const OptionChoice> choices,
                     std::string_view text) {
  std::string names;
  for (const OptionChoice& choice : choices) {
    if (!names.empty()) names += ", ";
    names += choice.name;
  }
  return formatC(_("%s takes %s, not %.*s"), named, names.c_str(), static_cast<int>(text.size()),
                 text.data());
}

std::string wholeProblem(const char* named, int low, int high, std::string_view text) {
  return formatC(_("%s takes a whole number from %d to %d, not %.*s"), named, low, high,
                 static_cast<int>(text.size()), text.data());
}

// A whole number of a setting's range (or its dialog's "the codec's own" below it).
template <FormatOption option>
bool readWhole(std::string_view text, int& value) {
  const FormatOptionInfo& info = formatOptionInfo(option);
  double number = 0.0;
  if (!parseNumber(text, number) || number != std::floor(number) || number < info.dialogLow ||
      number > info.high) {
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// "5M", "800k", "2500000": bits per second.
bool parseBitrate(std::string_view text, int64_t& bits) {
  if (text.empty()) return false;
  double factor = 1.0;
  switch (text.back()) {
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
  if (factor != 1.0) text.remove_suffix(1);
  double value = 0.0;
  if (!parseNumber(text, value) || value * factor < 1000.0 || value * factor > 1e10) return false;
  bits = std::llround(value * factor);
  return true;
}

constexpr OptionChoice kPresets[] = {
    {"fast", N_("速い")}, {"medium", N_("普通")}, {"slow", N_("遅い (小さい)")}};
constexpr OptionChoice kProfiles[] = {
    {"proxy", "proxy"}, {"lt", "lt"}, {"standard", "standard"}, {"hq", "hq"}, {"4444", "4444"}};
constexpr OptionChoice kEven[] = {{"pad", N_("背景で広げる")}, {"crop", N_("切り詰める")}};
constexpr OptionChoice kPalettes[] = {{"per-frame", N_("画面ごと")},
                                      {"global", N_("全画面で一つ")}};
constexpr OptionChoice kDither[] = {{"none", N_("なし"), 0.0}, {"floyd", "Floyd-Steinberg", 1.0}};

std::span<const OptionChoice> codecChoices() {
  static const std::vector<OptionChoice> choices = [] {
    std::vector<OptionChoice> all;
    for (const VideoCodec& codec : videoCodecs())
      all.push_back({codec.name, codec.label});
    return all;
  }();
  return choices;
}

template <const auto& table>
std::span<const OptionChoice> listed() {
  return table;
}

// The rows' readers and writers, one pair per setting.
template <FormatOption option, int ImageEncodeOptions::*field>
std::string getImageWhole(const EncodeOptions& e) {
  return std::to_string(e.*field);
}
template <FormatOption option, int ImageEncodeOptions::*field>
std::string setImageWhole(std::string_view text, EncodeOptions& e, const char* named) {
  const FormatOptionInfo& info = formatOptionInfo(option);
  return readWhole<option>(text, e.*field) ? std::string()
                                           : wholeProblem(named, info.low, info.high, text);
}
template <FormatOption option, int EncodeOptions::*field>
std::string getWhole(const EncodeOptions& e) {
  return std::to_string(e.*field);
}
template <FormatOption option, int EncodeOptions::*field>
std::string setWhole(std::string_view text, EncodeOptions& e, const char* named) {
  const FormatOptionInfo& info = formatOptionInfo(option);
  return readWhole<option>(text, e.*field) ? std::string()
                                           : wholeProblem(named, info.low, info.high, text);
}
template <bool EncodeOptions::*field>
std::string getSwitch(const EncodeOptions& e) {
  return e.*field ? "1" : "0";
}
template <bool EncodeOptions::*field>
std::string setSwitch(std::string_view text, EncodeOptions& e, const char* named) {
  if (text != "0" && text != "1") {
    return formatC(_("%s is on (1) or off (0), not %.*s"), named, static_cast<int>(text.size()),
                   text.data());
  }
  e.*field = text == "1";
  return {};
}
// A choice whose first value (0) is "not chosen" (`first` 1), or whose first choice is the value
// 0 (`first` 0).
template <auto field, const auto& table, int first>
std::string getChoice(const EncodeOptions& e) {
  return choiceName(table, first, static_cast<int>(e.*field));
}
template <auto field, const auto& table, int first>
std::string setChoice(std::string_view text, EncodeOptions& e, const char* named) {
  return pickChoice(text, table, first, e.*field) ? std::string() : notOneOf(named, table, text);
}

std::string getCodec(const EncodeOptions& e) {
  return choiceName(codecChoices(), 1, static_cast<int>(e.codec));
}
std::string setCodec(std::string_view text, EncodeOptions& e, const char* named) {
  return pickChoice(text, codecChoices(), 1, e.codec) ? std::string()
                                                      : notOneOf(named, codecChoices(), text);
}

std::string getBitrate(const EncodeOptions& e) {
  return e.bitrate > 0 ? std::to_string(e.bitrate) : std::string();
}
std::string setBitrate(std::string_view text, EncodeOptions& e, const char* named) {
  if (text.empty() || text == "0") {
    e.bitrate = 0;
    return {};
  }
  if (parseBitrate(text, e.bitrate)) return {};
  return formatC(_("%s takes bits per second such as 5M, 800k or 2500000, not %.*s"), named,
                 static_cast<int>(text.size()), text.data());
}

std::string getDither(const EncodeOptions& e) {
  return formatC("%g", static_cast<double>(e.dither));
}
std::string setDither(std::string_view text, EncodeOptions& e, const char* named) {
  for (const OptionChoice& choice : kDither) {
    if (text == choice.name) {
      e.dither = static_cast<float>(choice.level);
      return {};
    }
  }
  double level = 0.0;
  if (parseNumber(text, level) && level >= 0.0 && level <= 1.0) {
    e.dither = static_cast<float>(level);
    return {};
  }
  return formatC(_("%s takes none, floyd or a level from 0 to 1, not %.*s"), named,
                 static_cast<int>(text.size()), text.data());
}

using OK = OptionKind;
using E = EncodeOptions;
using I = ImageEncodeOptions;

const FormatOptionInfo kOptions[] = {
    {Quality, "quality", "quality", N_("品質"), N_("JPEG and WebP quality, 1 to 100"), OK::Whole, 1,
     100, 1, nullptr, nullptr, getImageWhole<Quality, &I::quality>,
     setImageWhole<Quality, &I::quality>},
    {PngLevel, "png-level", "pngLevel", N_("PNG 圧縮レベル"),
     N_("PNG compression level 0-9: 1 (default; 7 for APNG) is the fastest, higher levels up to "
        "7 give smaller files (8 and 9 are 7)"),
     OK::Whole, 0, 9, 0, nullptr, nullptr, getImageWhole<PngLevel, &I::pngLevel>,
     setImageWhole<PngLevel, &I::pngLevel>},
    {Crf, "crf", "crf", N_("品質 (CRF)"),
     N_("videos: constant rate factor, lower is better (default 23 for H.264, 28 for H.265, 35 "
        "for AV1, 31 for VP9)"),
     OK::Whole, 0, 63, -1, N_("既定"), nullptr, getWhole<Crf, &E::crf>, setWhole<Crf, &E::crf>},
    {Lossless, "lossless", "lossless", N_("劣化なし"), N_("animated WebP: lossless"), OK::Switch, 0,
     0, 0, nullptr, nullptr, getSwitch<&E::lossless>, setSwitch<&E::lossless>},
    {Codec, "codec", "codec", N_("コーデック"),
     N_("videos: the codec (MP4: h264, h265, av1; WebM: vp9, av1; MOV: prores, h264, h265; MKV: "
        "any)"),
     OK::Choice, 0, 0, 0, nullptr, codecChoices, getCodec, setCodec},
    {Preset, "preset", "preset", N_("速さ"),
     N_("videos: the encoder's speed against size (default fast)"), OK::Choice, 0, 0, 0, nullptr,
     listed<kPresets>, getChoice<&E::preset, kPresets, 1>, setChoice<&E::preset, kPresets, 1>},
    {Bitrate, "bitrate", "bitrate", N_("ビットレート"),
     N_("videos: a bit rate to aim at instead of --crf, such as 5M or 800k"), OK::Text, 0, 0, 0,
     N_("なし (CRF)"), nullptr, getBitrate, setBitrate},
    {ProResProfile, "prores-profile", "prores", N_("ProRes プロファイル"),
     N_("ProRes: the profile (default hq, 4444 with transparency)"), OK::Choice, 0, 0, 0,
     N_("既定"), listed<kProfiles>, getChoice<&E::proresProfile, kProfiles, 1>,
     setChoice<&E::proresProfile, kProfiles, 1>},
    {Even, "even", "even", N_("奇数の辺"),
     N_("videos whose codec needs even sides: pad an odd side with the background (default) or "
        "crop it"),
     OK::Choice, 0, 0, 0, nullptr, listed<kEven>, getChoice<&E::even, kEven, 0>,
     setChoice<&E::even, kEven, 0>},
    {Loop, "loop", "loop", N_("再生回数"),
     N_("animated GIF, WebP and PNG: how many times it plays (0, the default: for ever)"),
     OK::Whole, 0, 65535, 0, N_("無限"), nullptr, getWhole<Loop, &E::loop>,
     setWhole<Loop, &E::loop>},
    {GifPalette, "gif-palette", "globalPalette", N_("パレット"),
     N_("GIF: a palette per frame (default) or one for all frames"), OK::Choice, 0, 0, 0, nullptr,
     listed<kPalettes>, getChoice<&E::globalPalette, kPalettes, 0>,
     setChoice<&E::globalPalette, kPalettes, 0>},
    {Dither, "dither", "dither", N_("ディザリング"),
     N_("GIF: none, floyd (default) or a level from 0 to 1"), OK::Level, 0, 0, 0, nullptr,
     listed<kDither>, getDither, setDither},
};
static_assert(std::size(kOptions) == kFormatOptionCount);

}  // namespace

std::span<const FormatOptionInfo> formatOptions() {
  return kOptions;
}

const FormatOptionInfo& formatOptionInfo(FormatOption option) {
  return kOptions[static_cast<size_t>(option)];
}

const char* formatOptionFlag(FormatOption option) {
  static const std::vector<std::string> flags = [] {
    std::vector<std::string> all;
    for (const FormatOptionInfo& info : kOptions)
      all.push_back(info.flag());
    return all;
  }();
  return flags[static_cast<size_t>(option)].c_str();
}

}  // namespace pelorix
