#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <system_error>

#include "InstallerEngine.h"
#include "InstallerError.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// The payload's lockit and its place in the game.
struct LockitFixture {
    LockitFixture()
        : payload(root.path() / "Payload" / "russianblind"),
          folder(root.path() / "morra.app" / "bundles" / "lockits"),
          target(folder / "russianblind"),
          lockit(test::randomBytes(1, 300000)),
          digest(test::digestOf(lockit)) {
        fs::create_directories(payload.parent_path());
        fs::create_directories(folder);
        test::writeFile(payload, lockit);
    }
    test::TemporaryDirectory root;
    fs::path payload, folder, target;
    std::string lockit, digest;
    const std::string earlier = "an earlier lockit";
    const std::vector<std::string> replaceable = {test::digestOf("something"), test::digestOf(earlier)};
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

TEST(InstallFile, AnAbsentTargetGetsAVerifiedCopyByMove) {
    LockitFixture fixture;
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable);
    EXPECT_EQ(test::readFile(fixture.target), fixture.lockit);
    EXPECT_EQ(test::readFile(fixture.payload), fixture.lockit);
    EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
    const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_TRUE(std::regex_match(created[0].filename().string(), std::regex("\\.russianblind\\.installing-[0-9A-F-]{36}")));
    // Flushed before it takes the name.
    const std::vector<test::FileCall> calls = injector.calls();
    const auto sync = std::find_if(calls.begin(), calls.end(), [&](const test::FileCall& call) {
        return call.operation == FileOperation::Sync && call.path == created[0];
    });
    const auto rename = std::find_if(calls.begin(), calls.end(), [&](const test::FileCall& call) {
        return call.operation == FileOperation::Rename && call.path == fixture.target;
    });
    EXPECT_LT(sync, rename);
    EXPECT_NE(rename, calls.end());
}

TEST(InstallFile, ADoneTargetEndsTheCallWithoutReadingTheSource) {
    LockitFixture fixture;
    test::writeFile(fixture.target, fixture.lockit);
    fs::remove(fixture.payload);
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable);
    EXPECT_EQ(test::readFile(fixture.target), fixture.lockit);
    EXPECT_TRUE(injector.callsOf(FileOperation::Create).empty());
    for (const fs::path& opened : injector.callsOf(FileOperation::Open)) EXPECT_NE(opened, fixture.payload);
}

TEST(InstallFile, AReplaceableTargetIsRebuiltAndAForeignOneRefused) {
    LockitFixture fixture;
    const InstallerEngine engine;
    test::writeFile(fixture.target, fixture.earlier);
    engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable);
    EXPECT_EQ(test::readFile(fixture.target), fixture.lockit);

    test::writeFile(fixture.target, "a lockit of another translation");
    EXPECT_EQ(messageOf([&] { engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable); }),
              "Установочный файл уже существует и отличается: " + fixture.target.string());
    EXPECT_EQ(test::readFile(fixture.target), "a lockit of another translation");
    EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
}

TEST(InstallFile, SymbolicLinksAtTheTargetAreNeverFollowed) {
    LockitFixture fixture;
    const InstallerEngine engine;
    // A link to a file that even holds the expected bytes is refused.
    const fs::path elsewhere = fixture.root.path() / "elsewhere";
    test::writeFile(elsewhere, fixture.lockit);
    fs::create_symlink(elsewhere, fixture.target);
    EXPECT_EQ(messageOf([&] { engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable); }),
              "Установщик не изменяет символические ссылки: " + fixture.target.string());
    EXPECT_EQ(fs::read_symlink(fixture.target), elsewhere);

    // A dangling link counts as absent; the final move then refuses to replace it.
    fs::remove(fixture.target);
    const fs::path nowhere = fixture.root.path() / "nowhere";
    fs::create_symlink(nowhere, fixture.target);
    try {
        engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable);
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EEXIST) << error.what();
    }
    EXPECT_EQ(fs::read_symlink(fixture.target), nowhere);
    EXPECT_FALSE(fs::exists(nowhere));
    EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
}

TEST(InstallFile, ACopyWithTheWrongDigestNeverTakesTheName) {
    LockitFixture fixture;
    const InstallerEngine engine;
    for (bool targetExists : {false, true}) {
        if (targetExists) test::writeFile(fixture.target, fixture.earlier);
        EXPECT_EQ(messageOf([&] {
                      engine.installFile(fixture.payload, fixture.target, test::digestOf("another lockit"), fixture.replaceable);
                  }),
                  "Ошибка проверки копии russianblind.");
        EXPECT_EQ(test::contentsOrAbsent(fixture.target), targetExists ? fixture.earlier : "(absent)");
        EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
    }
}

TEST(InstallFile, FileServiceFailuresPassThroughAndLeaveTheTarget) {
    struct Case {
        const char* label;
        FileOperation operation;
        const char* name;
        int error;
    };
    const std::vector<Case> cases = {
        {"source unreadable", FileOperation::Open, "russianblind", EACCES},
        {"read error (the target's digest, or the copy when there is no target)", FileOperation::Read, "russianblind", EIO},
        {"disk full", FileOperation::Write, ".installing-", ENOSPC},
        {"flush fails", FileOperation::Sync, ".installing-", EIO},
        {"rename fails", FileOperation::Rename, "russianblind", EIO},
    };
    for (bool targetExists : {false, true}) {
        for (const Case& entry : cases) {
            LockitFixture fixture;
            if (targetExists) test::writeFile(fixture.target, fixture.earlier);
            test::FaultInjector injector;
            injector.fail(FileOperation::Clone, "", EOPNOTSUPP);
            // The target's own digest is read first when it exists.
            injector.fail(entry.operation, entry.name, entry.error, targetExists && entry.operation == FileOperation::Open ? 1 : 0);
            const InstallerEngine engine(injector.fileManager());
            try {
                engine.installFile(fixture.payload, fixture.target, fixture.digest, fixture.replaceable);
                ADD_FAILURE() << entry.label << ": no error";
            } catch (const std::system_error& error) {
                EXPECT_EQ(error.code().value(), entry.error) << entry.label;
            }
            EXPECT_EQ(test::contentsOrAbsent(fixture.target), targetExists ? fixture.earlier : "(absent)") << entry.label;
            EXPECT_TRUE(test::temporariesIn(fixture.folder).empty()) << entry.label;
        }
    }
}

}  // namespace
}  // namespace morra
