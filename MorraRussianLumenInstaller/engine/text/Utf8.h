#pragma once

#include <string>
#include <string_view>

namespace morra::text {

// Whether the bytes are well-formed UTF-8: no stray continuation bytes, no truncated sequences,
// no overlong forms, no encoded surrogates and nothing beyond U+10FFFF. U+0000 is allowed.
bool isValidUtf8(std::string_view text);

// The text with every byte that is not part of well-formed UTF-8 written as "\xNN" (upper-case
// hexadecimal), so that whatever a file or a path holds, the result is valid UTF-8. Valid text
// comes back unchanged.
std::string validUtf8(std::string_view text);

}  // namespace morra::text
