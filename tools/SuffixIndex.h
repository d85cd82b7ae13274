#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "HugePageMemory.h"

namespace morra::tools {

// Finds, for any byte string, its longest match anywhere in one fixed text (the old file), through
// suffix arrays built by libdivsufsort.
//
// The text is cut into equal chunks of at most `chunkBytes`, and into at least four where each can
// still hold 4 MiB (so the cut depends only on the text's size and `chunkBytes`); each chunk gets a suffix array of its own: the chunks are sorted in parallel,
// and smaller arrays are sorted much faster than one large one because they stay closer to the
// caches. A search looks in every chunk and keeps the longest match; a match may run on past the
// end of the chunk it starts in. Each chunk is sorted by its suffixes' bytes up to 64 KiB past its
// end, so the match found is the longest whenever that is at most 64 KiB long, and otherwise one
// of at least 64 KiB. Chunks are kept below 2 GiB, so 32-bit suffix array entries (the
// library's divsufsort, not divsufsort64) serve texts of any size at 4 bytes per text byte.
//
// Each chunk also has a table of where the suffixes starting with each pair of bytes lie (each
// byte, for chunks under 1 MiB), so a search starts in that small range of its array instead of
// the whole of it. Chunks are at least 4 KiB.
class SuffixIndex {
public:
    struct Match {
        std::uint64_t position = 0;  // where the match starts in the text
        std::uint64_t length = 0;    // 0 when not even the first byte occurs
    };

    SuffixIndex(std::string_view text, std::size_t chunkBytes, unsigned threads);
    ~SuffixIndex();
    SuffixIndex(const SuffixIndex&) = delete;
    SuffixIndex& operator=(const SuffixIndex&) = delete;

    // The longest prefix of `query` that occurs in the text (or, past 64 KiB, a long one). Among
    // equally long matches the one found first wins; the choice depends only on the text, the
    // chunk size and the query.
    Match longest(const unsigned char* query, std::size_t size) const;

private:
    struct Chunk {
        std::size_t begin = 0;
        std::size_t size = 0;    // suffixes starting here are this chunk's
        std::size_t extent = 0;  // bytes sorted: the chunk and up to 64 KiB after it
        std::int32_t* suffixes = nullptr;   // into suffixes_
        unsigned keyBytes = 2;              // suffixes are looked up by their first 1 or 2 bytes
        std::vector<std::uint32_t> starts;  // per key: the first suffix that starts with it
        std::vector<std::uint32_t> ends;    // per key: one past the last such suffix
    };

    void build(Chunk& chunk) const;
    Match searchChunk(const Chunk& chunk, const unsigned char* query, std::size_t size) const;
    std::uint64_t extend(std::uint64_t position, const unsigned char* query, std::size_t size) const;

    const unsigned char* text_;
    std::size_t size_;
    std::vector<Chunk> chunks_;
    HugePageArray<std::int32_t> suffixes_;
};

}  // namespace morra::tools
