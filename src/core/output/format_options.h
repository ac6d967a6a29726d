// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder settings output formats take: one row each with its name, range, default, help
// and dialog label. The command line's options, the export dialog's rows and the saved export
// choices are made from these rows; which formats and codecs use a setting is said by their own
// rows (output/formats.h).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "output/encode_options.h"
#include "output/format_option_set.h"

namespace pelorix {

// How a setting's value is given.
enum class OptionKind {
  Whole,   // a whole number from `low` to `high`
  Level,   // a number from 0 to 1; the command line also takes the names of `choices`
  Choice,  // one of `choices`, by name
  Switch,  // on or off; the command line's flag turns it on
  Text,    // a text the setting reads itself (a bit rate)
};

struct OptionChoice {
  std::string_view name;  // what the command line and the saved choices say: "slow"
  const char* label;      // what the dialog shows (translate with _())
  double level = 0.0;     // Level: the number the name stands for
};

struct FormatOptionInfo {
  FormatOption option;
  std::string_view name;      // the command line's option without its dashes: "png-level"
  std::string_view savedKey;  // its key in the export dialog's saved choices
  const char* label;          // the export dialog's row (translate with _())
  const char* help;           // the command line's help (translate with _())
  OptionKind kind;
  int low = 0;  // Whole: the range
  int high = 0;
  // Whole: the lowest value the dialog offers (below `low` for "the codec's own") and what it
  // shows there; Choice: what the dialog shows for "not chosen" (none: the first choice is the
  // default); Text: the dialog's hint for an empty field.
  int dialogLow = 0;
  const char* specialLabel = nullptr;
  std::span<const OptionChoice> (*choices)() = nullptr;
  // The value in `encode` as text ("" for "not chosen"); and the value `text` put into it, ""
  // or why not: the problem names the setting as `named` (the flag or the dialog's label).
  std::string (*get)(const EncodeOptions& encode) = nullptr;
  std::string (*set)(std::string_view text, EncodeOptions& encode, const char* named) = nullptr;

  std::string flag() const { return "--" + std::string(name); }
};

// Every setting, in the order of FormatOption.
std::span<const FormatOptionInfo> formatOptions();
const FormatOptionInfo& formatOptionInfo(FormatOption option);
// The command-line option of a setting ("--crf").
const char* formatOptionFlag(FormatOption option);

}  // namespace pelorix
