#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "BsdiffDiffer.h"
#include "PatchTestSupport.h"

namespace morra::test {
namespace {

using tools::DifferOptions;
using tools::makeBsdiff;

// Old files of the kinds assets hold: random bytes, tables of records with a few fields changed,
// runs of one byte, and parts copied from earlier; of every size from empty to a few hundred KiB.
std::string generatedOld(std::mt19937_64& random) {
    static constexpr std::size_t sizes[] = {0, 1, 7, 33, 100, 4000, 60000, 300000};
    const std::size_t size = sizes[random() % std::size(sizes)];
    std::string bytes;
    while (bytes.size() < size) {
        const std::size_t part = 1 + random() % 20000;
        switch (random() % 4) {
            case 0: bytes += randomBytes(random(), part); break;
            case 1: {
                std::string record = randomBytes(random(), 8 + random() % 40);
                for (std::size_t i = 0; i < part / record.size() + 1; ++i) {
                    record[random() % record.size()] = static_cast<char>(i);
                    bytes += record;
                }
                break;
            }
            case 2: bytes.append(part, static_cast<char>(random() % 3)); break;
            default: bytes += bytes.empty() ? std::string(part, 'x') : bytes.substr(random() % bytes.size(), part);
        }
    }
    bytes.resize(size);
    return bytes;
}

// The old file with edits of the kinds a translation makes: bytes replaced, inserted and deleted,
// short or long (shifting all that follows), and blocks moved or repeated.
std::string generatedNew(const std::string& oldData, std::mt19937_64& random) {
    std::string bytes = random() % 8 == 0 ? generatedOld(random) : oldData;
    for (int edits = static_cast<int>(random() % 60); edits > 0; --edits) {
        const std::size_t at = bytes.empty() ? 0 : random() % bytes.size();
        const std::size_t length = random() % 4 == 0 ? 1 + random() % 5000 : 1 + random() % 40;
        switch (random() % 5) {
            case 0: bytes.replace(at, length, randomBytes(random(), length)); break;
            case 1: bytes.insert(at, randomBytes(random(), length)); break;
            case 2: bytes.erase(at, length); break;
            case 3: bytes.insert(at, bytes.substr(random() % (bytes.size() + 1), length)); break;
            default:
                if (at < bytes.size()) bytes[at] = static_cast<char>(bytes[at] + 1);
        }
    }
    return bytes;
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

// Both ways of matching (a suffix sort, in tiny chunks and segments that put many of their edges
// inside matches; and the block index, with several steps) on many generated pairs.
TEST(BsdiffDifferTest, PatchesRebuildTheNewFileExactly) {
    MORRA_NEEDS_TOOL("bspatch");
    std::mt19937_64 random(22);
    for (int pair = 0; pair < 40; ++pair) {
        const std::string oldData = generatedOld(random);
        const std::string newData = generatedNew(oldData, random);
        const DifferOptions suffixSorted{.indexChunkBytes = 4096, .segmentBytes = 777};
        const DifferOptions fingerprinted{.suffixSortBelow = 0, .fingerprintStep = 1 + random() % 32};
        for (const DifferOptions& options : {suffixSorted, fingerprinted}) {
            SCOPED_TRACE("pair " + std::to_string(pair) + ", " + std::to_string(oldData.size()) + " to " +
                         std::to_string(newData.size()) + " bytes, " +
                         (options.suffixSortBelow > 0 ? "suffix sort" : "blocks at every " + std::to_string(options.fingerprintStep)));
            expectRebuilds(oldData, newData, makeBsdiff(oldData, newData, options));
        }
    }
}

// The block index finds what the suffix sort finds where matches are long: on edits that shift
// the rest of the file, its patch is hardly larger than /usr/bin/bsdiff's (a few per cent of a
// patch this small is a few dozen bytes of control entries).
TEST(BsdiffDifferTest, BlockIndexPatchesAreAsSmallAsBsdiffs) {
    MORRA_NEEDS_TOOL("bsdiff");
    std::mt19937_64 random(7);
    std::string oldData;
    while (oldData.size() < 400000) oldData += generatedOld(random);
    std::string newData = oldData;
    for (int edit = 0; edit < 100; ++edit) {
        const std::size_t at = random() % newData.size();
        if (edit % 2 == 0) newData.insert(at, randomBytes(random(), 1 + random() % 50));
        else newData.erase(at, 1 + random() % 50);
    }
    const std::string ours = makeBsdiff(oldData, newData, DifferOptions{.suffixSortBelow = 0});
    expectRebuilds(oldData, newData, ours);
    EXPECT_LE(ours.size(), runBsdiff(oldData, newData).size() * 105 / 100);
}

// New content of its own (here 150000 bytes) makes the suffix-sorting differ build its filter of
// the old file partway through, at a moment that depends on the threads; the patch must not.
TEST(BsdiffDifferTest, SamePatchWhateverTheThreadCount) {
    MORRA_NEEDS_TOOL("bspatch");
    std::mt19937_64 random(9);
    const std::string oldData = randomBytes(9, 400000);
    std::string newData = generatedNew(oldData, random);
    newData.insert(200000, randomBytes(13, 150000));
    DifferOptions options{.threads = 1, .indexChunkBytes = 64 << 10, .segmentBytes = 10000};
    const std::string one = makeBsdiff(oldData, newData, options);
    expectRebuilds(oldData, newData, one);
    for (unsigned threads : {2u, 3u, 8u}) {
        options.threads = threads;
        EXPECT_EQ(one, makeBsdiff(oldData, newData, options));
    }
}

}  // namespace
}  // namespace morra::test
