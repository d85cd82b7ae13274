#pragma once

#include <cstdint>
#include <string>

#include "bsdiff/SignMagnitude.h"

namespace morra::tools {

// Appends a number in the patch format's 8-byte form.
inline void appendBsdiffOffset(std::string& out, std::int64_t value) {
    unsigned char bytes[8];
    bsdiff::encodeOffset(value, bytes);
    out.append(reinterpret_cast<const char*>(bytes), 8);
}

}  // namespace morra::tools
