// bsdiff patches: the applier, in memory (both decoding modes) and on files, and the maintainer's
// differ, each held to what the system's bspatch and bsdiff do.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <random>
#include <stdexcept>

#include "BsdiffDiffer.h"
#include "BsdiffWriter.h"
#include "PatchTestSupport.h"
#include "RawBsdiffPatch.h"
#include "SuffixIndex.h"
#include "bsdiff/BsdiffApplier.h"
#include "bsdiff/BsdiffFile.h"
#include "files/FileError.h"

namespace morra::test {
namespace {

using tools::BsdiffControl;
using tools::DifferOptions;
using tools::makeBsdiff;
using tools::SuffixIndex;

#define MORRA_NEEDS_TOOL(name) \
    if (systemTool(name).empty()) GTEST_SKIP() << name << " is not installed on this system"

struct PatchOutcome {
    bool succeeded = false;
    std::string output;  // the new file's bytes, when succeeded
    std::string error;   // the tool-style text, when failed
    bool operator==(const PatchOutcome&) const = default;
};

// Runs "tool old new patch" in a temporary folder (a null content is the file the tool writes):
// its status, its standard error and the written file.
ProcessResult runBsdiffTool(const char* name, const std::string* oldData, const std::string* newData, const std::string* patch) {
    const std::string tool = systemTool(name);
    if (tool.empty()) throw std::runtime_error(std::string(name) + " is not installed");
    TemporaryDirectory folder;
    const fs::path files[] = {folder.path() / "old", folder.path() / "new", folder.path() / "patch"};
    const std::string* contents[] = {oldData, newData, patch};
    for (int i = 0; i < 3; ++i)
        if (contents[i]) writeFile(files[i], *contents[i]);
    ProcessResult result = runProcess({tool, files[0].string(), files[1].string(), files[2].string()});
    if (result.status != 0 && result.status != 1) throw std::runtime_error(tool + " ended abnormally");
    result.standardOutput = result.status == 0 ? readFile(files[newData ? 2 : 1]) : "";
    return result;
}

class StringOutput : public bsdiff::BsdiffOutput {
public:
    void write(const unsigned char* data, std::size_t size) override { bytes.append(reinterpret_cast<const char*>(data), size); }
    std::string bytes;
};

PatchOutcome applyInMemory(const std::string& oldData, const std::string& patch, bool parallel) {
    bsdiff::MemoryBsdiffInput oldInput(oldData), patchInput(patch);
    StringOutput output;
    try {
        if (bsdiff::applyBsdiff(oldInput, patchInput, output, bsdiff::BsdiffOptions{parallel}) != output.bytes.size())
            throw std::logic_error("size mismatch");
    } catch (const bsdiff::BsdiffError& error) {
        return {false, "", error.what()};
    }
    return {true, std::move(output.bytes), ""};
}

// Runs the tool and both modes of our applier; all three must agree. Returns the tool's outcome.
PatchOutcome expectSameAsTool(const std::string& oldData, const std::string& patch, const std::string& label) {
    const ProcessResult bspatch = runBsdiffTool("bspatch", &oldData, nullptr, &patch);
    const PatchOutcome tool{bspatch.status == 0, bspatch.standardOutput, bspatch.standardError};
    const PatchOutcome parallel = applyInMemory(oldData, patch, true);
    const PatchOutcome inlineMode = applyInMemory(oldData, patch, false);
    EXPECT_TRUE(parallel == tool) << label << ": outputs differ (tool " << tool.output.size() << " bytes, ours "
                                  << parallel.output.size() << "), errors '" << tool.error << "' / '" << parallel.error << "'";
    EXPECT_TRUE(inlineMode == tool) << label << " (decoding inline)";
    return tool;
}

void expectAppliesTo(const std::string& oldData, const std::string& newData, const std::string& patch, const std::string& label) {
    const PatchOutcome tool = expectSameAsTool(oldData, patch, label);
    EXPECT_TRUE(tool.succeeded && tool.output == newData) << label << ": " << tool.error;
}

std::string withEdits(std::string data, std::uint64_t seed, int edits) {
    std::mt19937_64 generator(seed);
    for (int i = 0; i < edits && !data.empty(); ++i) data[generator() % data.size()] ^= static_cast<char>(1 + generator() % 255);
    return data;
}

// Odd patches refused or accepted, and hand-written controls applied, exactly as the tool does.
TEST(BsdiffApplierTest, MatchesTheToolOnOddAndHandWrittenPatches) {
    const std::string oldData = randomBytes(22, 1000);
    // A valid patch with all three blocks in use, to cut and change.
    const std::string valid = tools::makeBsdiffPatch(oldData, withEdits(randomBytes(20, 450), 21, 10),
                                                     {{120, 40, -60}, {200, 10, 30}, {80, 0, 0}});
    const auto bz = &tools::bzip2Compress;
    const std::string zeros(100, '\0'), bzZeros = bz(zeros);
    auto patchWith = [&](const std::vector<RawControl>& controls, std::int64_t newSize) {
        return rawPatch(controls, zeros, zeros, newSize);
    };
    const std::string zeroHeader = "BSDIFF40" + offsetBytes(0) + offsetBytes(0);
    using Cases = std::vector<std::pair<const char*, std::string>>;
    const Cases refused = {
        {"wrong magic", "BSDIFF41" + valid.substr(8)},
        {"negative control length", "BSDIFF40" + offsetBytes(-1) + offsetBytes(0) + offsetBytes(0)},
        {"negative diff length", zeroHeader.substr(0, 16) + offsetBytes(-5) + offsetBytes(0)},
        {"negative new size", valid.substr(0, 24) + offsetBytes(-450) + valid.substr(32)},
        {"control length past the largest offset", "BSDIFF40" + offsetBytes(INT64_MAX - 31) + valid.substr(16)},
        {"block offsets overflowing together",
         "BSDIFF40" + offsetBytes(INT64_MAX / 2) + offsetBytes(INT64_MAX / 2) + valid.substr(24)},
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
         assemblePatch(bz(controlBlock({{30, 0, 0}, {20, 0, 0}}).substr(0, 40)), bzZeros, bzZeros, 50)},
        {"entries that make no progress", patchWith({{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}, 5)},
        {"diff block shorter than the adds", patchWith({{150, 0, 0}}, 150)},
        {"extra block shorter than the copies", patchWith({{0, 150, 0}}, 150)},
        {"garbage instead of a bzip2 stream",
         assemblePatch(bz(controlBlock({{5, 0, 0}})), "hello, world", bzZeros, 5)},
        {"two bzip2 streams where one is read",
         assemblePatch(bz(controlBlock({{20, 0, 0}})), bz(zeros.substr(0, 10)) + bz(zeros.substr(0, 10)),
                       bzZeros, 20)},
        {"diff block placed past the patch's end",
         assemblePatch(bz(controlBlock({{5, 0, 0}})), bzZeros, bzZeros, 5, INT64_C(1) << 40)},
    };
    const Cases accepted = {
        {"empty result and nothing after the header", zeroHeader + offsetBytes(0)},
        {"empty result written as negative zero", zeroHeader + std::string(7, '\0') + "\x80"},
        {"empty result and garbage blocks", zeroHeader + offsetBytes(0) + "garbage"},
        {"trailing bytes after the extra block", valid + "trailing"},
        {"unused extra block placed past the patch's end",
         assemblePatch(bz(controlBlock({{5, 0, 0}})), bz("12345"), "", 5, std::nullopt, INT64_C(1) << 40)},
        {"a bzip2 stream followed by garbage",
         assemblePatch(bz(controlBlock({{0, 5, 0}})), "", bz("abcde") + "zz", 5)},
    };
    // Where the tool is undefined or allocates the whole new file up front: a header claiming an
    // enormous result costs nothing before the patch proves corrupt, and bytes before the old
    // file's start count as absent, like bytes past its end.
    const std::string enormous = rawPatch({{10, 0, 0}}, std::string(10, '\1'), "", INT64_MAX);
    const std::string beforeStart = rawPatch({{0, 0, -4}, {8, 0, 0}}, std::string(8, '\1'), "", 8);
    // A block that ends early must be refused, not read on as zeros: that would loop for ever.
    ASSERT_EQ(failureWithin(60, [&] {
                  applyInMemory("old", enormous, false);
                  for (const auto& [name, patch] : refused) applyInMemory(oldData, patch, false);
                  for (std::size_t length = 0; length <= valid.size(); ++length)
                      applyInMemory(oldData, valid.substr(0, length), false);
              }),
              "(no error)");
    for (bool parallel : {true, false}) {
        EXPECT_EQ(applyInMemory("old", enormous, parallel), (PatchOutcome{false, "", bsdiff::kCorruptPatchText}));
        EXPECT_EQ(applyInMemory("ABCDEFGH", beforeStart, parallel), (PatchOutcome{true, "\1\1\1\1BCDE", ""}));
    }
    MORRA_NEEDS_TOOL("bspatch");
    for (const auto& [name, patch] : refused)
        EXPECT_EQ(expectSameAsTool(oldData, patch, name).error, bsdiff::kCorruptPatchText) << name;
    for (const auto& [name, patch] : accepted)
        EXPECT_TRUE(expectSameAsTool(oldData, patch, name).succeeded) << name;
    for (std::size_t length = 0; length <= valid.size(); ++length)
        expectSameAsTool(oldData, valid.substr(0, length), "cut at " + std::to_string(length));

    // bsdiff cannot read an empty file (it maps its inputs) nor be told which controls to use, so
    // these patches are written by hand.
    const std::string some = randomBytes(4, 5000), small = randomBytes(10, 3000), large = randomBytes(13, 3 << 20);
    const std::string empty;
    // Tiny entries whose seeks never reach before the old file's start, where the tool is undefined.
    std::mt19937_64 generator(11);
    std::vector<BsdiffControl> tiny(3000);
    for (BsdiffControl& entry : tiny) {
        entry = {generator() % 4, generator() % 3, 0};
        entry.seek = static_cast<std::int64_t>(generator() % 4) - static_cast<std::int64_t>(entry.add);
    }
    const std::vector<std::tuple<const char*, const std::string&, std::vector<BsdiffControl>>> cases = {
        {"empty to some", empty, tools::wholeFileControls(0, 5000, 1000)},
        {"some to empty", some, tools::wholeFileControls(5000, 0, 1000)},
        {"empty to empty", empty, tools::wholeFileControls(0, 0, 1000)},
        {"backward seeks", small, {{300, 10, -250}, {400, 0, -400}, {100, 5, 2000}, {500, 0, 0}}},
        {"reads past the old file's end", small, {{2500, 0, 0}, {1000, 20, 10000}, {300, 0, -20000}}},
        {"zero-length parts", small, {{0, 0, 7}, {0, 30, 0}, {40, 0, 0}, {0, 0, -47}, {10, 0, 0}}},
        {"only extra bytes", small, {{0, 4000, 0}}},
        {"seek to the old file's exact end", small, {{10, 0, 2990}, {50, 0, 0}}},
        {"thousands of tiny entries", small, tiny},
        {"entries larger than the chunks", large, {{(5u << 20) / 2, 700000, -(1 << 20)}, {1200000, 0, 0}, {1, 3 << 20, 0}}},
    };
    for (const auto& [name, old, controls] : cases) {
        std::uint64_t newSize = 0;
        for (const BsdiffControl& control : controls) newSize += control.add + control.copy;
        const std::string newData = withEdits(randomBytes(12, newSize), 15, 100);
        expectAppliesTo(old, newData, tools::makeBsdiffPatch(old, newData, controls), name);
    }
}

struct PatchFiles {
    PatchFiles() {
        writeFile(oldFile, oldData);
        writeFile(patchFile, tools::makeBsdiffPatch(oldData, newData, {{1 << 20, 5000, 0}, {2 << 20, 0, 0}}));
    }
    std::string apply(const files::FileManager& files, bool parallel = true) const {
        return failureOf([&] { bsdiff::applyBsdiffFile(files, oldFile, newFile, patchFile, {false, {parallel}}); });
    }
    ProcessResult runTool(const fs::path& output, bool unprivileged = false) const {
        return runProcess({systemTool("bspatch"), oldFile, output, patchFile}, {}, {}, unprivileged);
    }

