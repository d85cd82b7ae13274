#pragma once

#include <cstdint>

namespace morra::tools {

// A place where a run of the patch starts: new position `scan` follows the old file from
// `position` on.
struct DifferAnchor {
    std::uint64_t scan;
    std::uint64_t position;
};

}  // namespace morra::tools
