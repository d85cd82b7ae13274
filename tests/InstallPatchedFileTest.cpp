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

// A game's English images bundle, the patch that makes the Russian one from it, and its place.
struct BundleFixture {
    BundleFixture()
        : folder(root.path() / "morra.app" / "bundles" / "images"),
          source(folder / "english"),
          target(folder / "russianblind"),
          patch(root.path() / "Payload" / "images-russianblind.bsdiff") {
        fs::create_directories(folder);
        fs::create_directories(patch.parent_path());
        sourceBytes = test::randomBytes(1, 400000);
        targetBytes = sourceBytes.substr(0, 150000) + test::randomBytes(2, 3000) + sourceBytes.substr(160000);
        targetBytes[7] = 'R';
        test::writeFile(source, sourceBytes);
        test::writeFile(patch, tools::makeBsdiffPatch(sourceBytes, targetBytes, {{150000, 3000, 10000}, {240000, 0, 0}}));
        sourceDigest = test::digestOf(sourceBytes);
        targetDigest = test::digestOf(targetBytes);
    }

    void install(const InstallerEngine& engine) const {
        engine.installPatchedFile(source, target, patch, sourceDigest, targetDigest, replaceable);
    }

    test::TemporaryDirectory root;
    fs::path folder, source, target, patch;
    std::string sourceBytes, targetBytes, sourceDigest, targetDigest;
    const std::string earlier = "images of an earlier release";
    const std::vector<std::string> replaceable = {test::digestOf(earlier)};
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

TEST(InstallPatchedFile, MakesTheTargetFromTheSourceAndLeavesTheSource) {
    for (bool targetExists : {false, true}) {
        BundleFixture fixture;
        if (targetExists) test::writeFile(fixture.target, fixture.earlier);
        test::FaultInjector injector;
        const InstallerEngine engine(injector.fileManager());
        fixture.install(engine);
        EXPECT_EQ(test::readFile(fixture.target), fixture.targetBytes);
        EXPECT_EQ(test::readFile(fixture.source), fixture.sourceBytes);
        EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
        const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
        ASSERT_EQ(created.size(), 1u);
        EXPECT_TRUE(std::regex_match(created[0].filename().string(), std::regex("\\.russianblind\\.installing-[0-9A-F-]{36}")));
        // The output is read only by the applier's own digest, never again.
        for (const fs::path& opened : injector.callsOf(FileOperation::Open)) EXPECT_NE(opened, created[0]);
        const std::vector<test::FileCall> calls = injector.calls();
        auto index = [&](FileOperation operation, const fs::path& path) {
            return std::find_if(calls.begin(), calls.end(), [&](const test::FileCall& call) {
                       return call.operation == operation && call.path == path;
                   }) - calls.begin();
        };
        EXPECT_LT(index(FileOperation::Sync, created[0]), index(FileOperation::Rename, fixture.target));
        EXPECT_LT(index(FileOperation::Rename, fixture.target), static_cast<long>(calls.size()));
    }
}

TEST(InstallPatchedFile, ADoneTargetEndsTheCallBeforeTheSourceOrPatchIsLookedAt) {
    BundleFixture fixture;
    test::writeFile(fixture.target, fixture.targetBytes);
    fs::remove(fixture.source);
    fs::remove(fixture.patch);
    const InstallerEngine engine;
    fixture.install(engine);
    EXPECT_EQ(test::readFile(fixture.target), fixture.targetBytes);
}

TEST(InstallPatchedFile, RefusesTargetsAndSourcesInUnknownStates) {
    BundleFixture fixture;
    const InstallerEngine engine;
    const std::string foreign = "images of another translation";

    test::writeFile(fixture.target, foreign);
    EXPECT_EQ(messageOf([&] { fixture.install(engine); }),
              "Установочный файл уже существует и отличается: " + fixture.target.string());
    EXPECT_EQ(test::readFile(fixture.target), foreign);

    fs::create_symlink(fixture.source, fixture.folder / "link");
    EXPECT_EQ(messageOf([&] {
                  engine.installPatchedFile(fixture.source, fixture.folder / "link", fixture.patch, fixture.sourceDigest,
                                            fixture.targetDigest, fixture.replaceable);
              }),
              "Установщик не изменяет символические ссылки: " + (fixture.folder / "link").string());
    fs::remove(fixture.target);

    EXPECT_EQ(messageOf([&] {
                  engine.installPatchedFile(fixture.folder / "link", fixture.target, fixture.patch, fixture.sourceDigest,
                                            fixture.targetDigest, fixture.replaceable);
              }),
              "Установщик не изменяет символические ссылки: " + (fixture.folder / "link").string());

    test::writeFile(fixture.source, fixture.sourceBytes + "changed by an update");
    EXPECT_EQ(messageOf([&] { fixture.install(engine); }),
              "Игровой ресурс не соответствует совместимому профилю macOS 57314208: " + fixture.source.string());

    fs::remove(fixture.source);
    EXPECT_EQ(messageOf([&] { fixture.install(engine); }), "В игре отсутствует исходный ресурс: " + fixture.source.string());
    EXPECT_FALSE(fs::exists(fixture.target));
    EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
}

TEST(InstallPatchedFile, PatchFailuresCarryTheToolsText) {
    for (bool targetExists : {false, true}) {
        BundleFixture fixture;
        if (targetExists) test::writeFile(fixture.target, fixture.earlier);
        const std::string before = test::contentsOrAbsent(fixture.target);
        const InstallerEngine engine;
        const std::string patch = test::readFile(fixture.patch);

        test::writeFile(fixture.patch, patch.substr(0, patch.size() / 2));
        EXPECT_EQ(messageOf([&] { fixture.install(engine); }), "Не удалось подготовить russianblind: bspatch: Corrupt patch\n");

        fs::remove(fixture.patch);
        EXPECT_EQ(messageOf([&] { fixture.install(engine); }),
                  "Не удалось подготовить russianblind: bspatch: fopen(" + fixture.patch.string() +
                      "): No such file or directory\n");

        // A patch for another source: it applies, but its output is not the expected file.
        test::writeFile(fixture.patch, tools::makeBsdiffPatch(fixture.sourceBytes, "other images", {{0, 12, 0}}));
        EXPECT_EQ(messageOf([&] { fixture.install(engine); }), "Патч создал неверный russianblind.");

        EXPECT_EQ(test::contentsOrAbsent(fixture.target), before);
        EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
    }
}

TEST(InstallPatchedFile, WriteAndFlushFailuresAreTheToolsFailuresAndOthersPassThrough) {
    for (bool targetExists : {false, true}) {
        struct Case {
            const char* label;
            FileOperation operation;
            int error;
            const char* text;
        };
        for (const Case& entry : {Case{"disk full", FileOperation::Write, ENOSPC, "No space left on device"},
                                  Case{"flush fails", FileOperation::Sync, EIO, "Input/output error"}}) {
            BundleFixture fixture;
            if (targetExists) test::writeFile(fixture.target, fixture.earlier);
            const std::string before = test::contentsOrAbsent(fixture.target);
            test::FaultInjector injector;
            injector.fail(entry.operation, ".installing-", entry.error);
            const InstallerEngine engine(injector.fileManager());
            const std::string message = messageOf([&] { fixture.install(engine); });
            const std::regex expected("Не удалось подготовить russianblind: bspatch: " + fixture.folder.string() +
                                      "/\\.russianblind\\.installing-[0-9A-F-]{36}: " + entry.text + "\n");
            EXPECT_TRUE(std::regex_match(message, expected)) << entry.label << ": " << message;
            EXPECT_EQ(test::contentsOrAbsent(fixture.target), before) << entry.label;
            EXPECT_TRUE(test::temporariesIn(fixture.folder).empty()) << entry.label;
        }

        for (FileOperation operation : {FileOperation::Rename, FileOperation::Read}) {
            // A failed rename, or a failed read of the source for its digest: the file service's error.
            BundleFixture fixture;
            if (targetExists) test::writeFile(fixture.target, fixture.earlier);
            const std::string before = test::contentsOrAbsent(fixture.target);
            test::FaultInjector injector;
            injector.fail(operation, operation == FileOperation::Rename ? "russianblind" : "english", EIO);
            const InstallerEngine engine(injector.fileManager());
            try {
                fixture.install(engine);
                ADD_FAILURE() << "no error";
            } catch (const std::system_error& error) {
                EXPECT_EQ(error.code().value(), EIO);
            }
            EXPECT_EQ(test::contentsOrAbsent(fixture.target), before);
            EXPECT_TRUE(test::temporariesIn(fixture.folder).empty());
        }
    }
}

}  // namespace
}  // namespace morra
