#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kDone =
    "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка.";
const std::string kCardsTranslated = "\nНазвания навыков на карточках переведены.";
const std::string kCardsEnglish = "\nКарточки навыков возвращены к английскому варианту.";
const std::string kMigrated = "\nСтарое конфликтное значение языка запуска заменено на English.";

// Checks that the game holds exactly the installed form of the chosen variant.
void expectInstalled(const test::GameFixture& game, bool skillCards) {
    const tools::Fixture& fixture = test::demoFixture();
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.asset(i)), skillCards ? fixture.translatedCards[i] : fixture.englishCards[i]) << i;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(test::readFile(game.added(i)), fixture.addedExpected[i]) << i;
    EXPECT_TRUE(test::temporaries(game.root.path()).empty());
}

void expectBackups(const test::GameFixture& game) {
    const tools::Fixture& fixture = test::demoFixture();
    const char* names[] = {"resources.assets", "level2", "level3", "sharedassets0.assets", "sharedassets1.assets"};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.support / "Steam-57314208" / names[i]), fixture.original[i]) << names[i];
}

TEST(Install, FreshGameGetsBackupsAddedFilesAndPatchedAssetsWithProgressToTheEnd) {
    test::GameFixture game;
    const Engine engine = test::demoEngine();
    test::ProgressLog progress;
    EXPECT_EQ(install(engine, game.app, true, progress.callback()), kDone + kCardsTranslated);
    progress.expectCompleteAndMonotonic();
    for (Progress::Step step : {Progress::Step::Checking, Progress::Step::BackingUp, Progress::Step::AddingBundles,
                                Progress::Step::Patching, Progress::Step::Verifying})
        EXPECT_TRUE(progress.sawStep(step)) << static_cast<int>(step);
    const auto lastPatch = std::find_if(progress.reports.rbegin(), progress.reports.rend(),
                                        [](const Progress& p) { return p.step == Progress::Step::Patching; });
    ASSERT_NE(lastPatch, progress.reports.rend());
    EXPECT_EQ(lastPatch->item, 5);
    EXPECT_EQ(lastPatch->itemCount, 5);
    expectInstalled(game, true);
    expectBackups(game);
    // The source bundles the added files were made from are untouched.
    EXPECT_EQ(test::readFile(game.app / tools::sourceBundlePaths()[0]), test::demoFixture().sourceBundles[0]);
}

TEST(Install, RerunChangesNothingAndSwitchingVariantRebuildsOnlyTwoAssets) {
    test::GameFixture game;
    const Engine engine = test::demoEngine();
    ASSERT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    const auto installed = test::snapshot(game.root.path());
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    EXPECT_EQ(test::snapshot(game.root.path()), installed);

    // Change the last three assets' timestamps' witness: their inode must stay the same.
    const auto inodeOf = [](const fs::path& path) {
        struct stat status {};
        ::stat(path.c_str(), &status);
        return status.st_ino;
    };
    std::vector<ino_t> before;
    for (std::size_t i = 0; i < 5; ++i) before.push_back(inodeOf(game.asset(i)));
    EXPECT_EQ(install(engine, game.app, false), kDone + kCardsEnglish);
    expectInstalled(game, false);
    EXPECT_NE(inodeOf(game.asset(0)), before[0]);
    EXPECT_NE(inodeOf(game.asset(1)), before[1]);
    for (std::size_t i = 2; i < 5; ++i) EXPECT_EQ(inodeOf(game.asset(i)), before[i]) << i;
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    expectInstalled(game, true);
}

TEST(Install, UnsupportedBuildIsRefusedBeforeAnythingChanges) {
    test::GameFixture game;
    test::writeFile(game.asset(3), "another build");
    const auto before = test::snapshot(game.root.path());
    const Engine engine = test::demoEngine();
    try {
        install(engine, game.app, true);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
                  "соответствовать совместимому профилю macOS\n57314208.\nsharedassets0.assets: " +
                      test::digestOf("another build"));
    }
    EXPECT_EQ(test::snapshot(game.root.path()), before);
    EXPECT_TRUE(test::snapshot(game.support).empty()) << "no backup is made";
}

TEST(Install, EarlierReleaseIsUpdatedFromItsBackupsOnly) {
    test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
    const Engine engine = test::demoEngine();
    EXPECT_EQ(install(engine, game.app, false), kDone + kCardsEnglish);
    expectInstalled(game, false);
    expectBackups(game);
}

TEST(Install, OlderFormWithoutItsBackupStopsAfterTheOthersAreDone) {
    test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
    fs::remove(game.support / "Steam-57314208" / "level2");
    const Engine engine = test::demoEngine();
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            install(engine, game.app, true);
            FAIL();
        } catch (const InstallerError& error) {
            EXPECT_STREQ(error.what(), "Для обновления не найдена проверенная резервная копия: level2");
        }
    }
    // resources.assets came before it; level2 keeps its older form.
    EXPECT_EQ(test::readFile(game.asset(0)), test::demoFixture().translatedCards[0]);
    EXPECT_EQ(test::readFile(game.asset(1)), test::demoFixture().earlierReleases[1].back());
    EXPECT_EQ(test::readFile(game.added(0)), test::demoFixture().addedExpected[0]);
    // A damaged backup is the same message.
    test::writeFile(game.support / "Steam-57314208" / "level2", "damaged");
    EXPECT_THROW(install(engine, game.app, true), InstallerError);
    test::writeFile(game.support / "Steam-57314208" / "level2", test::demoFixture().original[1]);
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    expectInstalled(game, true);
}

