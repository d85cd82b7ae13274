#include "Utf8.h"

#include <cstddef>

namespace morra {

bool isValidUtf8(std::string_view text) {
    std::size_t index = 0;
    const std::size_t size = text.size();
    while (index < size) {
        const unsigned char lead = static_cast<unsigned char>(text[index]);
        if (lead < 0x80) {
            ++index;
            continue;
        }
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
            return false;
        }
        if (size - index < length) return false;
        const unsigned char second = static_cast<unsigned char>(text[index + 1]);
        if (second < low || second > high) return false;
        for (std::size_t offset = 2; offset < length; ++offset) {
            const unsigned char next = static_cast<unsigned char>(text[index + offset]);
            if (next < 0x80 || next > 0xBF) return false;
        }
        index += length;
    }
    return true;
}

}  // namespace morra
