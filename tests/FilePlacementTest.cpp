// Putting single files of the translation into the game: a copied lockit, a bundle patched from
// another, an asset rewritten through a chain of patches. Each result is verified before it takes
// its name; a refusal or failure leaves the folder as found.

#include "steps/FilePlacement.h"

#include <gtest/gtest.h>

#include <functional>

#include "BsdiffWriter.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"
#include "text/SystemErrorText.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

// The payload's lockit, an English bundle with the patch that makes the Russian one from it, and
// an asset with a base patch and a skill-card delta. Everything under one folder.
struct Files {
    Files() {
        test::writeFile(lockitSource, lockit);
        fs::create_directories(lockitTarget.parent_path());
        test::writeFile(bundleSource, english);
        test::writeFile(bundlePatch, tools::makeBsdiffPatch(english, russian, {{150000, 3000, 10000}, {240000, 0, 0}}));
        test::writeFile(asset, original);
        test::writeFile(basePatch, tools::makeBsdiffPatch(original, base, {{200000, 777, 0}, {300000, 0, 0}}));
        test::writeFile(deltaPatch, tools::makeBsdiffPatch(base, delta, {{300000, 0, 500}, {base.size() - 300500, 0, 0}}));
    }
    std::string installLockit(const FileManager& files, const std::string& expected) const {
        return test::failureOf([&] { installFile(files, lockitSource, lockitTarget, expected, {test::digestOf(earlier)}); });
    }
    std::string installBundle(const FileManager& files) const {
        return test::failureOf([&] {
            installPatchedFile(files, bundleSource, bundleTarget, bundlePatch, test::digestOf(english),
                               test::digestOf(russian), {test::digestOf(earlier)});
        });
    }
    std::string patchAsset(const std::vector<fs::path>& patches, const std::string& expected,
                           const FileManager& files = FileManager()) const {
        return test::failureOf([&] { patchGameAsset(files, asset, asset, patches, test::digestOf(expected)); });
    }

    test::TemporaryDirectory root;
    fs::path payload = root.path() / "Payload", bundles = root.path() / "OSX";
    fs::path lockitSource = payload / "russianblind", lockitTarget = bundles / "lockits" / "russianblind";
    fs::path bundleSource = bundles / "images" / "english", bundleTarget = bundles / "images" / "russianblind",
             bundlePatch = payload / "images-russianblind.bsdiff";
    fs::path asset = root.path() / "Data" / "level2", basePatch = payload / "level2.bsdiff",
             deltaPatch = payload / "level2-skill-cards.delta.bsdiff";
    std::string lockit = test::randomBytes(1, 300000), earlier = "an earlier release's file";
    std::string english = test::randomBytes(2, 400000),
                russian = english.substr(0, 150000) + test::randomBytes(3, 3000) + english.substr(160000);
    std::string original = test::randomBytes(4, 500000),
                base = original.substr(0, 200000) + test::randomBytes(5, 777) + original.substr(200000),
                delta = base.substr(0, 300000) + base.substr(300500);
};

// An absent or replaceable target gets the verified content through a flushed temporary; a target
// already done ends the call before the source is looked at.
TEST(FilePlacement, TargetsGetTheVerifiedContentThroughAFlushedTemporary) {
    for (const char* target : {"absent", "replaceable", "done"}) {
        Files files;
        const bool done = std::string(target) == "done";
        if (std::string(target) == "replaceable") {
            test::writeFile(files.lockitTarget, files.earlier);
            test::writeFile(files.bundleTarget, files.earlier);
        }
        if (done) {
            test::writeFile(files.lockitTarget, files.lockit);
            test::writeFile(files.bundleTarget, files.russian);
            for (const fs::path& source : {files.lockitSource, files.bundleSource, files.bundlePatch}) fs::remove(source);
        }
        const auto before = test::digests(files.root.path());
        test::FaultInjector lockitCalls, bundleCalls;
        EXPECT_EQ(files.installLockit(lockitCalls.fileManager(), test::digestOf(files.lockit)), "(no error)") << target;
        EXPECT_EQ(files.installBundle(bundleCalls.fileManager()), "(no error)") << target;
        EXPECT_EQ(test::readFile(files.lockitTarget), files.lockit);
        EXPECT_EQ(test::readFile(files.bundleTarget), files.russian);
        EXPECT_TRUE(test::temporaries(files.root.path()).empty());
        if (done) {
            EXPECT_TRUE(lockitCalls.callsOf(FileOperation::Create).empty() && bundleCalls.callsOf(FileOperation::Create).empty());
            EXPECT_EQ(test::digests(files.root.path()), before);
        } else {
            EXPECT_EQ(test::readFile(files.bundleSource), files.english);
            test::expectDurablyPublished(lockitCalls, files.lockitTarget, ".russianblind.installing-");
            test::expectDurablyPublished(bundleCalls, files.bundleTarget, ".russianblind.installing-");
        }
    }
}

