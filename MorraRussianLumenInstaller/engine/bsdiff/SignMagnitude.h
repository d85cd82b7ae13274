#pragma once

#include <cstdint>

namespace morra::bsdiff {

// The numbers of the BSDIFF40 format: 8 bytes, little-endian magnitude, the top bit of the last
// byte the sign.
inline std::int64_t decodeOffset(const unsigned char* bytes) {
    std::int64_t value = bytes[7] & 0x7f;
    for (int i = 6; i >= 0; --i) value = value * 256 + bytes[i];
    return (bytes[7] & 0x80) ? -value : value;
}

// Writes a number in the same form. The magnitude must fit in 63 bits.
inline void encodeOffset(std::int64_t value, unsigned char* bytes) {
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(magnitude & 0xff);
        magnitude >>= 8;
    }
    if (value < 0) bytes[7] |= 0x80;
}

}  // namespace morra::bsdiff
