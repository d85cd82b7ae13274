#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "Engine.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::failureOf;

// The payload's lockit and its place in the game.
struct LockitFixture {
    LockitFixture() {
        test::writeFile(payload, lockit);
        fs::create_directories(target.parent_path());
    }
    std::string install(const Engine& engine, const std::string& digest) const {
        return failureOf([&] { engine.installFile(payload, target, digest, {test::digestOf("something"), test::digestOf(earlier)}); });
    }

    test::TemporaryDirectory root;
    fs::path payload = root.path() / "Payload" / "russianblind", target = root.path() / "lockits" / "russianblind";
    std::string lockit = test::randomBytes(1, 300000), digest = test::digestOf(lockit);
    std::string earlier = "an earlier lockit";
};

TEST(InstallFile, AnAbsentOrReplaceableTargetGetsAVerifiedCopyByMove) {
    for (bool targetExists : {false, true}) {
        LockitFixture fixture;
        if (targetExists) test::writeFile(fixture.target, fixture.earlier);
        test::FaultInjector injector;
        EXPECT_EQ(fixture.install(Engine(injector.fileManager()), fixture.digest), "(no error)");
        EXPECT_EQ(test::digests(fixture.root.path()),
                  (std::map<std::string, std::string>{{"Payload/russianblind", fixture.digest}, {"lockits/russianblind", fixture.digest}}));
        test::expectDurablyPublished(injector, fixture.target, ".russianblind.installing-");
    }
}

TEST(InstallFile, ADoneTargetEndsTheCallWithoutReadingTheSource) {
    LockitFixture fixture;
    test::writeFile(fixture.target, fixture.lockit);
    fs::remove(fixture.payload);
    test::FaultInjector injector;
    EXPECT_EQ(fixture.install(Engine(injector.fileManager()), fixture.digest), "(no error)");
    EXPECT_EQ(test::readFile(fixture.target), fixture.lockit);
    EXPECT_TRUE(injector.callsOf(FileOperation::Create).empty());
    EXPECT_EQ(injector.indexOf(FileOperation::Open, fixture.payload), injector.calls().size());
}

// Refusals leave the folder exactly as found: no temporary, a link neither followed nor replaced.
TEST(InstallFile, RefusalsLeaveEverythingAsFound) {
    struct Case {
        const char* label;
        std::function<void(const LockitFixture&)> prepare;
        bool wrongDigest;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"foreign target", [](auto& f) { test::writeFile(f.target, "a lockit of another translation"); }, false,
         "Установочный файл уже существует и отличается: "},
        {"link to the right bytes", [](auto& f) {
             test::writeFile(f.root.path() / "elsewhere", f.lockit);
             fs::create_symlink(f.root.path() / "elsewhere", f.target);
         },
         false, "Установщик не изменяет символические ссылки: "},
        // A dangling link counts as absent; the final move then refuses to replace it.
        {"dangling link", [](auto& f) { fs::create_symlink(f.root.path() / "nowhere", f.target); },
         false, test::fileError(EEXIST)},
        {"wrong digest, no target", [](auto&) {}, true, "Ошибка проверки копии russianblind."},
        {"wrong digest, earlier target", [](auto& f) { test::writeFile(f.target, f.earlier); }, true, "Ошибка проверки копии russianblind."},
    };
    for (const Case& entry : cases) {
        LockitFixture fixture;
        entry.prepare(fixture);
        const auto before = test::digests(fixture.root.path());
        const std::string expected = entry.expected + (entry.expected.ends_with(": ") ? fixture.target.string() : "");
        EXPECT_EQ(fixture.install(Engine(), entry.wrongDigest ? test::digestOf("another") : fixture.digest), expected)
            << entry.label;
        EXPECT_EQ(test::digests(fixture.root.path()), before) << entry.label;
    }
}

TEST(InstallFile, FileServiceFailuresPassThroughAndLeaveEverythingAsFound) {
    struct Case {
        FileOperation operation;
        const char* name;
        int error;
    };
    const std::vector<Case> cases = {
        {FileOperation::Open, "russianblind", EACCES},  // the source
        {FileOperation::Read, "russianblind", EIO},     // the target's digest, or the copy when there is no target
        {FileOperation::Write, ".installing-", ENOSPC},
        {FileOperation::Sync, ".installing-", EIO},
        {FileOperation::Rename, "russianblind", EIO},
    };
    for (bool targetExists : {false, true}) {
        for (const Case& entry : cases) {
            LockitFixture fixture;
            if (targetExists) test::writeFile(fixture.target, fixture.earlier);
            const auto before = test::digests(fixture.root.path());
            test::FaultInjector injector;
            injector.fail(FileOperation::Clone, "", EOPNOTSUPP);
            // The target's own digest is read first when it exists.
            injector.fail(entry.operation, entry.name, entry.error, targetExists && entry.operation == FileOperation::Open ? 1 : 0);
            EXPECT_EQ(fixture.install(Engine(injector.fileManager()), fixture.digest), test::fileError(entry.error))
                << entry.name << targetExists;
            EXPECT_EQ(test::digests(fixture.root.path()), before) << entry.name << targetExists;
        }
    }
}

}  // namespace
}  // namespace morra