TEST(Install, DamagedBackupOfAnUntouchedAssetStopsBeforeTheGameChanges) {
    test::GameFixture game;
    test::writeFile(game.support / "Steam-57314208" / "level3", "truncated");
    const auto gameBefore = test::snapshot(game.app);
    const Engine engine = test::demoEngine();
    try {
        install(engine, game.app, true);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "Существующая резервная копия повреждена: level3");
    }
    EXPECT_EQ(test::snapshot(game.app), gameBefore);
    EXPECT_EQ(test::readFile(game.support / "Steam-57314208" / "level3"), "truncated");
    EXPECT_EQ(test::readFile(game.support / "Steam-57314208" / "level2"), test::demoFixture().original[1]);
}

TEST(Install, ForeignAddedFileIsRefusedAndAReplaceableOneIsRebuilt) {
    test::GameFixture game;
    test::writeFile(game.added(2), test::demoFixture().addedReplaceable[2][1]);
    test::writeFile(game.added(3), "made by someone else");
    const Engine engine = test::demoEngine();
    try {
        install(engine, game.app, true);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_EQ(std::string(error.what()), "Установочный файл уже существует и отличается: " +
                                                 (fs::canonical(game.app) / tools::addedFilePaths()[3]).string());
    }
    EXPECT_EQ(test::readFile(game.added(2)), test::demoFixture().addedExpected[2]);
    EXPECT_EQ(test::readFile(game.added(3)), "made by someone else");
    EXPECT_EQ(test::readFile(game.asset(0)), test::demoFixture().original[0]);
    fs::remove(game.added(3));
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    expectInstalled(game, true);
}

TEST(Install, MissingOrDamagedPayloadIsRefusedFirst) {
    // An engine over a copy of the payload that the test can break.
    test::GameFixture game;
    test::TemporaryDirectory payload;
    tools::writePayload(test::demoFixture(), payload.path());
    const Engine engine(FileManager(), builtInProfile(), payload.path());
    const auto before = test::snapshot(game.root.path());

    test::writeFile(payload.path() / "russianblind", "damaged");
    fs::remove(payload.path() / "resources.assets.bsdiff");
    try {
        install(engine, game.app, true);
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "Файлы перевода повреждены.");  // the first file decides
    }
    tools::writePayload(test::demoFixture(), payload.path());
    fs::remove(payload.path() / "level2-skill-cards.delta.bsdiff");
    try {
        install(engine, game.app, false);  // both deltas are checked whatever the variant
        FAIL();
    } catch (const InstallerError& error) {
        EXPECT_STREQ(error.what(), "В приложении отсутствуют файлы перевода.");
    }
    EXPECT_EQ(test::snapshot(game.root.path()), before);
    tools::writePayload(test::demoFixture(), payload.path());
    test::writeFile(payload.path() / "unrelated", "extra files are ignored");
    EXPECT_EQ(install(engine, game.app, false), kDone + kCardsEnglish);
}

TEST(Install, StaleStartupLanguageIsMigratedAndReported) {
    test::GameFixture game;
    test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    const Engine engine = test::demoEngine();
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated + kMigrated);
    EXPECT_EQ(nlohmann::json::parse(test::readFile(game.settings))["LANGUAGE"]["Language"]["intValue"], 0);
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    // A settings file that is not JSON stops the install before any game file is touched.
    test::GameFixture other;
    test::writeFile(other.settings, "not json");
    const auto before = test::snapshot(other.app);
    EXPECT_ANY_THROW(install(engine, other.app, true));
    EXPECT_EQ(test::snapshot(other.app), before);
}

// A named pipe where an added bundle goes, or where an asset should be: refused at once, with the
// game's file named, before any game file changes.
TEST(Install, APipeInTheGameIsRefusedWithoutWaiting) {
    for (bool asset : {true, false}) {
        test::GameFixture game;
        const fs::path pipe = asset ? game.asset(2) : game.added(1);
        fs::remove(pipe);
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
        const auto before = test::snapshot(game.app);
        EXPECT_EQ(test::failureWithin(30, [&] { install(test::demoEngine(), game.app, true); }),
                  "Ожидался обычный файл, но это папка, канал или устройство: " + (fs::canonical(game.root.path()) / fs::relative(pipe, game.root.path())).string());
        EXPECT_EQ(test::snapshot(game.app), before);
    }
}

TEST(Install, InterruptedGameFromTheGeneratorIsFinished) {
    test::GameFixture game(GameState::Interrupted, /*backups=*/true);
    const Engine engine = test::demoEngine();
    EXPECT_EQ(install(engine, game.app, true), kDone + kCardsTranslated);
    expectInstalled(game, true);
}

}  // namespace
}  // namespace morra
