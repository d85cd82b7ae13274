#include <gtest/gtest.h>

#include <cerrno>

#include "BsdiffWriter.h"
#include "Engine.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// An asset in three forms: untouched (also kept as a backup), with the base patch applied, and
// with the base patch and a delta applied.
struct AssetFixture {
    AssetFixture() {
        base[1000] = 'B';
        delta[5] = 'D';
        test::writeFile(asset, original);
        test::writeFile(backup, original);
        test::writeFile(basePatch, tools::makeBsdiffPatch(original, base, {{200000, 777, 0}, {300000, 0, 0}}));
        test::writeFile(deltaPatch, tools::makeBsdiffPatch(base, delta, {{300000, 0, 500}, {base.size() - 300500, 0, 0}}));
    }
    std::string patch(const Engine& engine, const fs::path& from, const std::vector<fs::path>& patches,
                      const std::string& expected) const {
        return test::failureOf([&] { engine.patchGameAsset(asset, from, patches, test::digestOf(expected)); });
    }

    test::TemporaryDirectory root;
    fs::path data = root.path() / "Data", asset = data / "level2", backup = root.path() / "support" / "level2",
             basePatch = root.path() / "Payload" / "level2.bsdiff", deltaPatch = root.path() / "Payload" / "level2-skill-cards.delta.bsdiff";
    std::string original = test::randomBytes(1, 500000);
    std::string base = original.substr(0, 200000) + test::randomBytes(2, 777) + original.substr(200000);
    std::string delta = base.substr(0, 300000) + base.substr(300500);
};

// In place from the asset itself, or a chain from the backup: the second patch's old file is the
// first one's output, and only the last output is flushed and given the asset's name.
TEST(PatchGameAsset, RewritesTheAssetFromItselfOrThroughAChainFromTheBackup) {
    for (bool chain : {false, true}) {
        AssetFixture fixture;
        if (chain) test::writeFile(fixture.asset, "an earlier release of the translation");
        test::FaultInjector injector;
        const std::string& expected = chain ? fixture.delta : fixture.base;
        EXPECT_EQ(fixture.patch(Engine(injector.fileManager()), chain ? fixture.backup : fixture.asset,
                                chain ? std::vector{fixture.basePatch, fixture.deltaPatch} : std::vector{fixture.basePatch}, expected),
                  "(no error)");
        EXPECT_EQ(test::readFile(fixture.asset), expected);
        EXPECT_EQ(test::readFile(fixture.backup), fixture.original);
        EXPECT_TRUE(test::temporaries(fixture.root.path()).empty());

        const std::vector<fs::path> created = injector.callsOf(FileOperation::Create), synced = injector.callsOf(FileOperation::Sync);
        ASSERT_EQ(created.size(), chain ? 2u : 1u);
        for (const fs::path& output : created) EXPECT_EQ(test::maskUuids(output.string()), (fixture.data / ".level2.russianblind-<uuid>").string());
        EXPECT_LT(injector.indexOf(FileOperation::Sync, created.back()), injector.indexOf(FileOperation::Rename, fixture.asset));
        if (chain) {
            EXPECT_LT(injector.indexOf(FileOperation::Open, created[0]), injector.calls().size()) << "the first output feeds the second";
            EXPECT_EQ(std::count(synced.begin(), synced.end(), created[0]), 0);
        }
    }
}

// Every failure leaves the asset as it was and no temporary. The tool's text is decoded as UTF-8;
// when it is not valid UTF-8 (a path with a stray byte), nothing of it follows the prefix.
TEST(PatchGameAsset, EveryFailureLeavesTheAssetAndNoTemporary) {
    AssetFixture fixture;
    const fs::path corrupt = fixture.root.path() / "corrupt.bsdiff", stray = fixture.root.path() / "level2\xff.bsdiff",
                   russian = fixture.root.path() / "уровень2.bsdiff";
    test::writeFile(corrupt, test::readFile(fixture.deltaPatch).substr(0, 100));
    const std::string failed = "bspatch завершился с ошибкой: ", wrongDigest = "Патч создал файл с неверной контрольной суммой.";
    struct Case {
        std::vector<fs::path> patches;
        std::string expected;
        FileOperation operation = FileOperation::Open;
        int error = 0;
    };
    const std::vector<Case> cases = {
        {{}, "Для level2 не указан бинарный патч."},
        {{corrupt, fixture.deltaPatch}, failed + "bspatch: Corrupt patch\n"},
        {{fixture.basePatch, corrupt}, failed + "bspatch: Corrupt patch\n"},
        {{fixture.deltaPatch, fixture.basePatch}, wrongDigest},  // the wrong order
        {{fixture.basePatch}, wrongDigest},
        {{stray}, failed},
        {{russian}, failed + "bspatch: fopen(" + russian.string() + "): No such file or directory\n"},
        // The first output is written completely; the second one fails.
        {{fixture.basePatch, fixture.deltaPatch},
         failed + "bspatch: " + fixture.data.string() + "/.level2.russianblind-<uuid>: No space left on device\n", FileOperation::Write, ENOSPC},
        {{fixture.basePatch, fixture.deltaPatch}, test::fileError(EIO), FileOperation::Rename, EIO},
    };
    for (const Case& entry : cases) {
        for (const fs::path& from : {fixture.asset, fixture.backup}) {
            test::FaultInjector injector;
            if (entry.error) injector.fail(entry.operation, "level2", entry.error, entry.operation == FileOperation::Write ? 1 : 0);
            EXPECT_EQ(test::maskUuids(fixture.patch(Engine(injector.fileManager()), from, entry.patches, fixture.delta)),
                      entry.expected);
            EXPECT_EQ(test::readFile(fixture.asset), fixture.original) << entry.expected;
            EXPECT_TRUE(test::temporaries(fixture.root.path()).empty()) << entry.expected;
        }
    }
}

}  // namespace
}  // namespace morra
