#include "SuffixIndex.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "ByteCompare.h"
#include "HugePageMemory.h"
#include "ParallelFor.h"

namespace morra::tools {

namespace {

constexpr std::size_t kPairs = 1 << 16;
constexpr std::size_t kLargestChunk = std::size_t{1} << 30;  // well inside divsufsort's 32-bit range
constexpr std::size_t kSmallestChunk = std::size_t{4} << 10;
constexpr std::size_t kOverlap = std::size_t{64} << 10;
constexpr std::size_t kFewChunks = 4;
constexpr std::size_t kSmallestShared = std::size_t{4} << 20;
constexpr std::size_t kPairKeyedChunk = std::size_t{1} << 20;  // below: the pair tables would outweigh the array
}  // namespace

SuffixIndex::SuffixIndex(std::string_view text, std::size_t chunkBytes, unsigned threads)
    : text_(reinterpret_cast<const unsigned char*>(text.data())), size_(text.size()) {
    if (size_ == 0) return;
    chunkBytes = std::clamp<std::size_t>(chunkBytes, kSmallestChunk, kLargestChunk);
    // At least a few chunks where they can still be large, so that a file of a few tens of MiB
    // is sorted on several cores too.
    const std::size_t count = std::max((size_ + chunkBytes - 1) / chunkBytes,
                                       std::min(kFewChunks, size_ / kSmallestShared));
    // The sort and the searches jump all over the arrays.
    suffixes_ = makeHugePageArray<std::int32_t>(size_ + count * kOverlap);
    for (std::size_t i = 0; i < count; ++i) {
        Chunk chunk;
        chunk.begin = size_ * i / count;
        chunk.size = size_ * (i + 1) / count - chunk.begin;
        chunk.extent = std::min(chunk.size + kOverlap, size_ - chunk.begin);
        chunk.suffixes = suffixes_.get() + chunk.begin + i * kOverlap;
        chunks_.push_back(std::move(chunk));
    }
    parallelFor(chunks_.size(), threads, [&](std::size_t i) { build(chunks_[i]); });
}

SuffixIndex::~SuffixIndex() = default;

void SuffixIndex::build(Chunk& chunk) const {
    // The chunk's suffixes are sorted over the chunk and the text after it, up to 64 KiB: a match
    // that starts near the chunk's end is then ordered by at least 64 KiB of its bytes, not cut
    // short. The suffixes that start after the chunk are dropped again.
    const unsigned char* text = text_ + chunk.begin;
    if (divsufsort(text, chunk.suffixes, static_cast<saidx_t>(chunk.extent)) != 0)
        throw std::runtime_error("divsufsort failed");
    std::size_t kept = 0;
    for (std::size_t rank = 0; rank < chunk.extent; ++rank)
        if (static_cast<std::size_t>(chunk.suffixes[rank]) < chunk.size) chunk.suffixes[kept++] = chunk.suffixes[rank];

    // Suffixes are ordered by their bytes. By pairs: a one-byte suffix (the text's last byte)
    // comes right before the suffixes that start with the same byte followed by anything, and
    // belongs to no pair. Small chunks are keyed by their first byte only, so the tables stay small.
    chunk.keyBytes = chunk.size >= kPairKeyedChunk ? 2 : 1;
    const std::size_t keys = chunk.keyBytes == 2 ? kPairs : 256;
    const bool endsText = chunk.extent == chunk.size;
    std::vector<std::uint32_t> counts(keys, 0);
    if (chunk.keyBytes == 2) {
        for (std::size_t p = 0; p + 1 < chunk.extent && p < chunk.size; ++p) ++counts[(text[p] << 8) | text[p + 1]];
    } else {
        for (std::size_t p = 0; p < chunk.size; ++p) ++counts[text[p]];
    }
    const std::size_t lonely = chunk.keyBytes == 2 && endsText ? std::size_t{text[chunk.size - 1]} << 8 : keys;
    chunk.starts.resize(keys);
    chunk.ends.resize(keys);
    std::uint32_t before = 0;
    for (std::size_t key = 0; key < keys; ++key) {
        if (key == lonely) ++before;
        chunk.starts[key] = before;
        before += counts[key];
        chunk.ends[key] = before;
    }
}

std::uint64_t SuffixIndex::extend(std::uint64_t position, const unsigned char* query, std::size_t size) const {
    return commonPrefix(text_ + position, query, std::min<std::uint64_t>(size, size_ - position));
}

SuffixIndex::Match SuffixIndex::searchChunk(const Chunk& chunk, const unsigned char* query, std::size_t size) const {
    const unsigned char* text = text_ + chunk.begin;
    if (chunk.keyBytes == 1 && chunk.starts[query[0]] == chunk.ends[query[0]]) return {};
    const std::size_t key = chunk.keyBytes == 1 ? query[0] : size >= 2 ? (query[0] << 8) | query[1] : 0;
    if (chunk.keyBytes == 2 && (size < 2 || chunk.starts[key] == chunk.ends[key])) {
        // No suffix of this chunk starts with the query's first two bytes: at most the first byte
        // matches (the text's last byte is a suffix of one byte).
        if (chunk.extent == chunk.size && text[chunk.size - 1] == query[0]) {
            const std::uint64_t position = chunk.begin + chunk.size - 1;
            return {position, extend(position, query, size)};
        }
        for (std::size_t second = 0; second < 256; ++second) {
            const std::size_t first = (query[0] << 8) | second;
            if (chunk.starts[first] < chunk.ends[first])
                return {chunk.begin + static_cast<std::uint64_t>(chunk.suffixes[chunk.starts[first]]), 1};
        }
        return {};
    }

    // Binary search for the first suffix not below the query, among the suffixes that share its
    // first key bytes. low and high bound the search from outside; what each is known to share
    // with the query lets every comparison skip the bytes that all suffixes between them share.
    std::int64_t low = static_cast<std::int64_t>(chunk.starts[key]) - 1;
    std::int64_t high = chunk.ends[key];
    std::size_t lowCommon = chunk.keyBytes, highCommon = chunk.keyBytes;
    while (high - low > 1) {
        const std::int64_t middle = low + (high - low) / 2;
        const std::size_t suffix = static_cast<std::size_t>(chunk.suffixes[middle]);
        const std::size_t available = chunk.extent - suffix;
        const std::size_t limit = std::min(available, size);
        const std::size_t known = std::min(lowCommon, highCommon);
        const std::size_t common = known + commonPrefix(text + suffix + known, query + known, limit - known);
        const bool below = common == limit ? available < size : text[suffix + common] < query[common];
        if (below) {
            low = middle;
            lowCommon = common;
        } else {
            high = middle;
            highCommon = common;
        }
    }

    // The longest match is next to the insertion point. A suffix that matched up to where its
    // chunk was sorted may go on matching in the text beyond.
    Match best;
    auto consider = [&](std::int64_t rank, std::size_t common) {
        const std::uint64_t position = chunk.begin + static_cast<std::uint64_t>(chunk.suffixes[rank]);
        std::uint64_t length = common;
        if (common == chunk.begin + chunk.extent - position && common < size)
            length += extend(position + common, query + common, size - common);
        if (length > best.length) best = {position, length};
    };
    if (low >= static_cast<std::int64_t>(chunk.starts[key])) consider(low, lowCommon);
    if (high < static_cast<std::int64_t>(chunk.ends[key])) consider(high, highCommon);
    return best;
}

SuffixIndex::Match SuffixIndex::longest(const unsigned char* query, std::size_t size) const {
    Match best;
    if (size == 0) return best;
    for (const Chunk& chunk : chunks_) {
        const Match match = searchChunk(chunk, query, size);
        if (match.length > best.length) best = match;
        if (best.length == size) break;
    }
    return best;
}

}  // namespace morra::tools
