// The steps the operations are made of: a file of the translation put into the game, an asset
// rewritten through its patches, a verified backup, a whole-file replacement, the disk-space
// check, the settings' migration. Each result is verified before it takes its name; a refusal or
// failure leaves the folder as found.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <regex>
#include <nlohmann/json.hpp>

#include "BsdiffWriter.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"
#include "steps/AtomicReplace.h"
#include "steps/Backups.h"
#include "steps/DiskSpace.h"
#include "steps/FilePlacement.h"
#include "steps/SettingsMigration.h"
#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::kThirteen;

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
    std::string installLockit(const files::FileManager& files, const std::string& expected) const {
        return test::failureOf([&] { steps::installFile(files, lockitSource, lockitTarget, expected, {test::digestOf(earlier)}); });
    }
    std::string installBundle(const files::FileManager& files = files::FileManager()) const {
        return test::failureOf([&] {
            steps::installPatchedFile(files, bundleSource, bundleTarget, bundlePatch, test::digestOf(english),
                                      test::digestOf(russian), {test::digestOf(earlier)});
        });
    }
    std::string patchAsset(const std::vector<fs::path>& patches, const files::FileManager& files = files::FileManager()) const {
        return test::failureOf([&] { steps::patchGameAsset(files, asset, asset, patches, test::digestOf(delta)); });
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
    for (const std::string target : {"absent", "replaceable", "done"}) {
        Files files;
        if (target != "absent") {
            test::writeFile(files.lockitTarget, target == "done" ? files.lockit : files.earlier);
            test::writeFile(files.bundleTarget, target == "done" ? files.russian : files.earlier);
        }
        if (target == "done")
            for (const fs::path& source : {files.lockitSource, files.bundleSource, files.bundlePatch}) fs::remove(source);
        const auto before = test::snapshot(files.root.path());
        test::FaultInjector lockitCalls, bundleCalls;
        EXPECT_EQ(files.installLockit(lockitCalls.fileManager(), test::digestOf(files.lockit)), "(no error)") << target;
        EXPECT_EQ(files.installBundle(bundleCalls.fileManager()), "(no error)") << target;
        EXPECT_EQ(test::readFile(files.lockitTarget), files.lockit);
        EXPECT_EQ(test::readFile(files.bundleTarget), files.russian);
        EXPECT_TRUE(test::temporaries(files.root.path()).empty());
        if (target == "done") {
            EXPECT_TRUE(lockitCalls.callsOf(files::FileOperation::Create).empty() && bundleCalls.callsOf(files::FileOperation::Create).empty());
            EXPECT_TRUE(test::snapshot(files.root.path()) == before);
        } else {
            test::expectDurablyPublished(lockitCalls, files.lockitTarget, ".russianblind.installing-");
            test::expectDurablyPublished(bundleCalls, files.bundleTarget, ".russianblind.installing-");
        }
    }
}

// Refusals leave the folder exactly as found: no temporary, a link neither followed nor replaced.
TEST(FilePlacement, RefusalsLeaveEverythingAsFound) {
    const auto lockit = [](const Files& f) { return f.installLockit(files::FileManager(), test::digestOf(f.lockit)); };
    const auto bundle = [](const Files& f) { return f.installBundle(); };
    const std::vector<std::tuple<std::function<void(Files&)>, std::function<std::string(const Files&)>, std::string>> cases = {
        {[](Files& f) { test::writeFile(f.lockitTarget, "another translation's"); }, lockit,
         "Установочный файл уже существует и отличается: {lockit}"},
        {[](Files& f) {
             test::writeFile(f.root.path() / "elsewhere", f.lockit);
             fs::create_symlink(f.root.path() / "elsewhere", f.lockitTarget);
         },
         lockit, "Установщик не изменяет символические ссылки: {lockit}"},
        {[](Files&) {},  // a digest that differs from the copy's in its last character only
         [](const Files& f) {
             std::string digest = test::digestOf(f.lockit);
             digest.back() = digest.back() == '0' ? '1' : '0';
             return f.installLockit(files::FileManager(), digest);
         },
         "Ошибка проверки копии russianblind."},
        {[](Files& f) { test::writeFile(f.bundleSource, "another build"); }, bundle,
         "Игровой ресурс не соответствует совместимому профилю macOS 57314208: {source}"},
        {[](Files& f) {
             fs::rename(f.bundleSource, f.root.path() / "english");
             fs::create_symlink(f.root.path() / "english", f.bundleSource);
         },
         bundle, "Установщик не изменяет символические ссылки: {source}"},
        {[](Files& f) { test::writeFile(f.bundlePatch, tools::makeBsdiffPatch(f.english, "other", {{0, 5, 0}})); }, bundle,
         "Патч создал неверный russianblind."},
    };
    for (const auto& [prepare, run, message] : cases) {
        Files files;
        prepare(files);
        const auto before = test::snapshot(files.root.path());
        std::string expected = message;
        for (const auto& [name, path] : {std::pair{"{lockit}", files.lockitTarget}, std::pair{"{source}", files.bundleSource}})
            if (auto at = expected.find(name); at != std::string::npos) expected.replace(at, std::string(name).size(), path.string());
        EXPECT_EQ(run(files), expected);
        EXPECT_TRUE(test::snapshot(files.root.path()) == before) << expected;
    }
}

