#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BsdiffDiffer.h"
#include "PatchTestSupport.h"

namespace morra::test {
namespace {

using tools::DifferOptions;
using tools::makeBsdiff;

// Scattered edits of the kinds a translation makes: replaced, inserted and deleted bytes.
std::string edited(std::string bytes, std::uint64_t seed, int edits) {
    const std::string noise = randomBytes(seed, 64 * static_cast<std::size_t>(edits) + 64);
    for (int i = 0; i < edits && bytes.size() > 256; ++i) {
        const std::size_t at = (static_cast<unsigned char>(noise[i]) * 65537u + static_cast<std::size_t>(i) * 7919u) % (bytes.size() - 128);
        const std::size_t length = 1 + static_cast<unsigned char>(noise[i + 1]) % 40;
        switch (i % 3) {
            case 0: bytes.replace(at, length, noise.substr(64 * i, length)); break;
            case 1: bytes.insert(at, noise.substr(64 * i, length)); break;
            default: bytes.erase(at, length); break;
        }
    }
    return bytes;
}

DifferOptions small(std::size_t chunk, std::size_t segment, unsigned threads = 2) {
    DifferOptions options;
    options.indexChunkBytes = chunk;
    options.segmentBytes = segment;
    options.threads = threads;
    return options;
}

// Every patch must give the new bytes exactly, through the system's bspatch and through our applier.
void expectRebuilds(const std::string& oldData, const std::string& newData, const std::string& patch) {
    const PatchOutcome theirs = runBspatch(oldData, patch);
    ASSERT_TRUE(theirs.succeeded) << theirs.error;
    EXPECT_TRUE(theirs.output == newData) << "bspatch gives " << theirs.output.size() << " bytes, not the "
                                          << newData.size() << " of the new file";
    const PatchOutcome ours = applyInMemory(oldData, patch, true);
    ASSERT_TRUE(ours.succeeded) << ours.error;
    EXPECT_TRUE(ours.output == newData);
}

TEST(BsdiffDifferTest, PatchesRebuildTheNewFileExactly) {
    MORRA_NEEDS_TOOL("bspatch");
    const std::string base = randomBytes(1, 300000);
    std::string zeros(200000, '\0');
    zeros.replace(70000, 5, "abcde");
    const struct {
        const char* name;
        std::string oldData, newData;
    } cases[] = {
        {"scattered edits, growing", base, edited(base, 2, 60) + randomBytes(3, 5000)},
        {"scattered edits, shrinking", base, edited(base, 4, 60).substr(0, 250000)},
        {"the same bytes", base, base},
        {"empty old file", "", randomBytes(5, 7000)},
        {"empty new file", base, ""},
        {"both empty", "", ""},
        {"unrelated random bytes", randomBytes(6, 5000), randomBytes(7, 9000)},
        {"long runs of one byte", zeros, edited(zeros, 8, 30)},
        {"moved blocks", base, base.substr(150000) + base.substr(0, 150000)},
        {"one byte", "x", "y"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        expectRebuilds(test.oldData, test.newData, makeBsdiff(test.oldData, test.newData));
        // Tiny index chunks and match segments put many of their edges inside matches.
        expectRebuilds(test.oldData, test.newData, makeBsdiff(test.oldData, test.newData, small(4096, 777)));
    }
}

// New content of its own (here 150000 bytes) makes the differ build its filter of the old file
// partway through, at a moment that depends on the threads; the patch must not.
TEST(BsdiffDifferTest, SamePatchWhateverTheThreadCount) {
    MORRA_NEEDS_TOOL("bspatch");
    const std::string oldData = randomBytes(9, 400000);
    std::string newData = edited(oldData, 10, 80);
    newData.insert(200000, randomBytes(13, 150000));
    const std::string one = makeBsdiff(oldData, newData, small(64 << 10, 10000, 1));
    expectRebuilds(oldData, newData, one);
    for (unsigned threads : {2u, 3u, 8u}) EXPECT_EQ(one, makeBsdiff(oldData, newData, small(64 << 10, 10000, threads)));
}

}  // namespace
}  // namespace morra::test
