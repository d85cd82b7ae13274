// The in-process applier against the system's bspatch: the same bytes for every patch the tool
// accepts, the same refusal (and text) for every patch it refuses, in both decoding modes.

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "bsdiff/BsdiffApplier.h"
#include "bsdiff/SignMagnitude.h"
#include "BsdiffWriter.h"
#include "PatchTestSupport.h"

namespace morra {
namespace {

using tools::BsdiffControl;

// Hand-made BSDIFF40 patches, including malformed ones.
std::string encodeOffset(std::int64_t value) {
    unsigned char bytes[8];
    morra::encodeOffset(value, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), 8);
}

struct RawControl {
    std::int64_t add = 0, copy = 0, seek = 0;
};

std::string controlBlock(const std::vector<RawControl>& controls) {
    std::string block;
    for (const RawControl& control : controls)
        block += encodeOffset(control.add) + encodeOffset(control.copy) + encodeOffset(control.seek);
    return block;
}

// Header and three compressed blocks; the header's block lengths default to the real ones.
std::string assemblePatch(const std::string& control, const std::string& diff, const std::string& extra, std::int64_t newSize,
                          std::optional<std::int64_t> controlLength = std::nullopt,
                          std::optional<std::int64_t> diffLength = std::nullopt) {
    return "BSDIFF40" + encodeOffset(controlLength.value_or(static_cast<std::int64_t>(control.size()))) +
           encodeOffset(diffLength.value_or(static_cast<std::int64_t>(diff.size()))) + encodeOffset(newSize) + control + diff + extra;
}

std::string rawPatch(const std::vector<RawControl>& controls, const std::string& diff, const std::string& extra, std::int64_t newSize) {
    return assemblePatch(tools::bzip2Compress(controlBlock(controls)), tools::bzip2Compress(diff), tools::bzip2Compress(extra), newSize);
}

// Runs the tool and both modes of our applier; all three must agree. Returns the tool's outcome.
test::PatchOutcome expectSameAsTool(const std::string& oldData, const std::string& patch, const std::string& label) {
    const test::PatchOutcome tool = test::runBspatch(oldData, patch);
    const test::PatchOutcome parallel = test::applyInMemory(oldData, patch, true);
    const test::PatchOutcome inlineMode = test::applyInMemory(oldData, patch, false);
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

// Random controls that never seek before the old file's start, where the tool's behaviour is undefined.
std::vector<BsdiffControl> randomControls(std::mt19937_64& generator, std::size_t count, std::uint64_t add, std::uint64_t copy,
                                          std::int64_t seek) {
    std::vector<BsdiffControl> controls;
    std::int64_t position = 0;
    while (controls.size() < count) {
        BsdiffControl entry{generator() % add, generator() % copy, static_cast<std::int64_t>(generator() % (2 * seek + 1)) - seek};
        position += static_cast<std::int64_t>(entry.add);
        entry.seek = std::max(entry.seek, -position);
        position += entry.seek;
        controls.push_back(entry);
    }
    return controls;
}

TEST(BsdiffApplierTest, MatchesTheToolOnPatchesMadeByBsdiff) {
    MORRA_NEEDS_TOOL("bspatch");
    MORRA_NEEDS_TOOL("bsdiff");
    const std::string base = test::randomBytes(1, 100000);
    std::string text;
    for (int i = 0; text.size() < 60000; ++i) text += "line " + std::to_string(i * 7919 % 1000) + " of the asset table\n";
    const std::string large = test::randomBytes(8, 3 << 20);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {base, base.substr(0, 40000) + test::randomBytes(2, 20000) + base.substr(40000) + test::randomBytes(3, 5000)},
        {base, base.substr(0, 30000) + base.substr(55000, 30000)},
        {base, base},
        {test::randomBytes(5, 30000), test::randomBytes(6, 30000)},
        {text, text.substr(30000) + withEdits(text.substr(0, 30000), 7, 40)},  // blocks moved back and forth
        {large, withEdits(large, 9, 300)},                                     // scattered over several chunks
    };
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto& [oldData, newData] = cases[index];
        expectAppliesTo(oldData, newData, test::runBsdiff(oldData, newData), "case " + std::to_string(index));
    }
}

// bsdiff cannot read an empty file (it maps its inputs) nor be told which controls to use, so
// these patches are written by hand.
TEST(BsdiffApplierTest, MatchesTheToolOnHandWrittenControls) {
    MORRA_NEEDS_TOOL("bspatch");
    const std::string some = test::randomBytes(4, 5000), small = test::randomBytes(10, 3000), large = test::randomBytes(13, 3 << 20);
    std::mt19937_64 generator(11);
    struct Case {
        const char* name;
        const std::string& oldData;
        std::vector<BsdiffControl> controls;
    };
    const std::string empty;
    const std::vector<Case> cases = {
        {"empty to some", empty, tools::wholeFileControls(0, 5000, 1000)},
        {"some to empty", some, tools::wholeFileControls(5000, 0, 1000)},
        {"empty to empty", empty, tools::wholeFileControls(0, 0, 1000)},
        {"backward seeks", small, {{300, 10, -250}, {400, 0, -400}, {100, 5, 2000}, {500, 0, 0}}},
        {"reads past the old file's end", small, {{2500, 0, 0}, {1000, 20, 10000}, {300, 0, -20000}}},
        {"zero-length parts", small, {{0, 0, 7}, {0, 30, 0}, {40, 0, 0}, {0, 0, -47}, {10, 0, 0}}},
        {"only extra bytes", small, {{0, 4000, 0}}},
        {"seek to the old file's exact end", small, {{10, 0, 2990}, {50, 0, 0}}},
        {"thousands of tiny entries", small, randomControls(generator, 3000, 4, 3, 3)},
        {"entries larger than the chunks", large, {{(5u << 20) / 2, 700000, -(1 << 20)}, {1200000, 0, 0}, {1, 3 << 20, 0}}},
    };
    for (const Case& entry : cases) {
        std::uint64_t newSize = 0;
        for (const BsdiffControl& control : entry.controls) newSize += control.add + control.copy;
        const std::string newData = withEdits(test::randomBytes(12, newSize), 15, 100);
        expectAppliesTo(entry.oldData, newData, tools::makeBsdiffPatch(entry.oldData, newData, entry.controls), entry.name);
    }
}

