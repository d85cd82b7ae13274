#include "BsdiffDiffer.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "BsdiffOffset.h"
#include "Bzip2Compressor.h"
#include "GramFilter.h"
#include "ParallelFor.h"
#include "SuffixIndex.h"

namespace morra::tools {

namespace {

// A place where a new run starts: new position `scan` follows the old file from `position` on.
struct Anchor {
    std::uint64_t scan;
    std::uint64_t position;
};

// One control entry with where its bytes come from.
struct Run {
    std::uint64_t newStart;
    std::uint64_t oldStart;
    std::uint64_t add;   // bytes of the new file made from the old one plus a difference
    std::uint64_t copy;  // bytes of the new file stored as they are
    std::int64_t seek;   // then the old position moves by this much
};

// How many bytes before a_end and b_end are equal, at most `size`.
std::size_t commonSuffix(const unsigned char* aEnd, const unsigned char* bEnd, std::size_t size) {
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= size; i += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, aEnd - i - 8, 8);
            std::memcpy(&y, bEnd - i - 8, 8);
            if (x != y) return i + static_cast<std::size_t>(std::countl_zero(x ^ y)) / 8;
        }
    }
    while (i < size && aEnd[-1 - static_cast<std::ptrdiff_t>(i)] == bEnd[-1 - static_cast<std::ptrdiff_t>(i)]) ++i;
    return i;
}

// How many of the eight bytes of x and y are equal.
int equalBytes(std::uint64_t x, std::uint64_t y) {
    const std::uint64_t t = x ^ y;
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7fULL;
    return std::popcount(~(((t & low7) + low7) | t | low7));
}

class Differ {
public:
    Differ(std::string_view oldData, std::string_view newData, const DifferOptions& options)
        : old_(reinterpret_cast<const unsigned char*>(oldData.data())),
          new_(reinterpret_cast<const unsigned char*>(newData.data())),
          oldSize_(oldData.size()),
          newSize_(newData.size()),
          options_(options),
          threads_(workerCount(options.threads)),
          start_(Clock::now()),
          index_(oldData, options.indexChunkBytes, threads_) {
        lap(&DifferTimings::index);
    }

    std::string patch() {
        const std::vector<Anchor> anchors = match();
        lap(&DifferTimings::matching);
        const std::vector<Run> runs = layOut(anchors);
        lap(&DifferTimings::layout);
        std::string bytes = write(runs);
        lap(&DifferTimings::writing);
        return bytes;
    }

private:
    using Clock = std::chrono::steady_clock;