// In place from the asset itself through a chain: the second patch's old file is the first one's
// output, and only the last output is flushed and given the asset's name. Every failure leaves
// the asset and no temporary, and the tool's text names the file as the player knows it, never
// our hidden temporary.
TEST(FilePlacement, AnAssetIsRewrittenThroughItsChainOfPatchesOrLeftAsItWas) {
    Files files;
    const fs::path corrupt = files.payload / "corrupt.bsdiff";
    test::writeFile(corrupt, test::readFile(files.deltaPatch).substr(0, 100));
    const std::string failed = "bspatch завершился с ошибкой: ", wrongDigest = "Патч создал файл с неверной контрольной суммой.";
    test::FaultInjector fullDisk;
    fullDisk.fail(files::FileOperation::Write, "level2", ENOSPC, 1);  // the second output
    const std::vector<std::tuple<std::vector<fs::path>, std::string, files::FileManager>> failures = {
        {{}, "Для level2 не указан бинарный патч.", files::FileManager()},
        {{files.basePatch, corrupt}, failed + "bspatch: Corrupt patch\n", files::FileManager()},
        {{files.deltaPatch, files.basePatch}, wrongDigest, files::FileManager()},  // the wrong order
        {{files.basePatch, files.deltaPatch}, failed + "bspatch: " + files.asset.string() + ": " + text::systemErrorText(ENOSPC) + "\n",
         fullDisk.fileManager()},
    };
    for (const auto& [patches, expected, fileManager] : failures) {
        EXPECT_EQ(files.patchAsset(patches, fileManager), expected);
        EXPECT_EQ(test::readFile(files.asset), files.original) << expected;
        EXPECT_TRUE(test::temporaries(files.root.path()).empty()) << expected;
    }

    test::FaultInjector injector;
    EXPECT_EQ(files.patchAsset({files.basePatch, files.deltaPatch}, injector.fileManager()), "(no error)");
    EXPECT_EQ(test::readFile(files.asset), files.delta);
    EXPECT_TRUE(test::temporaries(files.root.path()).empty());
    const std::vector<fs::path> created = injector.callsOf(files::FileOperation::Create), synced = injector.callsOf(files::FileOperation::Sync);
    ASSERT_EQ(created.size(), 2u);
    for (const fs::path& output : created) EXPECT_EQ(test::maskUuids(output.filename().string()), ".level2.russianblind-<uuid>");
    const std::vector<test::FileCall> calls = injector.calls();
    EXPECT_LT(test::indexOf(calls, files::FileOperation::Sync, created.back()), test::indexOf(calls, files::FileOperation::Rename, files.asset));
    EXPECT_EQ(std::count(synced.begin(), synced.end(), created.front()), 0) << "an intermediate output is not flushed";
}

// A game file and a support folder that does not exist yet (with a missing parent, too).
struct BackupFixture {
    BackupFixture() { test::writeFile(asset, original); }
    std::string backUp(const std::string& expected, files::FileManager files = files::FileManager()) const {
        return test::failureOf([&] { steps::createBackupIfNeeded(test::demoContext(std::move(files)), asset, expected); });
    }

