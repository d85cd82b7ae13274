#pragma once

#include <bzlib.h>

#include <cstdint>
#include <vector>

#include "bsdiff/BsdiffApplier.h"

namespace morra::bsdiff {

// One bzip2 stream of a patch, from its offset to the end of the patch, read as BZ2_bzRead reads
// a stream opened on a FILE positioned there (the tool's own way of reading its patch).
class BzipStream {
public:
    BzipStream(BsdiffInput& patch, std::uint64_t offset);
    ~BzipStream();
    BzipStream(const BzipStream&) = delete;
    BzipStream& operator=(const BzipStream&) = delete;

    // Decompresses exactly `size` bytes. False when a BZ2_bzRead call of that length would fail or
    // return fewer bytes; after a failure every later read fails too. Splitting one read into
    // several consecutive reads gives the same answer: the decoder is a resumable state machine,
    // and the end of the last piece is where the single read would have stopped.
    bool read(unsigned char* buffer, unsigned size);

private:
    bool fail();

    bz_stream stream_{};
    BsdiffInput& patch_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::vector<char> input_;
    bool failed_ = false;
};

}  // namespace morra::bsdiff
