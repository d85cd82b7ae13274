// The in-process applier against /usr/bin/bspatch: the same bytes for every patch the tool
// accepts, the same refusal (and text) for every patch it refuses, in both decoding modes.

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "BsdiffApplier.h"
#include "BsdiffWriter.h"
#include "PatchTestSupport.h"

namespace morra {
namespace {

using test::RawControl;
using tools::BsdiffControl;

// Runs the tool and both modes of our applier; all three must agree. Returns the tool's outcome.
test::PatchOutcome expectSameAsTool(const std::string& oldData, const std::string& patch, const std::string& label) {
    const test::PatchOutcome tool = test::runBspatch(oldData, patch);
    const test::PatchOutcome parallel = test::applyInMemory(oldData, patch, true);
    const test::PatchOutcome inlineMode = test::applyInMemory(oldData, patch, false);
    EXPECT_EQ(parallel.succeeded, tool.succeeded) << label << ": " << tool.error << " / " << parallel.error;
    EXPECT_TRUE(parallel == tool) << label << ": outputs differ (tool " << tool.output.size() << " bytes, ours "
                                  << parallel.output.size() << "), errors '" << tool.error << "' / '" << parallel.error << "'";
    EXPECT_TRUE(inlineMode == tool) << label << " (decoding inline)";
    return tool;
}

void expectAppliesTo(const std::string& oldData, const std::string& newData, const std::string& patch, const std::string& label) {
    const test::PatchOutcome tool = expectSameAsTool(oldData, patch, label);
    EXPECT_TRUE(tool.succeeded) << label << ": " << tool.error;
    EXPECT_TRUE(tool.output == newData) << label;
}

std::string withEdits(std::string data, std::uint64_t seed, int edits) {
    std::mt19937_64 generator(seed);
    for (int i = 0; i < edits && !data.empty(); ++i) data[generator() % data.size()] ^= static_cast<char>(1 + generator() % 255);
    return data;
}

TEST(BsdiffApplierTest, MatchesTheToolOnPatchesMadeByBsdiff) {
    const std::string base = test::randomBytes(1, 100000);
    const std::string text = [] {
        std::string lines;
        for (int i = 0; lines.size() < 60000; ++i) lines += "line " + std::to_string(i * 7919 % 1000) + " of the asset table\n";
        return lines;
    }();
    struct Case {
        const char* name;
        std::string oldData;
        std::string newData;
    };
    const std::vector<Case> cases = {
        {"grows", base, base.substr(0, 40000) + test::randomBytes(2, 20000) + base.substr(40000) + test::randomBytes(3, 5000)},
        {"shrinks", base, base.substr(0, 30000) + base.substr(55000, 30000)},
        {"identical", base, base},
        {"unrelated", test::randomBytes(5, 30000), test::randomBytes(6, 30000)},
        {"blocks moved back and forth", text, text.substr(30000) + withEdits(text.substr(0, 30000), 7, 40)},
        {"scattered edits over several chunks", test::randomBytes(8, 3 << 20), withEdits(test::randomBytes(8, 3 << 20), 9, 300)},
    };
    for (const Case& entry : cases)
        expectAppliesTo(entry.oldData, entry.newData, test::runBsdiff(entry.oldData, entry.newData), entry.name);
}

// bsdiff cannot read an empty file (it maps its inputs), so these patches are written by hand.
TEST(BsdiffApplierTest, MatchesTheToolOnEmptyFiles) {
    const std::string some = test::randomBytes(4, 5000);
    const std::vector<std::pair<std::string, std::string>> cases = {{"", some}, {some, ""}, {"", ""}};
    for (const auto& [oldData, newData] : cases)
        expectAppliesTo(oldData, newData,
                        tools::makeBsdiffPatch(oldData, newData, tools::wholeFileControls(oldData.size(), newData.size(), 1000)),
                        std::to_string(oldData.size()) + " to " + std::to_string(newData.size()) + " bytes");
}

TEST(BsdiffApplierTest, MatchesTheToolOnHandMadeControls) {
    const std::string oldData = test::randomBytes(10, 3000);
    struct Case {
        const char* name;
        std::vector<BsdiffControl> controls;
    };
    std::vector<Case> cases = {
        {"backward seeks", {{300, 10, -250}, {400, 0, -400}, {100, 5, 2000}, {500, 0, 0}}},
        {"reads past the old file's end", {{2500, 0, 0}, {1000, 20, 10000}, {300, 0, -20000}}},
        {"zero-length parts", {{0, 0, 7}, {0, 30, 0}, {40, 0, 0}, {0, 0, -47}, {10, 0, 0}}},
        {"only extra bytes", {{0, 4000, 0}}},
        {"seek to the old file's exact end", {{10, 0, 2990}, {50, 0, 0}}},
    };
    // Many tiny entries, with seeks both ways but never before the old file's start.
    std::mt19937_64 generator(11);
    std::vector<BsdiffControl> tiny;
    std::int64_t position = 0;
    for (int i = 0; i < 3000; ++i) {
        BsdiffControl entry{generator() % 4, generator() % 3, static_cast<std::int64_t>(generator() % 7) - 3};
        if (position + static_cast<std::int64_t>(entry.add) + entry.seek < 0) entry.seek = 0;
        position += static_cast<std::int64_t>(entry.add) + entry.seek;
        tiny.push_back(entry);
    }
    cases.push_back({"thousands of tiny entries", tiny});

    for (const Case& entry : cases) {
        std::uint64_t newSize = 0;
        for (const BsdiffControl& control : entry.controls) newSize += control.add + control.copy;
        const std::string newData = test::randomBytes(12, newSize);
        expectAppliesTo(oldData, newData, tools::makeBsdiffPatch(oldData, newData, entry.controls), entry.name);
    }
}

TEST(BsdiffApplierTest, MatchesTheToolOnEntriesLargerThanItsChunks) {
    const std::string oldData = test::randomBytes(13, 3 << 20);
    const std::vector<BsdiffControl> controls = {{(5u << 20) / 2, 700000, -(1 << 20)}, {1200000, 0, 0}, {1, 3 << 20, 0}};
    std::uint64_t newSize = 0;
    for (const BsdiffControl& control : controls) newSize += control.add + control.copy;
    const std::string newData = withEdits(test::randomBytes(14, newSize), 15, 100);
    expectAppliesTo(oldData, newData, tools::makeBsdiffPatch(oldData, newData, controls), "large entries");
}

TEST(BsdiffApplierTest, AppliesAChainOfTwoPatchesLikeTheTool) {
    const std::string first = test::randomBytes(16, 50000);
    const std::string second = withEdits(first.substr(0, 20000) + test::randomBytes(17, 3000) + first.substr(20000), 18, 50);
    const std::string third = withEdits(second.substr(10000), 19, 50);
    const std::string firstPatch = test::runBsdiff(first, second), secondPatch = test::runBsdiff(second, third);
    const test::PatchOutcome middle = expectSameAsTool(first, firstPatch, "first patch");
    ASSERT_TRUE(middle.succeeded);
    const test::PatchOutcome last = expectSameAsTool(middle.output, secondPatch, "second patch");
    EXPECT_TRUE(last.succeeded && last.output == third);
}

// A valid patch with all three blocks in use, to cut and change.
std::string samplePatch(const std::string& oldData) {
    const std::vector<BsdiffControl> controls = {{120, 40, -60}, {200, 10, 30}, {80, 0, 0}};
    return tools::makeBsdiffPatch(oldData, withEdits(test::randomBytes(20, 450), 21, 10), controls);
}

TEST(BsdiffApplierTest, RefusesMalformedPatchesLikeTheTool) {
    const std::string oldData = test::randomBytes(22, 1000);
    const std::string valid = samplePatch(oldData);
    const std::string zeros(100, '\0');
    const std::string bzZeros = tools::bzip2Compress(zeros);
    auto patchWith = [&](const std::vector<RawControl>& controls, std::int64_t newSize) {
        return test::rawPatch(controls, zeros, zeros, newSize);
    };
    struct Case {
        const char* name;
        std::string patch;
    };
    const std::vector<Case> refused = {
        {"empty patch", ""},
        {"shorter than the header", valid.substr(0, 31)},
        {"header only", valid.substr(0, 32)},
        {"wrong magic", "BSDIFF41" + valid.substr(8)},
        {"negative control length", "BSDIFF40" + test::encodeOffset(-1) + valid.substr(16)},
        {"negative diff length", valid.substr(0, 16) + test::encodeOffset(-5) + valid.substr(24)},
        {"negative new size", valid.substr(0, 24) + test::encodeOffset(-450) + valid.substr(32)},
        {"control length past the largest offset", "BSDIFF40" + test::encodeOffset(INT64_MAX - 31) + valid.substr(16)},
        {"block offsets overflowing together",
         "BSDIFF40" + test::encodeOffset(INT64_MAX / 2) + test::encodeOffset(INT64_MAX / 2) + valid.substr(24)},
        {"negative add", patchWith({{-1, 0, 0}, {10, 0, 0}}, 10)},
        {"negative copy", patchWith({{0, -1, 0}, {10, 0, 0}}, 10)},
        {"add beyond the largest read", patchWith({{INT64_C(1) << 31, 0, 0}}, INT64_C(1) << 32)},
        {"copy beyond the largest read", patchWith({{0, INT64_C(1) << 31, 0}}, INT64_C(1) << 32)},
        {"add past the new size", patchWith({{11, 0, 0}}, 10)},
        {"copy past the new size", patchWith({{5, 6, 0}}, 10)},
        {"output larger than the header says", patchWith({{60, 0, 0}, {50, 0, 0}}, 100)},
        {"old position overflowing by seeks", patchWith({{1, 0, INT64_MAX}, {1, 0, INT64_MAX}, {1, 0, 0}}, 3)},
        {"old position overflowing by an add", patchWith({{0, 0, INT64_MAX - 3}, {10, 0, 0}}, 10)},
        {"control block ending before the new size", patchWith({{30, 0, 0}}, 100)},
        {"control block cut inside an entry",
         test::assemblePatch(tools::bzip2Compress(test::controlBlock({{30, 0, 0}, {20, 0, 0}}).substr(0, 40)), bzZeros,
                             bzZeros, 50)},
        {"entries that make no progress", patchWith({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 5)},
        {"diff block shorter than the adds", test::rawPatch({{150, 0, 0}}, zeros, zeros, 150)},
        {"extra block shorter than the copies", test::rawPatch({{0, 150, 0}}, zeros, zeros, 150)},
        {"extra block missing", valid.substr(0, valid.size() - tools::bzip2Compress(std::string(50, 'x')).size() + 4)},
        {"garbage instead of a bzip2 stream",
         test::assemblePatch(tools::bzip2Compress(test::controlBlock({{5, 0, 0}})), "hello, world", bzZeros, 5)},
        {"two bzip2 streams where one is read",
         test::assemblePatch(tools::bzip2Compress(test::controlBlock({{20, 0, 0}})),
                             tools::bzip2Compress(zeros.substr(0, 10)) + tools::bzip2Compress(zeros.substr(0, 10)), bzZeros, 20)},
        {"diff block placed past the patch's end",
         test::assemblePatch(tools::bzip2Compress(test::controlBlock({{5, 0, 0}})), bzZeros, bzZeros, 5, INT64_C(1) << 40)},
    };
    for (const Case& entry : refused) {
        const test::PatchOutcome tool = expectSameAsTool(oldData, entry.patch, entry.name);
        EXPECT_FALSE(tool.succeeded) << entry.name;
        EXPECT_EQ(tool.error, kCorruptPatchText) << entry.name;
    }
}

TEST(BsdiffApplierTest, AcceptsWhatTheToolAccepts) {
    const std::string oldData = test::randomBytes(23, 1000);
    const std::string valid = samplePatch(oldData);
    const std::string zeroHeader = "BSDIFF40" + test::encodeOffset(0) + test::encodeOffset(0);
    struct Case {
        const char* name;
        std::string patch;
    };
    const std::vector<Case> accepted = {
        {"empty result and nothing after the header", zeroHeader + test::encodeOffset(0)},
        {"empty result written as negative zero", zeroHeader + std::string(7, '\0') + "\x80"},
        {"empty result and garbage blocks", zeroHeader + test::encodeOffset(0) + "garbage"},
        {"trailing bytes after the extra block", valid + "trailing"},
        {"unused extra block placed past the patch's end",
         test::assemblePatch(tools::bzip2Compress(test::controlBlock({{5, 0, 0}})), tools::bzip2Compress("12345"), "", 5,
                             std::nullopt, INT64_C(1) << 40)},
        {"a bzip2 stream followed by garbage",
         test::assemblePatch(tools::bzip2Compress(test::controlBlock({{0, 5, 0}})), "", tools::bzip2Compress("abcde") + "zz", 5)},
    };
    for (const Case& entry : accepted) {
        const test::PatchOutcome tool = expectSameAsTool(oldData, entry.patch, entry.name);
        EXPECT_TRUE(tool.succeeded) << entry.name << ": " << tool.error;
    }
}

TEST(BsdiffApplierTest, TreatsEveryCutOfAPatchLikeTheTool) {
    const std::string oldData = test::randomBytes(24, 1000);
    const std::string valid = samplePatch(oldData);
    for (std::size_t length = 0; length <= valid.size(); ++length)
        expectSameAsTool(oldData, valid.substr(0, length), "cut at " + std::to_string(length));
}

// Random controls (never reading before the old file's start, where the tool's behaviour is
// undefined), then a random change to the header, the data blocks or the length. Control values
// stay as generated: the control block is always read from offset 32 to the end.
TEST(BsdiffApplierTest, AgreesWithTheToolOnRandomlyDamagedPatches) {
    for (std::uint64_t seed = 100; seed < 220; ++seed) {
        std::mt19937_64 generator(seed);
        const std::string oldData = test::randomBytes(seed, generator() % 4000);
        std::vector<BsdiffControl> controls;
        std::int64_t position = 0;
        std::uint64_t newSize = 0;
        for (std::uint64_t i = 0, count = 1 + generator() % 6; i < count; ++i) {
            BsdiffControl entry{generator() % 1500, generator() % 300, static_cast<std::int64_t>(generator() % 3000) - 1500};
            if (position + static_cast<std::int64_t>(entry.add) + entry.seek < 0) entry.seek = -(position + static_cast<std::int64_t>(entry.add));
            position += static_cast<std::int64_t>(entry.add) + entry.seek;
            newSize += entry.add + entry.copy;
            controls.push_back(entry);
        }
        std::string patch = tools::makeBsdiffPatch(oldData, test::randomBytes(seed + 1, newSize), controls);
        const std::size_t dataStart = 32 + (static_cast<unsigned char>(patch[8]) | static_cast<unsigned char>(patch[9]) << 8);
        switch (generator() % 5) {
        case 0:  // a changed byte in the diff or extra block
            if (dataStart < patch.size()) patch[dataStart + generator() % (patch.size() - dataStart)] ^= static_cast<char>(1 + generator() % 255);
            break;
        case 1:  // a changed block length
            patch.replace(8 + 8 * (generator() % 2), 8, test::encodeOffset(static_cast<std::int64_t>(generator() % patch.size())));
            break;
        case 2:  // a changed new size
            patch.replace(24, 8, test::encodeOffset(static_cast<std::int64_t>(generator() % (newSize + 100))));
            break;
        case 3:  // cut short
            patch.resize(generator() % patch.size());
            break;
        default:
            break;
        }
        expectSameAsTool(oldData, patch, "seed " + std::to_string(seed));
    }
}

// The tool allocates the whole new file up front; the applier allocates nothing by the header's
// word, so a header claiming an enormous result costs nothing before the patch proves corrupt.
TEST(BsdiffApplierTest, AnEnormousClaimedSizeAllocatesNothing) {
    const std::string patch = test::rawPatch({{10, 0, 0}}, std::string(10, '\1'), "", INT64_MAX);
    for (bool parallel : {true, false}) {
        const test::PatchOutcome outcome = test::applyInMemory("old", patch, parallel);
        EXPECT_FALSE(outcome.succeeded);
        EXPECT_EQ(outcome.error, kCorruptPatchText);
    }
}

// Bytes before the old file's start count as absent, like bytes past its end (the tool reads
// outside its buffer there).
TEST(BsdiffApplierTest, ReadsBeforeTheOldFileCountAsAbsent) {
    const std::string oldData = "ABCDEFGH";
    const std::string patch = test::rawPatch({{0, 0, -4}, {8, 0, 0}}, std::string(8, '\1'), "", 8);
    for (bool parallel : {true, false}) {
        const test::PatchOutcome outcome = test::applyInMemory(oldData, patch, parallel);
        ASSERT_TRUE(outcome.succeeded) << outcome.error;
        EXPECT_EQ(outcome.output, std::string("\1\1\1\1BCDE"));
    }
}

}  // namespace
}  // namespace morra
