#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <system_error>

#include "BsdiffWriter.h"
#include "InstallerEngine.h"
#include "InstallerError.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// An asset in three forms: untouched (also kept as a backup), with the base patch applied, and
// with the base patch and a delta applied.
struct AssetFixture {
    AssetFixture()
        : data(root.path() / "morra.app" / "Contents" / "Resources" / "Data"),
          asset(data / "level2"),
          backup(root.path() / "support" / "level2"),
          basePatch(root.path() / "Payload" / "level2.bsdiff"),
          deltaPatch(root.path() / "Payload" / "level2-skill-cards.delta.bsdiff") {
        fs::create_directories(data);
        fs::create_directories(backup.parent_path());
        fs::create_directories(basePatch.parent_path());
        original = test::randomBytes(1, 500000);
        base = original.substr(0, 200000) + test::randomBytes(2, 777) + original.substr(200000);
        base[1000] = 'B';
        delta = base.substr(0, 300000) + base.substr(300500);
        delta[5] = 'D';
        test::writeFile(asset, original);
        test::writeFile(backup, original);
        test::writeFile(basePatch, tools::makeBsdiffPatch(original, base, {{200000, 777, 0}, {300000, 0, 0}}));
        test::writeFile(deltaPatch, tools::makeBsdiffPatch(base, delta, {{300000, 0, 500}, {base.size() - 300500, 0, 0}}));
    }

    test::TemporaryDirectory root;
    fs::path data, asset, backup, basePatch, deltaPatch;
    std::string original, base, delta;
};

template <typename Call>
std::string messageOf(Call call) {
    try {
        call();
    } catch (const InstallerError& error) {
        return error.message();
    }
    return "(no error)";
}

TEST(PatchGameAsset, RewritesTheAssetInPlaceFromItself) {
    AssetFixture fixture;
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    engine.patchGameAsset(fixture.asset, fixture.asset, {fixture.basePatch}, test::digestOf(fixture.base));
    EXPECT_EQ(test::readFile(fixture.asset), fixture.base);
    EXPECT_TRUE(test::temporariesIn(fixture.data).empty());
    const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_TRUE(std::regex_match(created[0].filename().string(), std::regex("\\.level2\\.russianblind-[0-9A-F-]{36}")));
    const std::vector<fs::path> synced = injector.callsOf(FileOperation::Sync);
    EXPECT_NE(std::find(synced.begin(), synced.end(), created[0]), synced.end());
}

// A chain: the second patch's old file is the first one's output; only the last output is
// checked, flushed and given the asset's name; the backup it starts from is never changed.
TEST(PatchGameAsset, AppliesAChainFromTheBackup) {
    AssetFixture fixture;
    test::writeFile(fixture.asset, "an earlier release of the translation");
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    engine.patchGameAsset(fixture.asset, fixture.backup, {fixture.basePatch, fixture.deltaPatch}, test::digestOf(fixture.delta));
    EXPECT_EQ(test::readFile(fixture.asset), fixture.delta);
    EXPECT_EQ(test::readFile(fixture.backup), fixture.original);
    EXPECT_TRUE(test::temporariesIn(fixture.data).empty());

    const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
    ASSERT_EQ(created.size(), 2u);
    for (const fs::path& output : created) EXPECT_EQ(output.parent_path(), fixture.data);
    const std::vector<fs::path> opened = injector.callsOf(FileOperation::Open);
    EXPECT_NE(std::find(opened.begin(), opened.end(), created[0]), opened.end()) << "the first output feeds the second patch";
    const std::vector<fs::path> synced = injector.callsOf(FileOperation::Sync);
    EXPECT_EQ(std::find(synced.begin(), synced.end(), created[0]), synced.end());
    EXPECT_NE(std::find(synced.begin(), synced.end(), created[1]), synced.end());
}

TEST(PatchGameAsset, AnEmptyPatchListCreatesNothing) {
    AssetFixture fixture;
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    EXPECT_EQ(messageOf([&] { engine.patchGameAsset(fixture.asset, fixture.asset, {}, test::digestOf(fixture.base)); }),
              "Для level2 не указан бинарный патч.");
    EXPECT_TRUE(injector.callsOf(FileOperation::Create).empty());
    EXPECT_EQ(test::readFile(fixture.asset), fixture.original);
}

