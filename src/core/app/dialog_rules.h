// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace pelorix {

// The field rules of the editing dialogs.

// Layer number: the text must start with a signed decimal integer; what follows is ignored
// ("12abc" is 12). Nothing when it does not.
std::optional<int> leadingInteger(const std::string& text);

// Key colour channel: an unsigned decimal integer below 256 at the start of the text.
std::optional<int> leadingByte(const std::string& text);

// Project settings numbers: the whole text (blanks around it allowed) is one integer, so 12.5
// is refused.
std::optional<int> wholeInteger(const std::string& text);

// Numbers of the source dialog: the C library's atof rules (0 when there is no number).
float sourceNumber(const std::string& text);

// A number field of a dialog: what it is called (marked for the catalogue), the values it
// takes, and whether they are whole.
struct NumberField {
  const char* label;
  double low;
  double high;
  bool whole = false;
  bool fraction = false;  // "30000/1001" is a number too
};
// What a layer's number must be (not 0, and no other layer's), for the notice that refuses one.
extern const char* const kLayerNumberRule;  // translate with _()

// The source dialog's fields, and the project dialog's.
inline constexpr NumberField kFieldX{"X", -1e6, 1e6};
inline constexpr NumberField kFieldY{"Y", -1e6, 1e6};
extern const NumberField kFieldScale, kFieldRotation, kFieldDuration, kFieldOpacity;
extern const NumberField kFieldWidth, kFieldHeight, kFieldFps, kFieldAudioOffset, kFieldAudioVolume;

// A frame rate as the project dialog shows it: "12", "29.97" (a float's digits that matter).
std::string rateText(float fps);

// The number a field holds (the whole text one number in the C locale, within the range), or
// nothing with `problem` naming the field and its range.
std::optional<double> readNumberField(const std::string& text, const NumberField& field,
                                      std::string& problem);
// The same for a number already read: empty when the field takes it.
std::string numberFieldProblem(double value, const NumberField& field);

// The project settings' output format: nothing when Pelorix can write it (with the one-file
// option as set), else the message that says so and names the formats it knows.
std::optional<std::string> outputFormatProblem(const std::string& format, int projectOptions);

// Where the save folder browser starts: the folder as typed, relative ones below the project
// folder; the project folder when nothing is typed.
std::string folderBrowserStart(const std::string& saveFolder, const std::string& projectFolder);

// The path the source dialog stores for a picked image: relative to the project folder when the
// image lies below it, else the absolute path.
std::string storedImagePath(const std::string& picked, const std::string& projectFolder);

}  // namespace pelorix
