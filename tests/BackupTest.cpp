#include <gtest/gtest.h>

#include <cerrno>

#include "Engine.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::failureOf;

// A game file and a support folder that does not exist yet (with a missing parent, too).
struct BackupFixture {
    BackupFixture() {
        test::writeFile(asset, test::randomBytes(1, 200000));
        digest = test::digestOf(test::readFile(asset));
    }
    std::string backupOf(const Engine& engine, const std::string& expected) const {
        return failureOf([&] { engine.createBackupIfNeeded(asset, expected); });
    }

    test::TemporaryDirectory root;
    fs::path game = root.path() / "morra.app" / "Contents" / "Resources" / "Data", asset = game / "level2";
    fs::path support = root.path() / "home" / "support", store = support / "Steam-57314208", backup = store / "level2";
    test::ScopedEnvironment supportOverride{"MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()};
    std::string digest;
};

TEST(Backups, AFirstCallMakesTheStoreAndAVerifiedCopyAndASecondCallReusesIt) {
    BackupFixture fixture;
    test::FaultInjector injector;
    const Engine engine(injector.fileManager());
    const auto gameBefore = test::digests(fixture.game);
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(fixture.backupOf(engine, fixture.digest), "(no error)");
        EXPECT_EQ(test::digests(fixture.store), (std::map<std::string, std::string>{{"level2", fixture.digest}}));
        EXPECT_EQ(injector.callsOf(FileOperation::Create).size(), 1u) << "the second call must not copy";
    }
    EXPECT_EQ(test::digests(fixture.game), gameBefore);
}

TEST(Backups, ADamagedBackupIsRefusedAndLeftAsFound) {
    BackupFixture fixture;
    const std::string original = test::readFile(fixture.asset);
    for (const std::string& damaged : {original.substr(0, 1000), original + "x", std::string("")}) {
        test::writeFile(fixture.backup, damaged);
        for (int call = 0; call < 2; ++call)
            EXPECT_EQ(fixture.backupOf(Engine(), fixture.digest), "Существующая резервная копия повреждена: level2");
        EXPECT_EQ(test::readFile(fixture.backup), damaged);
        EXPECT_EQ(test::readFile(fixture.asset), original);
    }
}

// The game file changed between the caller's check and the copy: no backup remains, and a later
// call with the right digest still works.
TEST(Backups, ACopyThatFailsItsCheckIsDeleted) {
    BackupFixture fixture;
    const Engine engine;
    EXPECT_EQ(fixture.backupOf(engine, test::digestOf("what the caller saw")),
              "Не удалось создать проверенную резервную копию: level2");
    EXPECT_TRUE(fs::exists(fixture.store));
    EXPECT_TRUE(fs::is_empty(fixture.store));
    EXPECT_EQ(fixture.backupOf(engine, fixture.digest), "(no error)");
    EXPECT_EQ(test::readFile(fixture.backup), test::readFile(fixture.asset));
}

TEST(Backups, FileServiceAndDigestFailuresPassThroughAndLeaveNoNewBackup) {
    struct Case {
        FileOperation operation;
        const char* name;
        int error;
        bool backupExists = false;
    };
    const std::vector<Case> cases = {
        {FileOperation::CreateDirectory, "Steam-57314208", EACCES},
        {FileOperation::Create, ".backing-up-", EACCES},
        {FileOperation::Write, ".backing-up-", ENOSPC},
        {FileOperation::Sync, ".backing-up-", EIO},
        {FileOperation::Read, ".backing-up-", EIO},  // the copy's digest
        {FileOperation::Rename, "level2", EIO},
        {FileOperation::Read, "level2", EIO, true},  // the existing backup's digest
    };
    for (const Case& entry : cases) {
        BackupFixture fixture;
        if (entry.backupExists) test::writeFile(fixture.backup, test::readFile(fixture.asset));
        const auto gameBefore = test::digests(fixture.game), storeBefore = test::digests(fixture.store);
        test::FaultInjector injector;
        injector.fail(FileOperation::Clone, "", EOPNOTSUPP);
        injector.fail(entry.operation, entry.name, entry.error);
        EXPECT_EQ(fixture.backupOf(Engine(injector.fileManager()), fixture.digest), test::fileError(entry.error))
            << entry.name;
        EXPECT_EQ(test::digests(fixture.store), storeBefore) << entry.name;
        EXPECT_EQ(test::digests(fixture.game), gameBefore) << entry.name;
    }
}

}  // namespace
}  // namespace morra