// The tool's text is decoded as UTF-8; when it is not valid UTF-8 (here a path with a stray
// byte), nothing of it follows the message's prefix.
TEST(PatchGameAsset, AToolTextThatIsNotUtf8IsDropped) {
    AssetFixture fixture;
    const InstallerEngine engine;
    const fs::path missing = fixture.root.path() / "level2\xff.bsdiff";
    EXPECT_EQ(messageOf([&] { engine.patchGameAsset(fixture.asset, fixture.asset, {missing}, test::digestOf(fixture.base)); }),
              "bspatch завершился с ошибкой: ");
    const fs::path russian = fixture.root.path() / "уровень2.bsdiff";
    EXPECT_EQ(messageOf([&] { engine.patchGameAsset(fixture.asset, fixture.asset, {russian}, test::digestOf(fixture.base)); }),
              "bspatch завершился с ошибкой: bspatch: fopen(" + russian.string() + "): No such file or directory\n");
    EXPECT_EQ(test::readFile(fixture.asset), fixture.original);
}

TEST(PatchGameAsset, EveryFailureLeavesTheAssetAndNoTemporary) {
    AssetFixture fixture;
    const std::string corrupt = test::readFile(fixture.deltaPatch).substr(0, 100);
    const fs::path corruptPatch = fixture.root.path() / "corrupt.bsdiff";
    test::writeFile(corruptPatch, corrupt);
    const std::string deltaDigest = test::digestOf(fixture.delta);
    const std::string dataFolder = fixture.data.string();
    struct Case {
        const char* label;
        std::vector<fs::path> patches;
        std::string digest;
        std::optional<std::pair<FileOperation, int>> fault;
        std::string expected;  // a regular expression of the message
    };
    const std::vector<Case> cases = {
        {"first patch corrupt", {corruptPatch, fixture.deltaPatch}, deltaDigest, std::nullopt,
         "bspatch завершился с ошибкой: bspatch: Corrupt patch\n"},
        {"second patch corrupt", {fixture.basePatch, corruptPatch}, deltaDigest, std::nullopt,
         "bspatch завершился с ошибкой: bspatch: Corrupt patch\n"},
        {"patches in the wrong order", {fixture.deltaPatch, fixture.basePatch}, deltaDigest, std::nullopt,
         "(bspatch завершился с ошибкой: bspatch: Corrupt patch\n|Патч создал файл с неверной контрольной суммой\\.)"},
        {"final digest wrong", {fixture.basePatch}, deltaDigest, std::nullopt, "Патч создал файл с неверной контрольной суммой\\."},
        {"disk full in the second patch", {fixture.basePatch, fixture.deltaPatch}, deltaDigest,
         std::pair{FileOperation::Write, ENOSPC},
         "bspatch завершился с ошибкой: bspatch: " + dataFolder + "/\\.level2\\.russianblind-[0-9A-F-]{36}: No space left on device\n"},
    };
    for (const Case& entry : cases) {
        test::FaultInjector injector;
        // The first output is written completely; the second one fails.
        if (entry.fault) injector.fail(entry.fault->first, ".russianblind-", entry.fault->second, 1);
        const InstallerEngine engine(injector.fileManager());
        const std::string message = messageOf([&] { engine.patchGameAsset(fixture.asset, fixture.asset, entry.patches, entry.digest); });
        EXPECT_TRUE(std::regex_match(message, std::regex(entry.expected))) << entry.label << ": " << message;
        EXPECT_EQ(test::readFile(fixture.asset), fixture.original) << entry.label;
        EXPECT_TRUE(test::temporariesIn(fixture.data).empty()) << entry.label;
    }

    test::FaultInjector injector;
    injector.fail(FileOperation::Rename, "level2", EIO);
    const InstallerEngine engine(injector.fileManager());
    try {
        engine.patchGameAsset(fixture.asset, fixture.backup, {fixture.basePatch, fixture.deltaPatch}, deltaDigest);
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EIO);
    }
    EXPECT_EQ(test::readFile(fixture.asset), fixture.original);
    EXPECT_TRUE(test::temporariesIn(fixture.data).empty());
}

}  // namespace
}  // namespace morra
