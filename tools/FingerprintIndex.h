#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "HugePageMemory.h"

namespace morra::tools {

// Where blocks of a fixed text (the old file) lie: the 32-byte block at every `step`-th position
// of the text, filed by a fingerprint of its bytes. Any match of at least 32 + step - 1 bytes
// between the text and another string holds one such block whole, so looking up the block at every
// position of the other string finds every match of that length, at a cost of one lookup per
// position; the index takes 8 to 16 bytes per block, half a byte to a byte per text byte at
// the usual step of 16.
//
// The table has buckets of four entries; each entry holds a block's number and a few further bits
// of its fingerprint, so that most blocks that merely share a bucket are told apart without
// reading the text. Where more than four blocks share a bucket (a run of zeros, a table of equal
// records), the first four in the text are kept.
class FingerprintIndex {
public:
    static constexpr std::size_t kBlock = 32;

    FingerprintIndex(std::string_view text, std::size_t step);

    // Calls visit(position) for each indexed block that may equal the kBlock bytes at `block`, in
    // text order; the caller compares the bytes.
    template <class Visit>
    void forEachCandidate(const unsigned char* block, Visit&& visit) const {
        const std::uint64_t print = fingerprint(block);
        const std::uint32_t* bucket = buckets_.get() + (print >> bucketShift_) * kSlots;
        const std::uint32_t tag = static_cast<std::uint32_t>(print) & tagMask_;
        for (std::size_t slot = 0; slot < kSlots && bucket[slot] != 0; ++slot) {
            if ((bucket[slot] & tagMask_) != tag) continue;
            visit(static_cast<std::uint64_t>((bucket[slot] >> tagBits_) - 1) * step_);
        }
    }

    std::size_t step() const { return step_; }

private:
    static constexpr std::size_t kSlots = 4;

    void file(std::uint64_t block, std::uint64_t print);

    static std::uint64_t fingerprint(const unsigned char* block) {
        std::uint64_t words[4];
        std::memcpy(words, block, kBlock);
        const std::uint64_t mixed = (words[0] * 0x9e3779b97f4a7c15ULL) ^ std::rotl(words[1] * 0xc2b2ae3d27d4eb4fULL, 17) ^
                                    std::rotl(words[2] * 0x165667b19e3779f9ULL, 31) ^
                                    std::rotl(words[3] * 0xd6e8feb86659fd93ULL, 47);
        return (mixed ^ (mixed >> 29)) * 0xbf58476d1ce4e5b9ULL;
    }

    std::size_t step_;
    int bucketShift_ = 63;
    int tagBits_ = 0;
    std::uint32_t tagMask_ = 0;
    HugePageArray<std::uint32_t> buckets_;
};

}  // namespace morra::tools
