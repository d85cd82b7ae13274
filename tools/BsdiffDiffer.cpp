#include "BsdiffDiffer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "BsdiffOffset.h"
#include "ByteCompare.h"
#include "Bzip2Compressor.h"
#include "FingerprintAnchors.h"
#include "ParallelFor.h"
#include "SuffixAnchors.h"

namespace morra::tools {

namespace {

// One control entry with where its bytes come from.
struct Run {
    std::uint64_t newStart;
    std::uint64_t oldStart;
    std::uint64_t add;   // bytes of the new file made from the old one plus a difference
    std::uint64_t copy;  // bytes of the new file stored as they are
    std::int64_t seek;   // then the old position moves by this much
};

class Differ {
public:
    Differ(std::string_view oldData, std::string_view newData, const DifferOptions& options)
        : old_(reinterpret_cast<const unsigned char*>(oldData.data())),
          new_(reinterpret_cast<const unsigned char*>(newData.data())),
          oldSize_(oldData.size()),
          newSize_(newData.size()),
          options_(options),
          threads_(workerCount(options.threads)),
          start_(Clock::now()) {}

    std::string patch() {
        const std::vector<DifferAnchor> anchors = match();
        const std::vector<Run> runs = layOut(anchors);
        lap(&DifferTimings::layout);
        std::string bytes = write(runs);
        lap(&DifferTimings::writing);
        return bytes;
    }

private:
    using Clock = std::chrono::steady_clock;

    // Small old files are matched through a suffix sort of the whole file, which finds short
    // matches too; large ones through an index of sampled blocks, far faster and leaner.
    std::vector<DifferAnchor> match() {
        const std::string_view oldData(reinterpret_cast<const char*>(old_), static_cast<std::size_t>(oldSize_));
        const std::string_view newData(reinterpret_cast<const char*>(new_), static_cast<std::size_t>(newSize_));
        if (oldSize_ < options_.suffixSortBelow) {
            double indexSeconds = 0;
            std::vector<DifferAnchor> anchors =
                suffixAnchors(oldData, newData, options_.indexChunkBytes, options_.segmentBytes, threads_, indexSeconds);
            lap(&DifferTimings::matching);
            if (options_.timings) {
                options_.timings->index = indexSeconds;
                options_.timings->matching -= indexSeconds;
            }
            return anchors;
        }
        const FingerprintIndex index(oldData, options_.fingerprintStep);
        lap(&DifferTimings::index);
        std::vector<DifferAnchor> anchors = fingerprintAnchors(oldData, newData, index);
        lap(&DifferTimings::matching);
        return anchors;
    }

    void lap(double DifferTimings::*phase) {
        const Clock::time_point now = Clock::now();
        if (options_.timings) options_.timings->*phase = std::chrono::duration<double>(now - start_).count();
        start_ = now;
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
    std::vector<Run> layOut(const std::vector<DifferAnchor>& anchors) const {
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
            const std::uint64_t copy = scan - backward - (lastScan + forward);
            // A run that keeps no byte only moves the old position: the run before it moves it instead.
            if (forward == 0 && copy == 0 && !runs.empty())
                runs.back().seek += seek;
            else
                runs.push_back({lastScan, lastPosition, forward, copy, seek});
            lastScan = scan - backward;
            lastPosition = position - backward;
        };
        for (const DifferAnchor& anchor : anchors) {
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
            Bzip2Compressor compressor(item == 0);
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
};

}  // namespace

std::string makeBsdiff(std::string_view oldData, std::string_view newData, const DifferOptions& options) {
    return Differ(oldData, newData, options).patch();
}

}  // namespace morra::tools
