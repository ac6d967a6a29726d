#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pelorix {

// The encodings a project file can be in. Texts are UTF-8 in memory.
enum class TextEncoding { Utf8, Cp932 };

const char* encodingName(TextEncoding encoding);

bool isValidUtf8(std::string_view bytes);

// CP932 (Shift-JIS as Windows writes it) to UTF-8; a byte sequence that is not CP932 becomes
// U+FFFD, so the result is always valid UTF-8.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-8 to CP932; nothing when a character has no CP932 form.
std::optional<std::string> utf8ToCp932(std::string_view text);

}  // namespace pelorix