// Refusals and failures leave the folder exactly as found: no temporary, a link neither followed
// nor replaced, the source untouched.
TEST(FilePlacement, RefusalsLeaveEverythingAsFound) {
    struct Case {
        const char* label;
        std::function<void(Files&)> prepare;
        std::function<std::string(const Files&)> run;
        std::string expected;  // "{target}" and "{source}" stand for the paths of the call
        bool onLockit = false;
    };
    const auto lockit = [](const Files& f) { return f.installLockit(FileManager(), test::digestOf(f.lockit)); };
    const auto bundle = [](const Files& f) { return f.installBundle(FileManager()); };
    const std::vector<Case> cases = {
        {"foreign lockit", [](Files& f) { test::writeFile(f.lockitTarget, "another translation's"); }, lockit,
         "Установочный файл уже существует и отличается: {target}", true},
        {"lockit is a link to the right bytes",
         [](Files& f) {
             test::writeFile(f.root.path() / "elsewhere", f.lockit);
             fs::create_symlink(f.root.path() / "elsewhere", f.lockitTarget);
         },
         lockit, "Установщик не изменяет символические ссылки: {target}", true},
        {"copy with another digest", [](Files&) {}, [](const Files& f) { return f.installLockit(FileManager(), test::digestOf("x")); },
         "Ошибка проверки копии russianblind."},
        {"source missing", [](Files& f) { fs::remove(f.bundleSource); }, bundle, "В игре отсутствует исходный ресурс: {source}"},
        {"source of another build", [](Files& f) { test::writeFile(f.bundleSource, "another build"); }, bundle,
         "Игровой ресурс не соответствует совместимому профилю macOS 57314208: {source}"},
        {"source is a link",
         [](Files& f) {
             fs::rename(f.bundleSource, f.root.path() / "english");
             fs::create_symlink(f.root.path() / "english", f.bundleSource);
         },
         bundle, "Установщик не изменяет символические ссылки: {source}"},
        {"corrupt patch", [](Files& f) { test::writeFile(f.bundlePatch, "BSDIFF40 and nothing"); }, bundle,
         "Не удалось подготовить russianblind: bspatch: Corrupt patch\n"},
        {"patch making other bytes",
         [](Files& f) { test::writeFile(f.bundlePatch, tools::makeBsdiffPatch(f.english, "other", {{0, 5, 0}})); }, bundle,
         "Патч создал неверный russianblind."},
    };
    for (const Case& entry : cases) {
        Files files;
        entry.prepare(files);
        const auto before = test::digests(files.root.path());
        std::string expected = entry.expected;
        for (const auto& [name, path] : {std::pair{"{target}", entry.onLockit ? files.lockitTarget : files.bundleTarget},
                                         std::pair{"{source}", files.bundleSource}})
            if (auto at = expected.find(name); at != std::string::npos) expected.replace(at, std::string(name).size(), path.string());
        EXPECT_EQ(entry.run(files), expected) << entry.label;
        EXPECT_EQ(test::digests(files.root.path()), before) << entry.label;
    }
}

// In place from the asset itself, through one patch or a chain: the second patch's old file is
// the first one's output, and only the last output is flushed and given the asset's name.
TEST(FilePlacement, AnAssetIsRewrittenThroughItsChainOfPatches) {
    for (bool chain : {false, true}) {
        Files files;
        test::FaultInjector injector;
        const std::string& expected = chain ? files.delta : files.base;
        EXPECT_EQ(files.patchAsset(chain ? std::vector{files.basePatch, files.deltaPatch} : std::vector{files.basePatch},
                                   expected, injector.fileManager()),
                  "(no error)");
        EXPECT_EQ(test::readFile(files.asset), expected);
        EXPECT_TRUE(test::temporaries(files.root.path()).empty());
        const std::vector<fs::path> created = injector.callsOf(FileOperation::Create), synced = injector.callsOf(FileOperation::Sync);
        ASSERT_EQ(created.size(), chain ? 2u : 1u);
        for (const fs::path& output : created)
            EXPECT_EQ(test::maskUuids(output.filename().string()), ".level2.russianblind-<uuid>");
        EXPECT_LT(injector.indexOf(FileOperation::Sync, created.back()), injector.indexOf(FileOperation::Rename, files.asset));
        if (chain) {
            EXPECT_EQ(std::count(synced.begin(), synced.end(), created.front()), 0) << "an intermediate output is not flushed";
        }
    }
}

// Every failure of a chain leaves the asset and no temporary. The tool's text names the file as the
// player knows it, never our hidden temporary.
TEST(FilePlacement, AFailedChainLeavesTheAssetAndNoTemporary) {
    Files files;
    const fs::path corrupt = files.payload / "corrupt.bsdiff", russian = files.payload / "уровень2.bsdiff";
    test::writeFile(corrupt, test::readFile(files.deltaPatch).substr(0, 100));
    const std::string failed = "bspatch завершился с ошибкой: ", wrongDigest = "Патч создал файл с неверной контрольной суммой.";
    test::FaultInjector fullDisk;
    fullDisk.fail(FileOperation::Write, "level2", ENOSPC, 1);  // the second output
    struct Case {
        std::vector<fs::path> patches;
        std::string expected;
        FileManager files = FileManager();
    };
    const std::vector<Case> cases = {
        {{}, "Для level2 не указан бинарный патч."},
        {{files.basePatch, corrupt}, failed + "bspatch: Corrupt patch\n"},
        {{files.deltaPatch, files.basePatch}, wrongDigest},  // the wrong order
        {{files.basePatch}, wrongDigest},
        {{russian}, failed + "bspatch: fopen(" + russian.string() + "): " + systemErrorText(ENOENT) + "\n"},
        {{files.basePatch, files.deltaPatch}, failed + "bspatch: " + files.asset.string() + ": " + systemErrorText(ENOSPC) + "\n",
         fullDisk.fileManager()},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(files.patchAsset(entry.patches, files.delta, entry.files), entry.expected);
        EXPECT_EQ(test::readFile(files.asset), files.original) << entry.expected;
        EXPECT_TRUE(test::temporaries(files.root.path()).empty()) << entry.expected;
    }
}

}  // namespace
}  // namespace morra
