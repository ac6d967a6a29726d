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
// (a Latin-1 file name, say) becomes the private-use character U+EF00 + byte, so the result is
// valid UTF-8 and utf8ToCp932 gives the byte back: such names survive a load and a save.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 to CP932, escaped bytes back to themselves; nothing when a character has no CP932 form.
std::optional<std::string> utf8ToCp932(std::string_view text);

// A text as a file system path: escaped bytes back to themselves, everything else as it is.
std::string toFileSystemPath(std::string_view text);

}  // namespace pelorix
