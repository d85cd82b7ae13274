#include "SuffixAnchors.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "ByteCompare.h"
#include "GramFilter.h"
#include "ParallelFor.h"
#include "SuffixIndex.h"

namespace morra::tools {

namespace {

class SuffixMatcher {
public:
    SuffixMatcher(std::string_view oldData, std::string_view newData, std::size_t indexChunkBytes,
                  std::size_t segmentBytes, unsigned threads)
        : old_(reinterpret_cast<const unsigned char*>(oldData.data())),
          new_(reinterpret_cast<const unsigned char*>(newData.data())),
          oldSize_(oldData.size()),
          newSize_(newData.size()),
          segmentBytes_(segmentBytes),
          threads_(threads),
          index_(oldData, indexChunkBytes, threads) {}

    std::vector<DifferAnchor> match() const {
        const std::uint64_t segment = std::max<std::size_t>(segmentBytes_, 1);
        const std::size_t count = static_cast<std::size_t>((newSize_ + segment - 1) / segment);
        std::vector<std::vector<DifferAnchor>> perSegment(count);
        parallelFor(count, threads_, [&](std::size_t i) {
            perSegment[i] = matchSegment(i * segment, std::min<std::uint64_t>(newSize_, (i + 1) * segment));
        });
        std::vector<DifferAnchor> anchors;
        for (const auto& part : perSegment) anchors.insert(anchors.end(), part.begin(), part.end());
        return anchors;
    }

private:
    // Whether new position `at` agrees with the old file at the given offset.
    bool agrees(std::uint64_t at, std::int64_t offset) const {
        const std::int64_t there = static_cast<std::int64_t>(at) + offset;
        return there >= 0 && static_cast<std::uint64_t>(there) < oldSize_ && old_[there] == new_[at];
    }

    // How many new positions in [from, to) agree with the old file at the given offset.
    std::uint64_t agreeing(std::uint64_t from, std::uint64_t to, std::int64_t offset) const {
        // Only positions whose old counterpart exists can agree.
        const std::int64_t low = std::max<std::int64_t>(static_cast<std::int64_t>(from), -offset);
        const std::int64_t high = std::min<std::int64_t>(static_cast<std::int64_t>(to), static_cast<std::int64_t>(oldSize_) - offset);
        if (low >= high) return 0;
        return equalCount(new_ + low, old_ + (low + offset), static_cast<std::uint64_t>(high - low));
    }

    // The longest match at a new position, or none when it is shorter than 8 bytes: such a match
    // can never start a run (that takes more than 8), so it is not worth the search. Where many
    // searches come back empty (new content that the old file does not have), a filter of the old
    // file's 8-byte strings is built once and spares most of them; it changes no result.
    SuffixIndex::Match longestAt(std::uint64_t scan) const {
        const bool filterable = newSize_ - scan >= GramFilter::kGram;
        if (filterable) {
            const GramFilter* filter = filter_.load(std::memory_order_acquire);
            if (filter && !filter->mayOccur(new_ + scan)) return {};
        }
        const SuffixIndex::Match match = index_.longest(new_ + scan, static_cast<std::size_t>(newSize_ - scan));
        if (match.length >= GramFilter::kGram) return match;
        if (filterable && fruitless_.fetch_add(1, std::memory_order_relaxed) + 1 == fruitlessBeforeFilter())
            buildFilter();
        return {};
    }

    std::uint64_t fruitlessBeforeFilter() const { return std::max<std::uint64_t>(1 << 16, oldSize_ / 256); }

    // Built by the thread that counts the last fruitless search before it; the others carry on
    // without it meanwhile.
    void buildFilter() const {
        filterStorage_ = std::make_unique<GramFilter>(
            std::string_view(reinterpret_cast<const char*>(old_), static_cast<std::size_t>(oldSize_)));
        filter_.store(filterStorage_.get(), std::memory_order_release);
    }

    // The anchors of one segment [begin, end) of the new file. Walking forward, each place is
    // searched for its longest match in the old file; `score` counts how many bytes of that
    // match's span the current run's offset already gets right. A match that is as good as the
    // current offset is skipped over whole; one that beats it by more than 8 bytes starts a new run.
    std::vector<DifferAnchor> matchSegment(std::uint64_t begin, std::uint64_t end) const {
        std::vector<DifferAnchor> anchors;
        const SuffixIndex::Match seed = longestAt(begin);
        std::int64_t offset = 0;
        if (seed.length > 0) {
            anchors.push_back({begin, seed.position});
            offset = static_cast<std::int64_t>(seed.position) - static_cast<std::int64_t>(begin);
        }
        std::uint64_t scan = begin, length = seed.length;
        for (;;) {
            scan += length;
            if (scan >= end) break;
            std::uint64_t counted = scan;  // [scan, counted) is counted in score
            std::uint64_t score = 0;
            SuffixIndex::Match found;
            bool stop = false;
            for (; scan < end; ++scan) {
                found = longestAt(scan);
                length = found.length;
                if (counted < scan + length) {
                    score += agreeing(counted, scan + length, offset);
                    counted = scan + length;
                }
                if ((length == score && length != 0) || length > score + 8) {
                    stop = true;
                    break;
                }
                if (scan < counted) {
                    if (agrees(scan, offset)) --score;
                } else {
                    counted = scan + 1;
                }
            }
            if (!stop) break;
            if (length != score) {
                anchors.push_back({scan, found.position});
                offset = static_cast<std::int64_t>(found.position) - static_cast<std::int64_t>(scan);
            }
        }
        return anchors;
    }

    const unsigned char* old_;
    const unsigned char* new_;
    std::uint64_t oldSize_;
    std::uint64_t newSize_;
    std::size_t segmentBytes_;
    unsigned threads_;
    SuffixIndex index_;
    mutable std::atomic<std::uint64_t> fruitless_{0};
    mutable std::unique_ptr<GramFilter> filterStorage_;
    mutable std::atomic<const GramFilter*> filter_{nullptr};
};

}  // namespace

std::vector<DifferAnchor> suffixAnchors(std::string_view oldData, std::string_view newData, std::size_t indexChunkBytes,
                                        std::size_t segmentBytes, unsigned threads, double& indexSeconds) {
    const auto start = std::chrono::steady_clock::now();
    const SuffixMatcher matcher(oldData, newData, indexChunkBytes, segmentBytes, threads);
    indexSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return matcher.match();
}

}  // namespace morra::tools