    TemporaryDirectory folder;
    fs::path oldFile = folder.path() / "english", newFile = folder.path() / "russianblind", patchFile = folder.path() / "images.bsdiff";
    std::string oldData = randomBytes(1, 3 << 20),
                newData = oldData.substr(0, 1 << 20) + randomBytes(2, 5000) + oldData.substr(1 << 20);
};

// What the tool writes, with its digest, flushed only when asked. Failures the tool meets too, in
// its words; an existing new file is never written over; a failure of the disk or of a read (also
// on the read-ahead thread) removes the new file. The system's refusal of the first change inside
// the game and an input that is not a regular file are no failed calls of the tool: they travel as
// they are, for the player's own words.
TEST(BsdiffFile, WritesWhatTheToolWritesAndReportsWhatItReports) {
    MORRA_NEEDS_TOOL("bspatch");
    PatchFiles files;
    ASSERT_EQ(files.runTool(files.folder.path() / "tool-output").status, 0);
    for (bool sync : {true, false}) {
        fs::remove(files.newFile);
        FaultInjector injector;
        const bsdiff::PatchedFile result = bsdiff::applyBsdiffFile(injector.fileManager(), files.oldFile, files.newFile, files.patchFile, {sync, {sync}});
        EXPECT_EQ(readFile(files.newFile), files.newData);
        EXPECT_EQ(result.digest, digestOf(files.newData));
        EXPECT_EQ(result.size, files.newData.size());
        EXPECT_EQ(fs::status(files.newFile).permissions(), fs::status(files.folder.path() / "tool-output").permissions());
        const std::vector<FileCall> calls = injector.calls();
        EXPECT_EQ(indexOf(calls, files::FileOperation::Sync, files.newFile) < calls.size(), sync);
        EXPECT_TRUE(!sync || calls.back().operation == files::FileOperation::Sync) << "written after the flush";
    }
    const std::vector<std::pair<const char*, std::function<void(PatchFiles&)>>> cases = {
        {"missing patch", [](PatchFiles& f) { fs::remove(f.patchFile); }},
        {"missing old file", [](PatchFiles& f) { fs::remove(f.oldFile); }},
        {"missing folder for the new file", [](PatchFiles& f) { f.newFile = f.folder.path() / "missing" / "russianblind"; }},
        {"corrupt patch", [](PatchFiles& f) { writeFile(f.patchFile, readFile(f.patchFile).substr(0, 3000)); }},
        {"patch not readable", [](PatchFiles&) {}},
    };
    for (const auto& [label, prepare] : cases) {
        PatchFiles files;
        prepare(files);
        // Root reads any file: the tool runs unprivileged, the applier meets the same error by injection.
        const bool unreadable = std::string(label) == "patch not readable";
        if (unreadable) fs::permissions(files.patchFile, fs::perms::none);
        const ProcessResult tool = files.runTool(files.newFile, unreadable);
        EXPECT_EQ(tool.status, 1) << label;
        FaultInjector injector;
        if (unreadable) injector.fail(files::FileOperation::Open, "images.bsdiff", EACCES);
        EXPECT_EQ(files.apply(injector.fileManager()), tool.standardError) << label;
        EXPECT_FALSE(fs::exists(files.newFile)) << label;
    }

    writeFile(files.newFile, "someone else's");
    EXPECT_EQ(files.apply(files::FileManager()), "bspatch: open(" + files.newFile.string() + "): File exists\n");
    EXPECT_EQ(readFile(files.newFile), "someone else's");
    fs::remove(files.newFile);
    const std::tuple<files::FileOperation, const char*, int, int, std::string> faults[] = {
        {files::FileOperation::Write, "russianblind", ENOSPC, 0, files.newFile.string() + ": No space left on device"},
        {files::FileOperation::Read, "english", EIO, 0, files.oldFile.string() + ": Input/output error"},
        {files::FileOperation::Read, "images.bsdiff", EIO, 1, "fread(" + files.patchFile.string() + "): Input/output error"},
    };
    for (bool parallel : {true, false}) {
        for (const auto& [operation, name, error, skip, text] : faults) {
            FaultInjector injector;
            injector.fail(operation, name, error, skip);
            EXPECT_EQ(files.apply(injector.fileManager(), parallel), "bspatch: " + text + "\n");
            EXPECT_FALSE(fs::exists(files.newFile)) << text;
        }
    }
    const auto reasonOf = [&](const files::FileManager& fileManager) {
        try {
            bsdiff::applyBsdiffFile(fileManager, files.oldFile, files.newFile, files.patchFile, {false, {false}});
        } catch (const files::FileError& error) {
            return error.reason();
        }
        return files::FileErrorReason::FailedCall;
    };
    FaultInjector refusing;
    refusing.fail(files::FileOperation::Create, "russianblind", EPERM);
    EXPECT_EQ(reasonOf(refusing.fileManager().withAppManagement(true).guardingChangesIn(files.folder.path())),
              files::FileErrorReason::AppManagement);
    fs::remove(files.oldFile);
    ASSERT_EQ(::mkfifo(files.oldFile.c_str(), 0644), 0);
    EXPECT_EQ(reasonOf(files::FileManager()), files::FileErrorReason::NotRegularFile);
    EXPECT_FALSE(fs::exists(files.newFile));
}

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

// Both ways of matching (a suffix sort, in tiny chunks and segments that put many of their edges
// inside matches; and the block index, with several steps) on many generated pairs.
TEST(BsdiffDifferTest, PatchesAreExactTheSameWhateverTheThreadsAndAsSmallAsBsdiffs) {
    MORRA_NEEDS_TOOL("bspatch");
    std::mt19937_64 random(22);
    for (int pair = 0; pair < 40; ++pair) {
        const std::string oldData = generatedOld(random);
        const std::string newData = generatedNew(oldData, random);
        const DifferOptions suffixSorted{.indexChunkBytes = 4096, .segmentBytes = 777};
        const DifferOptions fingerprinted{.suffixSortBelow = 0, .fingerprintStep = 1 + random() % 32};
        for (const DifferOptions& options : {suffixSorted, fingerprinted}) {
            const std::string matching = options.suffixSortBelow > 0
                                             ? "suffix sort"
                                             : "blocks at every " + std::to_string(options.fingerprintStep);
            expectAppliesTo(oldData, newData, makeBsdiff(oldData, newData, options),
                            "pair " + std::to_string(pair) + ", " + std::to_string(oldData.size()) + " to " +
                                std::to_string(newData.size()) + " bytes, " + matching);
        }
    }

    // New content of its own (here 150000 bytes) makes the suffix-sorting differ build its filter
    // of the old file partway through, at a moment that depends on the threads; the patch must not.
    std::string oldData = randomBytes(9, 400000);
    std::string newData = generatedNew(oldData, random);
    newData.insert(200000, randomBytes(13, 150000));
    DifferOptions options{.threads = 1, .indexChunkBytes = 64 << 10, .segmentBytes = 10000};
    const std::string one = makeBsdiff(oldData, newData, options);
    expectAppliesTo(oldData, newData, one, "one thread");
    for (unsigned threads : {2u, 3u, 8u}) {
        options.threads = threads;
        EXPECT_EQ(one, makeBsdiff(oldData, newData, options));
    }

    // The block index finds what the suffix sort finds where matches are long: on edits that shift
    // the rest of the file, its patch is hardly larger than /usr/bin/bsdiff's (a few per cent of a
    // patch this small is a few dozen bytes of control entries). The applier applies both exactly.
    MORRA_NEEDS_TOOL("bsdiff");
    random.seed(7);
    oldData.clear();
    while (oldData.size() < 400000) oldData += generatedOld(random);
    newData = oldData;
    for (int edit = 0; edit < 100; ++edit) {
        const std::size_t at = random() % newData.size();
        if (edit % 2 == 0) newData.insert(at, randomBytes(random(), 1 + random() % 50));
        else newData.erase(at, 1 + random() % 50);
    }
    const std::string ours = makeBsdiff(oldData, newData, DifferOptions{.suffixSortBelow = 0});
    const ProcessResult bsdiff = runBsdiffTool("bsdiff", &oldData, &newData, nullptr);
    ASSERT_EQ(bsdiff.status, 0) << bsdiff.standardError;
    const std::string& theirs = bsdiff.standardOutput;
    expectAppliesTo(oldData, newData, ours, "block index");
    expectAppliesTo(oldData, newData, theirs, "bsdiff");
    EXPECT_LE(ours.size(), theirs.size() * 105 / 100);
}

std::size_t longestByHand(const std::string& text, const std::string& query) {
    std::size_t best = 0;
    for (std::size_t p = 0; p < text.size(); ++p) {
        std::size_t length = 0;
        while (p + length < text.size() && length < query.size() && text[p + length] == query[length]) ++length;
        best = std::max(best, length);
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
                const std::size_t expected = longestByHand(text, query);
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
