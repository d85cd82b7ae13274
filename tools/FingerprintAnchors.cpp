#include "FingerprintAnchors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ByteCompare.h"

namespace morra::tools {

namespace {

struct Match {
    std::uint64_t scan = 0;
    std::uint64_t position = 0;
    std::uint64_t length = 0;
};

class FingerprintMatcher {
public:
    FingerprintMatcher(std::string_view oldData, std::string_view newData, const FingerprintIndex& index)
        : old_(reinterpret_cast<const unsigned char*>(oldData.data())),
          new_(reinterpret_cast<const unsigned char*>(newData.data())),
          oldSize_(oldData.size()),
          newSize_(newData.size()),
          index_(index) {}

    std::vector<DifferAnchor> match() const {
        std::vector<DifferAnchor> anchors;
        // The first run follows the old file from its start.
        std::int64_t offset = 0;
        // New bytes before `floor` belong to a run already; a match is not extended back into them.
        std::uint64_t floor = 0;
        for (std::uint64_t scan = 0; scan + FingerprintIndex::kBlock <= newSize_;) {
            const std::uint64_t same = sameAt(scan, offset);
            if (same >= 8) {
                scan += same;
                floor = scan;
                continue;
            }
            const Match found = longestAt(scan, floor, offset);
            if (found.length == 0) {
                ++scan;
                continue;
            }
            const std::int64_t foundOffset = static_cast<std::int64_t>(found.position) - static_cast<std::int64_t>(found.scan);
            if (foundOffset != offset && agreeing(found.scan, found.length, offset) + 8 < found.length) {
                anchors.push_back({found.scan, found.position});
                offset = foundOffset;
            }
            scan = found.scan + found.length;
            floor = scan;
        }
        return anchors;
    }

private:
    // How many bytes from new position `scan` on are equal to the old file's at the given offset.
    std::uint64_t sameAt(std::uint64_t scan, std::int64_t offset) const {
        const std::int64_t there = static_cast<std::int64_t>(scan) + offset;
        if (there < 0 || static_cast<std::uint64_t>(there) >= oldSize_) return 0;
        const std::uint64_t limit = std::min(newSize_ - scan, oldSize_ - static_cast<std::uint64_t>(there));
        return commonPrefix(new_ + scan, old_ + there, static_cast<std::size_t>(limit));
    }

    // How many of the `length` new bytes from `scan` on agree with the old file at the given offset.
    std::uint64_t agreeing(std::uint64_t scan, std::uint64_t length, std::int64_t offset) const {
        const std::int64_t low = std::max<std::int64_t>(static_cast<std::int64_t>(scan), -offset);
        const std::int64_t high = std::min<std::int64_t>(static_cast<std::int64_t>(scan + length),
                                                         static_cast<std::int64_t>(oldSize_) - offset);
        if (low >= high) return 0;
        return equalCount(new_ + low, old_ + (low + offset), static_cast<std::uint64_t>(high - low));
    }

    // The longest exact match through the block at new position `scan`, reaching back at most to
    // `floor`; length 0 when the block occurs nowhere in the old file. Among equally long ones (the
    // same bytes in several places) the one whose offset is nearest the current one wins: a shift
    // by a few inserted or deleted bytes, not a jump to another copy.
    Match longestAt(std::uint64_t scan, std::uint64_t floor, std::int64_t offset) const {
        Match best;
        const unsigned char* block = new_ + scan;
        index_.forEachCandidate(block, [&](std::uint64_t position) {
            if (std::memcmp(old_ + position, block, FingerprintIndex::kBlock) != 0) return;
            const std::uint64_t forward = commonPrefix(block, old_ + position, static_cast<std::size_t>(std::min(newSize_ - scan, oldSize_ - position)));
            const std::uint64_t backward = commonSuffix(block, old_ + position, static_cast<std::size_t>(std::min(scan - floor, position)));
            const Match match{scan - backward, position - backward, forward + backward};
            if (match.length > best.length || (match.length == best.length && distance(match, offset) < distance(best, offset)))
                best = match;
        });
        return best;
    }

    static std::uint64_t distance(const Match& match, std::int64_t offset) {
        const std::int64_t shift = static_cast<std::int64_t>(match.position) - static_cast<std::int64_t>(match.scan) - offset;
        return static_cast<std::uint64_t>(shift < 0 ? -shift : shift);
    }

    const unsigned char* old_;
    const unsigned char* new_;
    std::uint64_t oldSize_;
    std::uint64_t newSize_;
    const FingerprintIndex& index_;
};

}  // namespace

std::vector<DifferAnchor> fingerprintAnchors(std::string_view oldData, std::string_view newData, const FingerprintIndex& index) {
    return FingerprintMatcher(oldData, newData, index).match();
}

}  // namespace morra::tools