    test::TemporaryDirectory root;
    fs::path asset = root.path() / "morra.app" / "level2";
    fs::path support = root.path() / "home" / "support", store = support / "Steam-57314208", backup = store / "level2";
    test::ScopedEnvironment supportOverride{"MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()};
    std::string original = test::randomBytes(1, 200000), digest = test::digestOf(original);
};

// A backup is copied once, proven by its digest, reused, and never repaired: a copy that fails its
// check (the game file changed since the caller's check) leaves nothing, a damaged one stays. One
// that another copy of the game put in place between this call's check and its rename serves if
// it is right and is damaged if not.
TEST(Backups, MadeOnceVerifiedAndNeverRepaired) {
    const std::string damagedText = "Существующая резервная копия повреждена: level2";
    BackupFixture fixture;
    EXPECT_EQ(fixture.backUp(test::digestOf("what the caller saw")), "Не удалось создать проверенную резервную копию: level2");
    EXPECT_TRUE(fs::is_empty(fixture.store));
    test::FaultInjector injector;
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(fixture.backUp(fixture.digest, injector.fileManager()), "(no error)");
        EXPECT_EQ(test::snapshot(fixture.store), (std::map<std::string, std::string>{{"level2", fixture.original}}));
    }
    test::expectDurablyPublished(injector, fixture.backup, ".level2.backing-up-");  // created once only
    for (const std::string& damaged : {fixture.original.substr(0, 1000), std::string()}) {
        test::writeFile(fixture.backup, damaged);
        EXPECT_EQ(fixture.backUp(fixture.digest), damagedText);
        EXPECT_EQ(test::readFile(fixture.backup), damaged);
    }
    for (bool right : {true, false}) {
        BackupFixture raced;
        const std::string other = right ? raced.original : std::string("half of it");
        const files::FaultHook placeOther = [&](files::FileOperation operation, const fs::path& path) {
            if (operation == files::FileOperation::Rename && path == raced.backup)
                test::writeFile(raced.backup, other);
            return 0;
        };
        EXPECT_EQ(raced.backUp(raced.digest, files::FileManager(placeOther)), right ? "(no error)" : damagedText);
        EXPECT_EQ(test::readFile(raced.backup), other);
        EXPECT_TRUE(test::temporaries(raced.root.path()).empty());
    }
}

// A copy from a file is put in place only with the digest the caller checked; a missing target is
// an error before anything is written.
TEST(AtomicReplace, ReplacesThroughAFlushedTemporaryOnlyWhatWasChecked) {
    test::TemporaryDirectory folder;
    const fs::path target = folder.path() / "level2", source = folder.path() / "backup";
    test::writeFile(target, "patched");
    test::writeFile(source, "original");
    EXPECT_EQ(test::failureOf([&] { steps::replaceAtomically(files::FileManager(), target, source, test::digestOf("other"), "changed"); }), "changed");
    EXPECT_EQ(test::readFile(target), "patched");
    steps::replaceAtomically(files::FileManager(), target, source, test::digestOf("original"), "changed");
    EXPECT_EQ(test::readFile(target), "original");
    EXPECT_NE(test::failureOf([&] { steps::replaceAtomically(files::FileManager(), folder.path() / "missing", std::string("{}")); }), "(no error)");
    EXPECT_EQ(test::snapshot(folder.path()).size(), 2u);
}

