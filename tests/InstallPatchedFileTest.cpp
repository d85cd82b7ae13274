#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "BsdiffWriter.h"
#include "Engine.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// A game's English images bundle, the patch that makes the Russian one from it, and its place.
struct BundleFixture {
    BundleFixture() {
        targetBytes[7] = 'R';
        test::writeFile(source, sourceBytes);
        test::writeFile(patch, tools::makeBsdiffPatch(sourceBytes, targetBytes, {{150000, 3000, 10000}, {240000, 0, 0}}));
    }
    std::string install(const Engine& engine) const {
        return test::failureOf([&] {
            engine.installPatchedFile(source, target, patch, test::digestOf(sourceBytes), test::digestOf(targetBytes),
                                      {test::digestOf(earlier)});
        });
    }
    // The text with {source}, {target}, {patch} and {folder} replaced by the paths.
    std::string expand(std::string text) const {
        for (const auto& [name, path] : {std::pair{"{source}", source}, {"{target}", target}, {"{patch}", patch}, {"{folder}", folder}})
            for (std::size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, std::string(name).size(), path.string());
        return text;
    }

    test::TemporaryDirectory root;
    fs::path folder = root.path() / "images", source = folder / "english", target = folder / "russianblind",
             patch = root.path() / "Payload" / "images-russianblind.bsdiff";
    std::string sourceBytes = test::randomBytes(1, 400000),
                targetBytes = sourceBytes.substr(0, 150000) + test::randomBytes(2, 3000) + sourceBytes.substr(160000);
    std::string earlier = "images of an earlier release";
};

TEST(InstallPatchedFile, MakesTheTargetFromTheSourceAndLeavesTheSource) {
    for (bool targetExists : {false, true}) {
        BundleFixture fixture;
        if (targetExists) test::writeFile(fixture.target, fixture.earlier);
        test::FaultInjector injector;
        EXPECT_EQ(fixture.install(Engine(injector.fileManager())), "(no error)");
        EXPECT_EQ(test::readFile(fixture.target), fixture.targetBytes);
        EXPECT_EQ(test::readFile(fixture.source), fixture.sourceBytes);
        EXPECT_TRUE(test::temporaries(fixture.folder).empty());
        test::expectDurablyPublished(injector, fixture.target, ".russianblind.installing-");
    }
}

TEST(InstallPatchedFile, ADoneTargetEndsTheCallBeforeTheSourceOrPatchIsLookedAt) {
    BundleFixture fixture;
    test::writeFile(fixture.target, fixture.targetBytes);
    fs::remove(fixture.source);
    fs::remove(fixture.patch);
    EXPECT_EQ(fixture.install(Engine()), "(no error)");
    EXPECT_EQ(test::readFile(fixture.target), fixture.targetBytes);
}

// Every refusal and failure, with the target absent or from an earlier release, leaves all files
// as found and no temporary.
TEST(InstallPatchedFile, FailuresLeaveEverythingAsFound) {
    using Prepare = std::function<void(const BundleFixture&)>;
    struct Case {
        const char* label;
        Prepare prepare;
        std::string expected;
        FileOperation operation = FileOperation::Open;
        const char* name = "";
        int error = 0;
    };
    const std::string prepareFailed = "Не удалось подготовить russianblind: bspatch: ";
    const std::vector<Case> cases = {
        {"foreign target", [](auto& f) { test::writeFile(f.target, "images of another translation"); },
         "Установочный файл уже существует и отличается: {target}"},
        {"target is a link",
         [](auto& f) {
             fs::remove(f.target);
             fs::create_symlink(f.source, f.target);
         },
         "Установщик не изменяет символические ссылки: {target}"},
        {"source is a link",
         [](auto& f) {
             fs::rename(f.source, f.folder / "real");
             fs::create_symlink(f.folder / "real", f.source);
         },
         "Установщик не изменяет символические ссылки: {source}"},
        {"source changed by an update", [](auto& f) { test::writeFile(f.source, f.sourceBytes + "!"); },
         "Игровой ресурс не соответствует совместимому профилю macOS 57314208: {source}"},
        {"source missing", [](auto& f) { fs::remove(f.source); }, "В игре отсутствует исходный ресурс: {source}"},
        {"corrupt patch", [](auto& f) { test::writeFile(f.patch, test::readFile(f.patch).substr(0, 1000)); },
         prepareFailed + "Corrupt patch\n"},
        {"missing patch", [](auto& f) { fs::remove(f.patch); }, prepareFailed + "fopen({patch}): No such file or directory\n"},
        {"patch for another source",
         [](auto& f) { test::writeFile(f.patch, tools::makeBsdiffPatch(f.sourceBytes, "other images", {{0, 12, 0}})); },
         "Патч создал неверный russianblind."},
        {"disk full", nullptr, prepareFailed + "{folder}/.russianblind.installing-<uuid>: No space left on device\n",
         FileOperation::Write, ".installing-", ENOSPC},
        {"flush fails", nullptr, prepareFailed + "{folder}/.russianblind.installing-<uuid>: Input/output error\n",
         FileOperation::Sync, ".installing-", EIO},
        {"rename fails", nullptr, test::fileError(EIO), FileOperation::Rename, "russianblind", EIO},
        {"source unreadable", nullptr, test::fileError(EIO), FileOperation::Read, "english", EIO},
    };
    for (bool targetExists : {false, true}) {
        for (const Case& entry : cases) {
            BundleFixture fixture;
            if (targetExists) test::writeFile(fixture.target, fixture.earlier);
            if (entry.prepare) entry.prepare(fixture);
            const auto before = test::digests(fixture.root.path());
            test::FaultInjector injector;
            if (entry.error) injector.fail(entry.operation, entry.name, entry.error);
            EXPECT_EQ(test::maskUuids(fixture.install(Engine(injector.fileManager()))), fixture.expand(entry.expected))
                << entry.label << ", target exists: " << targetExists;
            EXPECT_EQ(test::digests(fixture.root.path()), before) << entry.label << ", target exists: " << targetExists;
        }
    }
}

}  // namespace
}  // namespace morra
