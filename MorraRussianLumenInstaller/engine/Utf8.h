#pragma once

#include <string_view>

namespace morra {

// Whether the bytes are well-formed UTF-8: no stray continuation bytes, no truncated sequences,
// no overlong forms, no encoded surrogates and nothing beyond U+10FFFF. U+0000 is allowed.
bool isValidUtf8(std::string_view text);

}  // namespace morra
