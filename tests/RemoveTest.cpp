#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kRemoved = "Перевод удалён. Файлы игры восстановлены.";
const std::string kSuffix = " Язык следующего запуска — English.";

void expectOriginal(const test::GameFixture& game) {
    const tools::Fixture& fixture = test::demoFixture();
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), fixture.original[i]) << i;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_FALSE(fs::exists(game.added(i))) << i;
    EXPECT_TRUE(test::temporaries(game.root.path()).empty());
}

TEST(Remove, InstallThenRemoveGivesBackEveryFileByteForByte) {
    const Engine engine = test::demoEngine();
    for (bool skillCards : {true, false}) {
        test::GameFixture game;
        const auto untouched = test::snapshot(game.app);
        install(engine, game.app, skillCards);
        const auto backups = test::snapshot(game.support);
        EXPECT_EQ(remove(engine, game.app), kRemoved);
        EXPECT_EQ(test::snapshot(game.app), untouched);
        EXPECT_EQ(test::snapshot(game.support), backups);  // backups stay, unchanged
        EXPECT_EQ(remove(engine, game.app), kRemoved);       // a second remove is the plain message
        EXPECT_EQ(test::snapshot(game.app), untouched);
    }
}

TEST(Remove, EarlierReleaseIsRemovedWithItsReplaceableBundles) {
    const Engine engine = test::demoEngine();
    test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
    test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    EXPECT_EQ(remove(engine, game.app), kRemoved + kSuffix);
    expectOriginal(game);
    EXPECT_EQ(remove(engine, game.app), kRemoved);
}

TEST(Remove, ForeignAddedFilesAreListedInTableOrderWithTheSuffixOnTheLastLine) {
    const Engine engine = test::demoEngine();
    test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
    test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    test::writeFile(game.added(3), "hand-made dyslexic images");
    test::writeFile(game.added(1), "hand-made fonts");
    const fs::path app = fs::canonical(game.app);
    EXPECT_EQ(remove(engine, game.app), "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:\n" +
                                           (app / tools::addedFilePaths()[1]).string() + "\n" +
                                           (app / tools::addedFilePaths()[3]).string() + kSuffix);
    EXPECT_EQ(test::readFile(game.added(1)), "hand-made fonts");
    EXPECT_FALSE(fs::exists(game.added(0)));
    EXPECT_FALSE(fs::exists(game.added(2)));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), test::demoFixture().original[i]);

    test::GameFixture one(GameState::InstalledEnglish, true);
    test::writeFile(one.added(1), "hand-made fonts");
    EXPECT_EQ(remove(engine, one.app), "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:\n" +
                                          (fs::canonical(one.app) / tools::addedFilePaths()[1]).string());
}

TEST(Remove, MissingOrWrongBackupOfTheThirdAssetStopsBeforeAnyRestore) {
    const Engine engine = test::demoEngine();
    for (int variant = 0; variant < 3; ++variant) {
        test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
        const fs::path backup = game.support / "Steam-57314208" / "level3";
        if (variant == 0) fs::remove(backup);
        if (variant == 1) test::writeFile(backup, test::demoFixture().original[2].substr(0, 100));
        if (variant == 2) {
            fs::remove(backup);
            fs::create_symlink(game.support / "Steam-57314208" / "level2", backup);
        }
        const auto before = test::snapshot(game.app);
        try {
            remove(engine, game.app);
            FAIL() << variant;
        } catch (const InstallerError& error) {
            EXPECT_STREQ(error.what(), "Проверенная резервная копия не найдена: level3") << variant;
        }
        EXPECT_EQ(test::snapshot(game.app), before) << variant;
    }
}

TEST(Remove, ForeignAssetStopsEvenWhenEverythingElseIsRestorable) {
    const Engine engine = test::demoEngine();
    test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
    test::writeFile(game.asset(4), "patched by a store update");
    const auto before = test::snapshot(game.app);
    try {
        remove(engine, game.app);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(),
                     "sharedassets1.assets изменён другой программой\nили обновлением Steam. Удаление остановлено.");
    }
    EXPECT_EQ(test::snapshot(game.app), before);
}

TEST(Remove, UntouchedGameWithNoAddedFilesIsThePlainMessage) {
    const Engine engine = test::demoEngine();
    test::GameFixture game;
    const auto before = test::snapshot(game.root.path());
    EXPECT_EQ(remove(engine, game.app), kRemoved);
    EXPECT_EQ(test::snapshot(game.root.path()), before);
}

// A folder or a pipe where an added bundle belongs: refused at once, naming it, before any asset
// is restored.
TEST(Remove, AFolderOrPipeInAnAddedBundlesPlaceStopsBeforeAnyRestore) {
    for (bool pipe : {false, true}) {
        test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
        fs::remove(game.added(2));
        if (pipe) ASSERT_EQ(::mkfifo(game.added(2).c_str(), 0644), 0);
        else fs::create_directories(game.added(2));
        const auto before = test::snapshot(game.app);
        EXPECT_EQ(test::failureWithin(30, [&] { remove(test::demoEngine(), game.app); }),
                  "Ожидался обычный файл, но это папка, канал или устройство: " +
                      (fs::canonical(game.app) / tools::addedFilePaths()[2]).string());
        EXPECT_EQ(test::snapshot(game.app), before);
    }
}

}  // namespace
}  // namespace morra