// Needs on one volume are added up and compared with what is free, naming the nearest existing
// folder. On a small file system of its own (a mount that only this child process sees), an
// install is refused before it changes anything, and the game is left byte for byte.
TEST(DiskSpace, AnInstallThatWouldFillTheDiskIsRefusedBeforeAnythingChanges) {
    test::TemporaryDirectory folder;
    const files::FileManager files;
    const std::uint64_t tooMuch = files.freeSpace(folder.path()) + (1ull << 30);  // beyond what others free meanwhile
    EXPECT_NO_THROW(steps::requireFreeSpace(files, {{folder.path(), 1 << 20}, {folder.path() / "not" / "made" / "yet", 1 << 20}}));
    const std::string refused = test::failureOf([&] {
        steps::requireFreeSpace(files, {{folder.path() / "a", tooMuch / 2 + 1}, {folder.path() / "b" / "c", tooMuch / 2 + 1}});
    });
    std::smatch numbers;
    ASSERT_TRUE(std::regex_match(refused, numbers, std::regex(R"(Недостаточно места на диске: нужно ([0-9]+) МБ, свободно ([0-9]+) МБ \((.*)\)\.)")))
        << refused;
    EXPECT_GE(std::stoull(numbers[1]), tooMuch / 1000000);
    EXPECT_LT(std::stoull(numbers[2]), std::stoull(numbers[1]));
    EXPECT_EQ(numbers[3], folder.path().string());

    if (test::systemTool("unshare").empty()) GTEST_SKIP() << "no unshare here to mount a small file system of the test's own";
    const test::GameFixture game;
    const std::string script =
        "set -e; mount -t tmpfs -o size=6m tmpfs \"$1\" || exit 77; mkdir \"$1/game\"; cp -r \"$2\" \"$1/game/morra.app\"; "
        "export MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY=\"$1/support\" MORRA_LUMEN_INSTALLER_GAME_SETTINGS=\"$1/Settings.json\"; "
        "before=$(cd \"$1/game\" && find . -type f -exec sha256sum {} + | sort); "
        "if \"$3\" --install \"$1/game/morra.app\"; then exit 1; fi; "
        "after=$(cd \"$1/game\" && find . -type f -exec sha256sum {} + | sort); [ \"$before\" = \"$after\" ] || exit 2; "
        "[ -z \"$(find \"$1/game\" -name '.*')\" ] || exit 3";
    const test::ProcessResult result =
        test::runProcess({test::systemTool("unshare"), "--mount", "/bin/sh", "-c", script, "sh",
                          folder.path().string(), game.app.string(), MORRA_PROGRAM});
    if (result.status == 77 || (result.status != 0 && result.standardError.find("unshare") != std::string::npos))
        GTEST_SKIP() << "this machine cannot mount a small file system for the test: " << result.standardError;
    EXPECT_EQ(result.status, 0) << result.standardError;
    EXPECT_NE(result.standardError.find("Недостаточно места на диске: нужно "), std::string::npos) << result.standardError;
}

struct SettingsMigration : ::testing::Test {
    test::TemporaryDirectory root;
    fs::path settings = root.path() / "Settings" / "Settings.json";
    fs::path support = root.path() / "support";
    fs::path copy = support / "User Settings" / "Settings.before-language-index-migration.json";
    test::ScopedEnvironment settingsOverride{"MORRA_LUMEN_INSTALLER_GAME_SETTINGS", settings.string()};
    test::ScopedEnvironment supportOverride{"MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string()};

    void write(const std::string& text) { test::writeFile(settings, text); }
    bool migrate(files::FileManager files = files::FileManager()) const {
        return steps::migrateStartupLanguageToEnglish(test::demoContext(files));
    }
};

// Only the startup language of 13 moves to English, the keys sorted, pretty-printed, with a final
// line feed, once; other values and shapes are left byte for byte.
TEST_F(SettingsMigration, ThirteenBecomesEnglishAndAllElseIsKept) {
    const std::string original =
        R"({"zeta":[1,2,{"b":true,"a":null}],"LANGUAGE":{"Language":{"intValue":13,"other":"x"},"Voice":{"intValue":13}},"alpha":"Ё"})";
    std::vector<std::string> untouched = {R"({"LANGUAGE":{"Language":{"value":13}}})", R"({"LANGUAGE":[13]})",
        R"({"Language":{"intValue":13}})", R"([{"LANGUAGE":{"Language":{"intValue":13}}}])"};
    for (const std::string value : {"0", "14", "\"13\"", "true", "18446744073709551629", "12.99"})
        untouched.push_back(R"({"LANGUAGE":{"Language":{"intValue":)" + value + "}}}");
    for (const std::string& text : untouched) {
        write(text);
        EXPECT_FALSE(migrate()) << text;
        EXPECT_EQ(test::readFile(settings), text);
    }
    EXPECT_FALSE(fs::exists(copy));
    write(original);
    ::chmod(settings.c_str(), 0640);
    EXPECT_TRUE(migrate());
    const std::string sorted = R"({"LANGUAGE":{"Language":{"intValue":0,"other":"x"},"Voice":{"intValue":13}},
                                   "alpha":"Ё","zeta":[1,2,{"a":null,"b":true}]})";
    EXPECT_EQ(test::readFile(settings), nlohmann::json::parse(sorted).dump(2) + "\n");
    EXPECT_EQ(test::readFile(copy), original);
    EXPECT_EQ(fs::status(settings).permissions(), fs::perms(0640));
    EXPECT_TRUE(test::temporaries(root.path()).empty());
    EXPECT_FALSE(migrate());
}

