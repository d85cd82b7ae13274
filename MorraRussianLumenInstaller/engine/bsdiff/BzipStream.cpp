#include "bsdiff/BzipStream.h"

#include <algorithm>
#include <string>

namespace morra::bsdiff {

namespace {
constexpr std::size_t kInputBufferSize = 1 << 16;  // compressed bytes read from the patch at a time
}  // namespace

BzipStream::BzipStream(BsdiffInput& patch, std::uint64_t offset)
    : patch_(patch), position_(offset), end_(patch.size()), input_(kInputBufferSize) {
    const int error = BZ2_bzDecompressInit(&stream_, 0, 0);
    if (error != BZ_OK) throw BsdiffError("bspatch: BZ2_bzReadOpen, bz2err = " + std::to_string(error) + "\n");
}

BzipStream::~BzipStream() { BZ2_bzDecompressEnd(&stream_); }

bool BzipStream::read(unsigned char* buffer, unsigned size) {
    if (size == 0) return true;
    if (failed_) return false;
    stream_.next_out = reinterpret_cast<char*>(buffer);
    stream_.avail_out = size;
    for (;;) {
        if (stream_.avail_in == 0 && position_ < end_) {
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(input_.size(), end_ - position_));
            const std::size_t count = patch_.readAt(position_, input_.data(), wanted);
            if (count == 0) {
                end_ = position_;  // the patch is shorter than it was
            } else {
                position_ += count;
                stream_.next_in = input_.data();
                stream_.avail_in = static_cast<unsigned>(count);
            }
        }
        const int result = BZ2_bzDecompress(&stream_);
        if (result != BZ_OK && result != BZ_STREAM_END) return fail();
        if (result == BZ_OK && position_ >= end_ && stream_.avail_in == 0 && stream_.avail_out > 0) return fail();
        if (result == BZ_STREAM_END) return stream_.avail_out == 0 || fail();
        if (stream_.avail_out == 0) return true;
    }
}

bool BzipStream::fail() {
    failed_ = true;
    return false;
}

}  // namespace morra::bsdiff
