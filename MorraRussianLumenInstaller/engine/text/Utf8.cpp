#include "text/Utf8.h"

#include <cstddef>

namespace morra::text {

namespace {

// The length of the well-formed UTF-8 character at index, or 0 when the byte there starts none.
std::size_t characterLength(std::string_view text, std::size_t index) {
    const std::size_t size = text.size();
    const unsigned char lead = static_cast<unsigned char>(text[index]);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (size - index < length) return 0;
    const unsigned char second = static_cast<unsigned char>(text[index + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t offset = 2; offset < length; ++offset) {
        const unsigned char next = static_cast<unsigned char>(text[index + offset]);
        if (next < 0x80 || next > 0xBF) return 0;
    }
    return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    for (std::size_t index = 0; index < text.size();) {
        const std::size_t length = characterLength(text, index);
        if (length == 0) return false;
        index += length;
    }
    return true;
}

std::string validUtf8(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (std::size_t index = 0; index < text.size();) {
        const std::size_t length = characterLength(text, index);
        if (length == 0) {
            const unsigned char byte = static_cast<unsigned char>(text[index]);
            result += "\\x";
            result += kDigits[byte >> 4];
            result += kDigits[byte & 0x0f];
            ++index;
        } else {
            result.append(text.substr(index, length));
            index += length;
        }
    }
    return result;
}

}  // namespace morra::text
