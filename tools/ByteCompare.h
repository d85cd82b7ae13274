#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace morra::tools {

// Length of the common prefix of a and b, at most `size` bytes.
inline std::size_t commonPrefix(const unsigned char* a, const unsigned char* b, std::size_t size) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= size; i += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y) return i + static_cast<std::size_t>(std::countr_zero(x ^ y)) / 8;
        }
    }
    while (i < size && a[i] == b[i]) ++i;
    return i;
}

// How many bytes before aEnd and bEnd are equal, at most `size`.
inline std::size_t commonSuffix(const unsigned char* aEnd, const unsigned char* bEnd, std::size_t size) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= size; i += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, aEnd - i - 8, 8);
            std::memcpy(&y, bEnd - i - 8, 8);
            if (x != y) return i + static_cast<std::size_t>(std::countl_zero(x ^ y)) / 8;
        }
    }
    while (i < size && aEnd[-1 - static_cast<std::ptrdiff_t>(i)] == bEnd[-1 - static_cast<std::ptrdiff_t>(i)]) ++i;
    return i;
}

// How many of the eight bytes of x and y are equal.
inline int equalBytes(std::uint64_t x, std::uint64_t y) {
    const std::uint64_t t = x ^ y;
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7fULL;
    return std::popcount(~(((t & low7) + low7) | t | low7));
}

// How many of the `size` bytes at a and b are equal.
inline std::uint64_t equalCount(const unsigned char* a, const unsigned char* b, std::uint64_t size) {
    std::uint64_t count = 0, i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        count += static_cast<std::uint64_t>(equalBytes(x, y));
    }
    for (; i < size; ++i) count += a[i] == b[i];
    return count;
}

}  // namespace morra::tools