// Anything but one JSON document is refused with a Russian text in valid UTF-8 that names the
// file (never the raw bytes), before anything is written; deep nesting never crashes.
TEST_F(SettingsMigration, OnlyOneStrictJsonDocumentIsAccepted) {
    const std::vector<std::string> refused = {
        "{ this is not json",
        kThirteen + "\xff",                                  // a stray byte after the document
        kThirteen + std::string(1, '\0'),                    // NUL after the document
        R"({"LANGUAGE":{"Language":{"intValue":13}},"a":")" + std::string(1, '\0') + "\"}",  // NUL in a string
        kThirteen.substr(0, kThirteen.size() - 1) + ",\"name\":\"\xc3\x28\"}",  // invalid UTF-8 in a string
        kThirteen.substr(0, kThirteen.size() - 1) + ",\"name\":\"tab\there\"}",  // a raw control character
        R"({"LANGUAGE":{"Language":{"intValue":13}} /* a comment */})",
        R"({"LANGUAGE":{"Language":{"intValue":13}},})",   // a trailing comma
        R"({"LANGUAGE":{"Language":{"intValue":1e400}}})", // beyond any double
        std::string(100000, '[') + std::string(100000, ']'),
        R"({"LANGUAGE":{"Language":{"intValue":13}},"x":)" + std::string(5000, '[') + std::string(5000, ']') + "}",
    };
    for (const std::string& text : refused) {
        write(text);
        const std::string error = test::failureOf([&] { migrate(); });
        EXPECT_EQ(error.rfind("Файл настроек игры повреждён (это не JSON", 0), 0u) << error;
        EXPECT_NE(error.find(settings.string()), std::string::npos) << error;
        EXPECT_TRUE(text::isValidUtf8(error)) << error;
        EXPECT_EQ(test::readFile(settings), text);
    }
    EXPECT_FALSE(fs::exists(copy));
    // A byte-order mark before the document is allowed by the standard and ignored.
    write("\xef\xbb\xbf" + kThirteen);
    EXPECT_TRUE(migrate());
}

// A link or a pipe is refused without waiting or writing; a huge file is left alone unread; the
// copy is made once, so a later migration keeps the first one; a fraction is truncated.
TEST_F(SettingsMigration, LinksPipesHugeFilesAndTheFirstCopy) {
    test::writeFile(root.path() / "real.json", kThirteen);
    fs::create_directories(settings.parent_path());
    fs::create_symlink(root.path() / "real.json", settings);
    EXPECT_EQ(test::failureOf([&] { migrate(); }), "Установщик не изменяет символические ссылки: " + settings.string());
    EXPECT_EQ(test::readFile(root.path() / "real.json"), kThirteen);
    fs::remove(settings);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0644), 0);
    EXPECT_EQ(test::failureWithin(20, [&] { migrate(); }),
              "Ожидался обычный файл, но это папка, канал или устройство: " + settings.string());
    fs::remove(settings);
    EXPECT_FALSE(migrate()) << "no file, nothing to do";
    write(kThirteen);
    fs::resize_file(settings, 65ull << 20);
    EXPECT_FALSE(migrate());
    EXPECT_EQ(fs::file_size(settings), 65ull << 20);
    EXPECT_FALSE(fs::exists(copy));
    write(R"({"LANGUAGE":{"Language":{"intValue":13.75}}})");
    EXPECT_TRUE(migrate());
    write(kThirteen);
    // The settings take their new content through a flushed temporary, never written in place.
    test::FaultInjector injector;
    EXPECT_TRUE(migrate(injector.fileManager()));
    test::expectDurablyPublished(injector, settings, ".Settings.json.updating-");
    EXPECT_EQ(test::readFile(copy), R"({"LANGUAGE":{"Language":{"intValue":13.75}}})");
}

}  // namespace
}  // namespace morra
