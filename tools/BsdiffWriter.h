#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Bzip2Compressor.h"

namespace morra::tools {

// One control entry of a BSDIFF40 patch: `add` bytes made by adding the diff block to the old
// file at the current old position, then `copy` bytes taken from the extra block, then the old
// position moves by `seek` (which may be negative).
struct BsdiffControl {
    std::uint64_t add = 0;
    std::uint64_t copy = 0;
    std::int64_t seek = 0;
};

// Writes a BSDIFF40 patch that turns oldData into newData through the given controls. The sum of
// add and copy over all controls must equal newData's size. Old bytes read past the old file's
// end count as zero, as the applier does. Throws std::invalid_argument on inconsistent controls.
std::string makeBsdiffPatch(std::string_view oldData, std::string_view newData,
                            const std::vector<BsdiffControl>& controls);

// Controls for a whole-file patch: the common length as one diff run, the rest as extra bytes.
// Split into runs of at most `runLength` bytes so that patches exercise many control entries.
std::vector<BsdiffControl> wholeFileControls(std::uint64_t oldSize, std::uint64_t newSize,
                                             std::uint64_t runLength = 1 << 20);

}  // namespace morra::tools
