// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace pelorix {

// The texts of Pelorix go through one gettext catalogue, domain "pelorix". The message ids are
// the Japanese texts (and English ones for messages of the command line), so without a
// catalogue, in the C locale or in Japanese the texts are what they always were.

// The text in the chosen language; the text itself when the catalogue has none.
const char* _(const char* text) __attribute__((format_arg(1)));
// A text marked for the catalogue but translated later (tables of texts).
constexpr const char* N_(const char* text) {
  return text;
}

// Chooses the language: `language` ("ja", "en", ...) or, when empty, the usual environment
// (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Numbers keep the C locale whatever is chosen. Call
// once, early, before other threads start.
void initLanguage(const std::string& language);
// The language whose texts are shown: "ja" (the texts themselves) or one with a catalogue.
const std::string& activeLanguage();
// Whether the language asked for (or one of the environment's) has a catalogue; false when the
// texts fell back to English.
bool languageFound();
// Where the catalogues are looked for.
const std::string& localeFolder();

}  // namespace pelorix
