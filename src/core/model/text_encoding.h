// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelorix {

// The encodings a project file can be in. Texts are UTF-8 in memory.
enum class TextEncoding { Utf8, Cp932 };

const char* encodingName(TextEncoding encoding);

bool isValidUtf8(std::string_view bytes);

// CP932 (Shift-JIS as Windows writes it) to UTF-8. A byte that does not start a CP932 character
// (a Latin-1 file name, say) is kept as an escape no text can hold: the encoding of the lone
// surrogate U+DC00 + byte, which valid UTF-8 never contains (so a UTF-8 file's characters are
// never taken for escapes). utf8ToCp932 and toFileSystemPath give the byte back: such names
// survive a load and a save, and name the same file.
std::string cp932ToUtf8(std::string_view bytes);

// Whether a text holds such escapes (it cannot then be written as UTF-8).
bool hasByteEscapes(std::string_view text);

// UTF-8 to CP932, escaped bytes back to themselves; nothing when a character has no CP932 form.
std::optional<std::string> utf8ToCp932(std::string_view text);

// A text as a file system path: escaped bytes back to themselves, everything else as it is.
std::string toFileSystemPath(std::string_view text);

}  // namespace pelorix
