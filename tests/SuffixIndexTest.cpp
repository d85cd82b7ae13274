#include <gtest/gtest.h>

#include <random>
#include <string>

#include "SuffixIndex.h"

namespace morra::test {
namespace {

using tools::SuffixIndex;

std::size_t longestByHand(const std::string& text, const std::string& query, std::size_t& position) {
    std::size_t best = 0;
    for (std::size_t p = 0; p < text.size(); ++p) {
        std::size_t length = 0;
        while (p + length < text.size() && length < query.size() && text[p + length] == query[length]) ++length;
        if (length > best) {
            best = length;
            position = p;
        }
    }
    return best;
}

// Texts over few letters repeat themselves a lot, so matches are long and often run past the end
// of the chunk they start in; the index must find the longest one wherever it lies.
TEST(SuffixIndexTest, FindsTheLongestMatchAcrossChunks) {
    std::mt19937 random(5);
    for (unsigned letters : {2u, 4u, 256u}) {
        std::string text(20000, '\0');
        for (char& byte : text) byte = static_cast<char>('a' + random() % letters);
        for (std::size_t chunk : {std::size_t{4096}, std::size_t{7000}, std::size_t{1} << 20}) {
            SCOPED_TRACE("letters " + std::to_string(letters) + ", chunk " + std::to_string(chunk));
            const SuffixIndex index(text, chunk, 3);
            for (int i = 0; i < 200; ++i) {
                // Pieces of the text, some changed after a while, and bytes it may not hold at all.
                std::string query = text.substr(random() % text.size(), 1 + random() % 300);
                if (i % 3 == 0 && query.size() > 10) query[random() % query.size()] ^= 1;
                if (i % 7 == 0) query = std::string(1 + random() % 5, static_cast<char>('A' + random() % 3));
                std::size_t position = 0;
                const std::size_t expected = longestByHand(text, query, position);
                const SuffixIndex::Match match =
                    index.longest(reinterpret_cast<const unsigned char*>(query.data()), query.size());
                ASSERT_EQ(match.length, expected) << "query " << i;
                if (expected > 0) {
                    EXPECT_EQ(text.compare(match.position, expected, query, 0, expected), 0);
                }
            }
        }
    }
}

}  // namespace
}  // namespace morra::test