// A valid patch with all three blocks in use, to cut and change.
std::string samplePatch(const std::string& oldData) {
    const std::vector<BsdiffControl> controls = {{120, 40, -60}, {200, 10, 30}, {80, 0, 0}};
    return tools::makeBsdiffPatch(oldData, withEdits(test::randomBytes(20, 450), 21, 10), controls);
}

TEST(BsdiffApplierTest, RefusesAndAcceptsOddPatchesLikeTheTool) {
    MORRA_NEEDS_TOOL("bspatch");
    const std::string oldData = test::randomBytes(22, 1000);
    const std::string valid = samplePatch(oldData);
    const std::string zeros(100, '\0');
    const std::string bzZeros = tools::bzip2Compress(zeros);
    auto patchWith = [&](const std::vector<RawControl>& controls, std::int64_t newSize) {
        return rawPatch(controls, zeros, zeros, newSize);
    };
    const std::string zeroHeader = "BSDIFF40" + encodeOffset(0) + encodeOffset(0);
    struct Case {
        const char* name;
        std::string patch;
    };
    const std::vector<Case> refused = {
        {"wrong magic", "BSDIFF41" + valid.substr(8)},
        {"negative control length", "BSDIFF40" + encodeOffset(-1) + valid.substr(16)},
        {"negative diff length", valid.substr(0, 16) + encodeOffset(-5) + valid.substr(24)},
        {"negative new size", valid.substr(0, 24) + encodeOffset(-450) + valid.substr(32)},
        {"control length past the largest offset", "BSDIFF40" + encodeOffset(INT64_MAX - 31) + valid.substr(16)},
        {"block offsets overflowing together",
         "BSDIFF40" + encodeOffset(INT64_MAX / 2) + encodeOffset(INT64_MAX / 2) + valid.substr(24)},
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
         assemblePatch(tools::bzip2Compress(controlBlock({{30, 0, 0}, {20, 0, 0}}).substr(0, 40)), bzZeros,
                             bzZeros, 50)},
        {"entries that make no progress", patchWith({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 5)},
        {"diff block shorter than the adds", rawPatch({{150, 0, 0}}, zeros, zeros, 150)},
        {"extra block shorter than the copies", rawPatch({{0, 150, 0}}, zeros, zeros, 150)},
        {"garbage instead of a bzip2 stream",
         assemblePatch(tools::bzip2Compress(controlBlock({{5, 0, 0}})), "hello, world", bzZeros, 5)},
        {"two bzip2 streams where one is read",
         assemblePatch(tools::bzip2Compress(controlBlock({{20, 0, 0}})),
                             tools::bzip2Compress(zeros.substr(0, 10)) + tools::bzip2Compress(zeros.substr(0, 10)), bzZeros, 20)},
        {"diff block placed past the patch's end",
         assemblePatch(tools::bzip2Compress(controlBlock({{5, 0, 0}})), bzZeros, bzZeros, 5, INT64_C(1) << 40)},
    };
    const std::vector<Case> accepted = {
        {"empty result and nothing after the header", zeroHeader + encodeOffset(0)},
        {"empty result written as negative zero", zeroHeader + std::string(7, '\0') + "\x80"},
        {"empty result and garbage blocks", zeroHeader + encodeOffset(0) + "garbage"},
        {"trailing bytes after the extra block", valid + "trailing"},
        {"unused extra block placed past the patch's end",
         assemblePatch(tools::bzip2Compress(controlBlock({{5, 0, 0}})), tools::bzip2Compress("12345"), "", 5,
                             std::nullopt, INT64_C(1) << 40)},
        {"a bzip2 stream followed by garbage",
         assemblePatch(tools::bzip2Compress(controlBlock({{0, 5, 0}})), "", tools::bzip2Compress("abcde") + "zz", 5)},
    };
    for (const Case& entry : refused) EXPECT_EQ(expectSameAsTool(oldData, entry.patch, entry.name).error, kCorruptPatchText) << entry.name;
    for (const Case& entry : accepted) EXPECT_TRUE(expectSameAsTool(oldData, entry.patch, entry.name).succeeded) << entry.name;
    for (std::size_t length = 0; length <= valid.size(); ++length)
        expectSameAsTool(oldData, valid.substr(0, length), "cut at " + std::to_string(length));
}

// Where the tool is undefined or allocates the whole new file up front: a header claiming an
// enormous result costs nothing before the patch proves corrupt, and bytes before the old file's
// start count as absent, like bytes past its end.
TEST(BsdiffApplierTest, HandlesWhatTheToolGetsWrong) {
    const std::string enormous = rawPatch({{10, 0, 0}}, std::string(10, '\1'), "", INT64_MAX);
    const std::string beforeStart = rawPatch({{0, 0, -4}, {8, 0, 0}}, std::string(8, '\1'), "", 8);
    for (bool parallel : {true, false}) {
        EXPECT_EQ(test::applyInMemory("old", enormous, parallel), (test::PatchOutcome{false, "", kCorruptPatchText}));
        EXPECT_EQ(test::applyInMemory("ABCDEFGH", beforeStart, parallel), (test::PatchOutcome{true, "\1\1\1\1BCDE", ""}));
    }
}

}  // namespace
}  // namespace morra
