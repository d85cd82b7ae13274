// Verified backups: made once under a temporary name, proven by their digest, reused, never
// repaired or replaced.

#include "steps/Backups.h"

#include <gtest/gtest.h>

#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// A game file and a support folder that does not exist yet (with a missing parent, too).
struct BackupFixture {
    BackupFixture() { test::writeFile(asset, original); }
    std::string backUp(const std::string& expected, FileManager files = FileManager()) const {
        return test::failureOf([&] { createBackupIfNeeded(test::demoContext(std::move(files)), asset, expected); });
    }

    test::TemporaryDirectory root;
    fs::path game = root.path() / "morra.app" / "Contents" / "Resources" / "Data", asset = game / "level2";
    fs::path support = root.path() / "home" / "support", store = support / "Steam-57314208", backup = store / "level2";
    test::ScopedEnvironment supportOverride{"MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()};
    std::string original = test::randomBytes(1, 200000), digest = test::digestOf(original);
};

TEST(Backups, AFirstCallMakesTheStoreAndAVerifiedCopyAndASecondCallReusesIt) {
    BackupFixture fixture;
    test::FaultInjector injector;
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(fixture.backUp(fixture.digest, injector.fileManager()), "(no error)");
        EXPECT_EQ(test::digests(fixture.store), (std::map<std::string, std::string>{{"level2", fixture.digest}}));
        EXPECT_EQ(injector.callsOf(FileOperation::Create).size(), 1u) << "the second call must not copy";
    }
    test::expectDurablyPublished(injector, fixture.backup, ".level2.backing-up-");
    EXPECT_EQ(test::readFile(fixture.asset), fixture.original);
}

TEST(Backups, ADamagedBackupIsRefusedAndLeftAsFound) {
    BackupFixture fixture;
    for (const std::string& damaged : {fixture.original.substr(0, 1000), fixture.original + "x", std::string()}) {
        test::writeFile(fixture.backup, damaged);
        EXPECT_EQ(fixture.backUp(fixture.digest), "Существующая резервная копия повреждена: level2");
        EXPECT_EQ(test::readFile(fixture.backup), damaged);
    }
}

// The game file changed between the caller's check and the copy: no backup remains, and a later
// call with the right digest still works.
TEST(Backups, ACopyThatFailsItsCheckLeavesNothing) {
    BackupFixture fixture;
    EXPECT_EQ(fixture.backUp(test::digestOf("what the caller saw")), "Не удалось создать проверенную резервную копию: level2");
    EXPECT_TRUE(fs::is_empty(fixture.store));
    EXPECT_EQ(fixture.backUp(fixture.digest), "(no error)");
    EXPECT_EQ(test::readFile(fixture.backup), fixture.original);
}

// Another copy of the game, backed up into the same store at the same moment, put its backup in
// place between this call's check and its rename: a right one serves, a wrong one is damaged.
TEST(Backups, ABackupMadeMeanwhileByAnotherRunIsAcceptedOnlyIfRight) {
    for (bool right : {true, false}) {
        BackupFixture fixture;
        const std::string other = right ? fixture.original : std::string("half of it");
        const FaultHook placeOther = [&](FileOperation operation, const fs::path& path) {
            if (operation == FileOperation::Rename && path == fixture.backup) test::writeFile(fixture.backup, other);
            return 0;
        };
        EXPECT_EQ(fixture.backUp(fixture.digest, FileManager(placeOther)),
                  right ? "(no error)" : "Существующая резервная копия повреждена: level2");
        EXPECT_EQ(test::readFile(fixture.backup), other);
        EXPECT_TRUE(test::temporaries(fixture.root.path()).empty());
    }
}

}  // namespace
}  // namespace morra
