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
    buckets_.reset(new std::uint32_t[slots]());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::uint64_t block = 0; block < blocks; ++block) {
        const std::uint64_t print = fingerprint(bytes + block * step_);
        std::uint32_t* bucket = buckets_.get() + (print >> bucketShift_) * kSlots;
        for (std::size_t slot = 0; slot < kSlots; ++slot) {
            if (bucket[slot] != 0) continue;
            bucket[slot] = static_cast<std::uint32_t>((block + 1) << tagBits_) | (static_cast<std::uint32_t>(print) & tagMask_);
            break;
        }
    }
}

}  // namespace morra::tools