    void lap(double DifferTimings::*phase) {
        const Clock::time_point now = Clock::now();
        if (options_.timings) options_.timings->*phase = std::chrono::duration<double>(now - start_).count();
        start_ = now;
    }

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
        const unsigned char* a = new_ + low;
        const unsigned char* b = old_ + (low + offset);
        const std::uint64_t size = static_cast<std::uint64_t>(high - low);
        std::uint64_t count = 0, i = 0;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            count += static_cast<std::uint64_t>(equalBytes(x, y));
        }
        for (; i < size; ++i) count += a[i] == b[i];
        return count;
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
    std::vector<Anchor> matchSegment(std::uint64_t begin, std::uint64_t end) const {
        std::vector<Anchor> anchors;
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

    std::vector<Anchor> match() const {
        const std::uint64_t segment = std::max<std::size_t>(options_.segmentBytes, 1);
        const std::size_t count = static_cast<std::size_t>((newSize_ + segment - 1) / segment);
        std::vector<std::vector<Anchor>> perSegment(count);
        parallelFor(count, threads_, [&](std::size_t i) {
            perSegment[i] = matchSegment(i * segment, std::min<std::uint64_t>(newSize_, (i + 1) * segment));
        });
        std::vector<Anchor> anchors;
        for (const auto& part : perSegment) anchors.insert(anchors.end(), part.begin(), part.end());
        return anchors;
    }

    // How far a run pays to be kept, walking `limit` bytes from a and b in `step` direction (1 or
    // -1): the length whose matching bytes outnumber its differing ones by the most. Runs of equal
    // bytes are skipped a word at a time; where the count is so far behind its best that the next
    // eight bytes cannot beat it, they are counted a word at a time too; the walk stops once the
    // rest could not catch up.
    static std::uint64_t widen(const unsigned char* a, const unsigned char* b, std::uint64_t limit, int step) {
        std::int64_t score = 0, best = 0;
        std::uint64_t length = 0;
        for (std::uint64_t i = 0; i < limit;) {
            if (best - score >= static_cast<std::int64_t>(limit - i)) break;
            if (best - score >= 8 && limit - i >= 8) {
                std::uint64_t x, y;
                std::memcpy(&x, step > 0 ? a + i : a - i - 7, 8);
                std::memcpy(&y, step > 0 ? b + i : b - i - 7, 8);
                const int same = equalBytes(x, y);
                score += 2 * same - 8;
                i += 8;
                continue;
            }
            const std::uint64_t same = step > 0 ? commonPrefix(a + i, b + i, limit - i)
                                                : commonSuffix(a - i + 1, b - i + 1, limit - i);
            i += same;
            score += static_cast<std::int64_t>(same);
            if (score > best) {
                best = score;
                length = i;
            }
            if (i < limit) {
                ++i;
                --score;
            }
        }
        return length;
    }

    // Turns the anchors into control entries. Between the previous run's start and the next
    // anchor, the previous offset is kept forward as far as at least half the bytes agree (counted
    // so that the kept part scores best), the next anchor's offset is taken backward the same way,
    // where the two overlap the split that agrees best wins, and what lies between is stored as
    // new bytes.
    std::vector<Run> layOut(const std::vector<Anchor>& anchors) const {
        std::vector<Run> runs;
        std::uint64_t lastScan = 0, lastPosition = 0;
        auto close = [&](std::uint64_t scan, std::uint64_t position, bool final) {
            const std::uint64_t gap = scan - lastScan;
            std::uint64_t forward = widen(new_ + lastScan, old_ + lastPosition, std::min(gap, oldSize_ - lastPosition), 1);
            const std::uint64_t reach = final ? 0 : std::min(gap, position);
            std::uint64_t backward = reach > 0 ? widen(new_ + scan - 1, old_ + position - 1, reach, -1) : 0;
            if (lastScan + forward > scan - backward) {
                const std::uint64_t overlap = lastScan + forward - (scan - backward);
                std::int64_t score = 0, best = 0;
                std::uint64_t split = 0;
                for (std::uint64_t i = 0; i < overlap; ++i) {
                    if (new_[lastScan + forward - overlap + i] == old_[lastPosition + forward - overlap + i]) ++score;
                    if (new_[scan - backward + i] == old_[position - backward + i]) --score;
                    if (score > best) {
                        best = score;
                        split = i + 1;
                    }
                }
                forward += split - overlap;
                backward -= split;
            }
            const std::int64_t seek = final ? 0
                                            : static_cast<std::int64_t>(position - backward) -
                                                  static_cast<std::int64_t>(lastPosition + forward);
            runs.push_back({lastScan, lastPosition, forward, scan - backward - (lastScan + forward), seek});
            lastScan = scan - backward;
            lastPosition = position - backward;
        };
        for (const Anchor& anchor : anchors) {
            // A segment's first anchor often only continues the run before it.
            if (static_cast<std::int64_t>(anchor.position - anchor.scan) ==
                static_cast<std::int64_t>(lastPosition - lastScan))
                continue;
            close(anchor.scan, anchor.position, false);
        }
        if (lastScan < newSize_) close(newSize_, 0, true);
        return runs;
    }

    std::string write(const std::vector<Run>& runs) const {
        std::string control, diff, extra;
        // The difference stream is as long as the new file and takes the longest to compress, so
        // it is made and compressed beside the other two.
        parallelFor(2, std::min(threads_, 2u), [&](std::size_t item) {
            Bzip2Compressor compressor;
            if (item == 0) {
                std::vector<char> buffer(1 << 20);
                std::size_t filled = 0;
                for (const Run& run : runs) {
                    for (std::uint64_t done = 0; done < run.add;) {
                        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(run.add - done, buffer.size() - filled));
                        const unsigned char* from = new_ + run.newStart + done;
                        const unsigned char* base = old_ + run.oldStart + done;
                        for (std::size_t i = 0; i < piece; ++i)
                            buffer[filled + i] = static_cast<char>(static_cast<unsigned char>(from[i] - base[i]));
                        filled += piece;
                        done += piece;
                        if (filled == buffer.size()) {
                            compressor.add(buffer.data(), filled);
                            filled = 0;
                        }
                    }
                }
                compressor.add(buffer.data(), filled);
                diff = compressor.finish();
            } else {
                std::string entries;
                Bzip2Compressor extraCompressor;
                for (const Run& run : runs) {
                    appendBsdiffOffset(entries, static_cast<std::int64_t>(run.add));
                    appendBsdiffOffset(entries, static_cast<std::int64_t>(run.copy));
                    appendBsdiffOffset(entries, run.seek);
                    extraCompressor.add(reinterpret_cast<const char*>(new_ + run.newStart + run.add),
                                        static_cast<std::size_t>(run.copy));
                }
                compressor.add(entries);
                control = compressor.finish();
                extra = extraCompressor.finish();
            }
        });
        std::string patch = "BSDIFF40";
        appendBsdiffOffset(patch, static_cast<std::int64_t>(control.size()));
        appendBsdiffOffset(patch, static_cast<std::int64_t>(diff.size()));
        appendBsdiffOffset(patch, static_cast<std::int64_t>(newSize_));
        patch.reserve(patch.size() + control.size() + diff.size() + extra.size());
        patch += control;
        patch += diff;
        patch += extra;
        return patch;
    }

    const unsigned char* old_;
    const unsigned char* new_;
    std::uint64_t oldSize_;
    std::uint64_t newSize_;
    DifferOptions options_;
    unsigned threads_;
    Clock::time_point start_;
    SuffixIndex index_;
    mutable std::atomic<std::uint64_t> fruitless_{0};
    mutable std::unique_ptr<GramFilter> filterStorage_;
    mutable std::atomic<const GramFilter*> filter_{nullptr};
};

}  // namespace

std::string makeBsdiff(std::string_view oldData, std::string_view newData, const DifferOptions& options) {
    return Differ(oldData, newData, options).patch();
}

}  // namespace morra::tools
