#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morra::tools {

// Where the time went, in seconds of wall time.
struct DifferTimings {
    double index = 0;     // indexing the old file
    double matching = 0;  // finding the runs
    double layout = 0;    // widening the runs into control entries
    double writing = 0;   // making and compressing the three streams
};

struct DifferOptions {
    // Worker threads; 0: one per core. The patch is the same whatever the count.
    unsigned threads = 0;
    // Old files below this size are matched through a suffix sort of the whole file, larger ones
    // through an index of the 32-byte blocks at every `fingerprintStep`-th position.
    std::size_t suffixSortBelow = std::size_t{8} << 20;
    std::size_t fingerprintStep = 16;
    // The old file is suffix-sorted in chunks of at most this size (see SuffixIndex), and the new file
    // is matched in segments of this size, each on its own. Both shape the patch; neither depends
    // on the machine.
    std::size_t indexChunkBytes = std::size_t{64} << 20;
    std::size_t segmentBytes = std::size_t{1} << 20;
    // When set, receives the time of each phase.
    DifferTimings* timings = nullptr;
};

// Makes a BSDIFF40 patch that turns oldData into newData, as /usr/bin/bsdiff does: the new file
// is described as runs that follow the old file at some offset (stored as bytewise differences,
// mostly zeros, so they compress well) and runs of bytes of its own. The patch is read by
// /usr/bin/bspatch and by the installer's applier; its three streams are bzip2-compressed.
//
// Where the runs start is found through an index of the old file's sampled 32-byte blocks (see
// fingerprintAnchors), or for old files under `suffixSortBelow` through suffix arrays, which also
// find short matches (see suffixAnchors). The runs are then widened forward and backward as far as
// they pay; runs that continue across a matching segment's end are joined again. Between two runs
// the new bytes the widening leaves are stored as they are.
// Memory: the two inputs, 0.5 to 1 byte per old byte for the block index (4 for the suffix arrays
// of small files), and the compressed streams.
std::string makeBsdiff(std::string_view oldData, std::string_view newData, const DifferOptions& options = {});

}  // namespace morra::tools
