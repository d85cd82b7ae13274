#include "FingerprintIndex.h"

#include <algorithm>

namespace morra::tools {

FingerprintIndex::FingerprintIndex(std::string_view text, std::size_t step) {
    // Entries number blocks from 1 in their upper bits; at least 4 bits are left for the tag.
    constexpr std::uint64_t kMostBlocks = (std::uint64_t{1} << 28) - 2;
    const std::uint64_t size = text.size();
    step_ = static_cast<std::size_t>(std::max<std::uint64_t>({step, 1, (size + kMostBlocks - 1) / kMostBlocks}));
    const std::uint64_t blocks = size >= kBlock ? (size - kBlock) / step_ + 1 : 0;
    // Two to four entries per block, so buckets rarely overflow.
    const int bucketBits = std::max(1, static_cast<int>(std::bit_width(blocks / 2 > 0 ? blocks / 2 - 1 : 0)));
    bucketShift_ = 64 - bucketBits;
    tagBits_ = 32 - static_cast<int>(std::bit_width(blocks + 1));
    tagMask_ = (std::uint32_t{1} << tagBits_) - 1;
    const std::size_t slots = (std::size_t{1} << bucketBits) * kSlots;
    buckets_ = makeHugePageArray<std::uint32_t>(slots);
    std::fill_n(buckets_.get(), slots, 0u);
    // The buckets are filled in text order, each bucket's memory fetched a few blocks ahead: the
    // writes land all over the table, and waiting for each in turn would take most of the time.
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    constexpr std::uint64_t kAhead = 64;
    std::uint64_t prints[kAhead];
    for (std::uint64_t block = 0; block < blocks + kAhead; ++block) {
        if (block >= kAhead) file(block - kAhead, prints[block % kAhead]);
        if (block < blocks) {
            prints[block % kAhead] = fingerprint(bytes + block * step_);
            __builtin_prefetch(buckets_.get() + (prints[block % kAhead] >> bucketShift_) * kSlots, 1);
        }
    }
}

void FingerprintIndex::file(std::uint64_t block, std::uint64_t print) {
    std::uint32_t* bucket = buckets_.get() + (print >> bucketShift_) * kSlots;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        if (bucket[slot] != 0) continue;
        bucket[slot] = static_cast<std::uint32_t>((block + 1) << tagBits_) | (static_cast<std::uint32_t>(print) & tagMask_);
        return;
    }
}

}  // namespace morra::tools
