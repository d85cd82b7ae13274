#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "DifferAnchor.h"

namespace morra::tools {

// Where the runs of a patch start, found as /usr/bin/bsdiff finds them: at each place in the new
// file, the longest match anywhere in the old file through suffix arrays (see SuffixIndex), and a
// new run where that match beats the current run's offset clearly. The new file is cut into
// segments of `segmentBytes` that are matched in parallel; a segment starts with the longest match
// at its first byte. The anchors depend on the chunk and segment sizes, never on the thread count.
// Memory: 4 bytes per old byte. `indexSeconds` receives the time the suffix sort took.
std::vector<DifferAnchor> suffixAnchors(std::string_view oldData, std::string_view newData, std::size_t indexChunkBytes,
                                        std::size_t segmentBytes, unsigned threads, double& indexSeconds);

}  // namespace morra::tools
