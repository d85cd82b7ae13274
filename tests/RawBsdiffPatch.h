#pragma once

// BSDIFF40 patches written byte by byte, malformed ones included, for the tests and the fuzzer.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BsdiffOffset.h"
#include "Bzip2Compressor.h"

namespace morra::test {

inline std::string offsetBytes(std::int64_t value) {
    std::string bytes;
    tools::appendBsdiffOffset(bytes, value);
    return bytes;
}

// A control entry with any values, negative ones included.
struct RawControl {
    std::int64_t add = 0, copy = 0, seek = 0;
};

inline std::string controlBlock(const std::vector<RawControl>& controls) {
    std::string block;
    for (const RawControl& c : controls) block += offsetBytes(c.add) + offsetBytes(c.copy) + offsetBytes(c.seek);
    return block;
}

// Header and three compressed blocks; the header's block lengths default to the real ones.
inline std::string assemblePatch(const std::string& control, const std::string& diff, const std::string& extra,
                                 std::int64_t newSize, std::optional<std::int64_t> controlLength = std::nullopt,
                                 std::optional<std::int64_t> diffLength = std::nullopt) {
    return "BSDIFF40" + offsetBytes(controlLength.value_or(static_cast<std::int64_t>(control.size()))) +
           offsetBytes(diffLength.value_or(static_cast<std::int64_t>(diff.size()))) + offsetBytes(newSize) + control +
           diff + extra;
}

inline std::string rawPatch(const std::vector<RawControl>& controls, const std::string& diff, const std::string& extra,
                            std::int64_t newSize) {
    return assemblePatch(tools::bzip2Compress(controlBlock(controls)), tools::bzip2Compress(diff),
                         tools::bzip2Compress(extra), newSize);
}

}  // namespace morra::test
