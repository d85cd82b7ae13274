#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "InstallerEngine.h"
#include "InstallerError.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// A game file and a support folder that does not exist yet (with a missing parent, too).
struct BackupFixture {
    BackupFixture()
        : game(root.path() / "morra.app" / "Contents" / "Resources" / "Data"),
          support(root.path() / "home" / "support"),
          store(support / "Steam-57314208"),
          asset(game / "level2"),
          supportOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()) {
        fs::create_directories(game);
        test::writeFile(asset, test::randomBytes(1, 200000));
        assetDigest = test::digestOf(test::readFile(asset));
    }

    test::TemporaryDirectory root;
    fs::path game, support, store, asset;
    std::string assetDigest;
    test::ScopedEnvironment supportOverride;
};

void expectMessage(const std::function<void()>& call, const std::string& message) {
    try {
        call();
        ADD_FAILURE() << "no error, expected: " << message;
    } catch (const InstallerError& error) {
        EXPECT_EQ(error.message(), message);
    }
}

TEST(Backups, AFirstCallMakesTheStoreAndAVerifiedCopyAndASecondCallReusesIt) {
    BackupFixture fixture;
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    const auto gameBefore = test::snapshot(fixture.game);

    engine.createBackupIfNeeded(fixture.asset, fixture.assetDigest);
    EXPECT_EQ(test::readFile(fixture.store / "level2"), test::readFile(fixture.asset));
    EXPECT_TRUE(test::temporariesIn(fixture.store).empty());
    EXPECT_EQ(injector.callsOf(FileOperation::Create).size(), 1u);

    engine.createBackupIfNeeded(fixture.asset, fixture.assetDigest);
    EXPECT_EQ(injector.callsOf(FileOperation::Create).size(), 1u) << "the second call must not copy";
    EXPECT_EQ(test::snapshot(fixture.game), gameBefore);
    EXPECT_EQ(test::snapshot(fixture.store).size(), 1u);
}

TEST(Backups, ADamagedBackupIsRefusedAndLeftAsFound) {
    BackupFixture fixture;
    const InstallerEngine engine;
    const std::string original = test::readFile(fixture.asset);
    for (const std::string& damaged : {original.substr(0, 1000), original + "x", std::string("")}) {
        fs::create_directories(fixture.store);
        test::writeFile(fixture.store / "level2", damaged);
        for (int call = 0; call < 2; ++call)
            expectMessage([&] { engine.createBackupIfNeeded(fixture.asset, fixture.assetDigest); },
                          "Существующая резервная копия повреждена: level2");
        EXPECT_EQ(test::readFile(fixture.store / "level2"), damaged);
        EXPECT_EQ(test::readFile(fixture.asset), original);
    }
}

// The game file changed between the caller's check and the copy: no backup remains.
TEST(Backups, ACopyThatFailsItsCheckIsDeleted) {
    BackupFixture fixture;
    const InstallerEngine engine;
    expectMessage([&] { engine.createBackupIfNeeded(fixture.asset, test::digestOf("what the caller saw")); },
                  "Не удалось создать проверенную резервную копию: level2");
    EXPECT_TRUE(fs::exists(fixture.store));
    EXPECT_TRUE(fs::is_empty(fixture.store));
    // A later call with the right digest still works.
    engine.createBackupIfNeeded(fixture.asset, fixture.assetDigest);
    EXPECT_EQ(test::readFile(fixture.store / "level2"), test::readFile(fixture.asset));
}

TEST(Backups, FileServiceAndDigestFailuresPassThroughAndLeaveNoBackup) {
    struct Case {
        const char* label;
        FileOperation operation;
        const char* name;
        int error;
    };
    const std::vector<Case> cases = {
        {"profile folder not created", FileOperation::CreateDirectory, "Steam-57314208", EACCES},
        {"copy not created", FileOperation::Create, ".backing-up-", EACCES},
        {"disk full while copying", FileOperation::Write, ".backing-up-", ENOSPC},
        {"copy not flushed", FileOperation::Sync, ".backing-up-", EIO},
        {"copy unreadable for its digest", FileOperation::Read, ".backing-up-", EIO},
        {"copy not given its name", FileOperation::Rename, "level2", EIO},
    };
    for (const Case& entry : cases) {
        BackupFixture fixture;
        test::FaultInjector injector;
        injector.fail(FileOperation::Clone, "", EOPNOTSUPP);
        injector.fail(entry.operation, entry.name, entry.error);
        const InstallerEngine engine(injector.fileManager());
        const auto gameBefore = test::snapshot(fixture.game);
        try {
            engine.createBackupIfNeeded(fixture.asset, fixture.assetDigest);
            ADD_FAILURE() << entry.label << ": no error";
        } catch (const std::system_error& error) {
            EXPECT_EQ(error.code().value(), entry.error) << entry.label << ": " << error.what();
        }
        EXPECT_FALSE(fs::exists(fixture.store / "level2")) << entry.label;
        EXPECT_TRUE(test::temporariesIn(fixture.store).empty()) << entry.label;
        EXPECT_EQ(test::snapshot(fixture.game), gameBefore) << entry.label;
    }
}

TEST(Backups, AnUnreadableExistingBackupIsTheDigestsError) {
    BackupFixture fixture;
    fs::create_directories(fixture.store);
    test::writeFile(fixture.store / "level2", test::readFile(fixture.asset));
    test::FaultInjector injector;
    injector.fail(FileOperation::Read, "level2", EIO);
    const InstallerEngine engine(injector.fileManager());
    try {
        engine.createBackupIfNeeded(fixture.asset, fixture.assetDigest);
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EIO);
    }
    EXPECT_EQ(test::readFile(fixture.store / "level2"), test::readFile(fixture.asset));
}

}  // namespace
}  // namespace morra
