// The install operation on whole games: what it makes, what it leaves, and every refusal that must
// come before the game changes.

#include "operations/Install.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <set>
#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kDone =
    "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка.";
const std::string kCardsTranslated = "\nНазвания навыков на карточках переведены.";
const std::string kCardsEnglish = "\nКарточки навыков возвращены к английскому варианту.";
const std::string kMigrated = "\nСтарое конфликтное значение языка запуска заменено на English.";

// The game holds exactly the installed form of the chosen variant.
void expectInstalled(const test::GameFixture& game, bool skillCards) {
    const tools::Fixture& fixture = test::demoFixture();
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.asset(i)), skillCards ? fixture.translatedCards[i] : fixture.englishCards[i]) << i;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(test::readFile(game.added(i)), fixture.addedExpected[i]) << i;
    EXPECT_TRUE(test::temporaries(game.root.path()).empty());
}

TEST(Install, AFreshGameGetsBackupsAddedBundlesAndPatchedAssetsWithProgressToTheEnd) {
    test::GameFixture game;
    test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    std::vector<Progress> reports;
    EXPECT_EQ(install(test::demoContext(), game.app, SkillCards::Translated, [&](const Progress& p) { reports.push_back(p); }),
              kDone + kCardsTranslated + kMigrated);
    expectInstalled(game, true);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.support / "Steam-57314208" / fs::path(tools::assetPaths()[i]).filename()),
                  test::demoFixture().original[i]);
    EXPECT_EQ(test::readFile(game.app / tools::sourceBundlePaths()[0]), test::demoFixture().sourceBundles[0]);
    EXPECT_EQ(nlohmann::json::parse(test::readFile(game.settings))["LANGUAGE"]["Language"]["intValue"], 0);
    // The reports keep one total, never go back, end at it, and pass through every step.
    ASSERT_FALSE(reports.empty());
    std::set<Progress::Step> steps;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, reports[0].total) << i;
        EXPECT_LE(reports[i].done, reports[i].total) << i;
        if (i > 0) {
            EXPECT_GE(reports[i].done, reports[i - 1].done) << i;
        }
        steps.insert(reports[i].step);
    }
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(steps, (std::set<Progress::Step>{Progress::Step::Checking, Progress::Step::BackingUp, Progress::Step::AddingBundles,
                                               Progress::Step::Patching, Progress::Step::Verifying}));
    const auto lastPatch = std::find_if(reports.rbegin(), reports.rend(), [](const Progress& p) { return p.step == Progress::Step::Patching; });
    ASSERT_NE(lastPatch, reports.rend());
    EXPECT_EQ(std::pair(lastPatch->item, lastPatch->itemCount), std::pair(5, 5));
}

// A rerun changes nothing; switching the variant rebuilds only the two assets that differ (new
// files), and leaves the other three as they are (the same files).
TEST(Install, ARerunChangesNothingAndASwitchRebuildsOnlyTwoAssets) {
    test::GameFixture game;
    const InstallContext engine = test::demoContext();
    ASSERT_EQ(install(engine, game.app, SkillCards::Translated), kDone + kCardsTranslated);
    const auto installed = test::snapshot(game.root.path());
    EXPECT_EQ(install(engine, game.app, SkillCards::Translated), kDone + kCardsTranslated);
    EXPECT_EQ(test::snapshot(game.root.path()), installed);
    const auto inodeOf = [](const fs::path& path) {
        struct stat status {};
        ::stat(path.c_str(), &status);
        return status.st_ino;
    };
    std::vector<ino_t> before;
    for (std::size_t i = 0; i < 5; ++i) before.push_back(inodeOf(game.asset(i)));
    EXPECT_EQ(install(engine, game.app, SkillCards::English), kDone + kCardsEnglish);
    expectInstalled(game, false);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(inodeOf(game.asset(i)) == before[i], i >= 2) << i;
}

// Each refusal names its cause and comes before any file of the game changes.
TEST(Install, RefusalsComeBeforeTheGameChanges) {
    const fs::path store = "support/Steam-57314208";
    struct Case {
        const char* label;
        std::function<void(const test::GameFixture&, const fs::path& payload)> prepare;
        std::function<std::string(const test::GameFixture&)> expected;
    };
    const auto text = [](std::string message) { return [message](const test::GameFixture&) { return message; }; };
    const std::vector<Case> cases = {
        {"an asset of another build", [](auto& game, auto&) { test::writeFile(game.asset(3), "another build"); },
         text("Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
              "соответствовать совместимому профилю macOS\n57314208.\nsharedassets0.assets: " +
              test::digestOf("another build"))},
        {"a damaged backup of an untouched asset",
         [&](auto& game, auto&) { test::writeFile(game.root.path() / store / "level3", "truncated"); },
         text("Существующая резервная копия повреждена: level3")},
        {"a damaged payload file before a missing one",
         [](auto&, auto& payload) {
             test::writeFile(payload / "russianblind", "damaged");
             fs::remove(payload / "resources.assets.bsdiff");
         },
         text("Файлы перевода повреждены.")},
        {"the other variant's delta missing", [](auto&, auto& payload) { fs::remove(payload / "level2-skill-cards.delta.bsdiff"); },
         text("В приложении отсутствуют файлы перевода.")},
        {"settings that are not JSON", [](auto& game, auto&) { test::writeFile(game.settings, "not json"); },
         [](const test::GameFixture& game) { return "Файл настроек игры повреждён (это не JSON, ошибка около байта 2): " + game.settings.string(); }},
        {"a pipe where an asset is",
         [](auto& game, auto&) {
             fs::remove(game.asset(2));
             ::mkfifo(game.asset(2).c_str(), 0644);
         },
         [](const test::GameFixture& game) {
             return "Ожидался обычный файл, но это папка, канал или устройство: " + (fs::canonical(game.app) / tools::assetPaths()[2]).string();
         }},
        {"a pipe where an added bundle goes",
         [](auto& game, auto&) { ::mkfifo(game.added(1).c_str(), 0644); },
         [](const test::GameFixture& game) {
             return "Ожидался обычный файл, но это папка, канал или устройство: " + (fs::canonical(game.app) / tools::addedFilePaths()[1]).string();
         }},
    };
    for (const Case& entry : cases) {
        test::GameFixture game;
        test::TemporaryDirectory payload;
        tools::writePayload(test::demoFixture(), payload.path());
        const InstallContext engine(FileManager(), builtInProfile(), payload.path());
        entry.prepare(game, payload.path());
        const auto before = test::snapshot(game.app);
        EXPECT_EQ(test::failureWithin(30, [&] { install(engine, game.app, SkillCards::English); }), entry.expected(game)) << entry.label;
        EXPECT_EQ(test::snapshot(game.app), before) << entry.label;
    }
}

TEST(Install, AnOlderFormWithoutItsVerifiedBackupStopsAfterTheOthersAreDone) {
    test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
    const fs::path backup = game.support / "Steam-57314208" / "level2";
    const InstallContext engine = test::demoContext();
    for (const std::string& content : {std::string(), std::string("damaged")}) {
        if (content.empty()) fs::remove(backup);
        else test::writeFile(backup, content);
        EXPECT_EQ(test::failureOf([&] { install(engine, game.app, SkillCards::Translated); }),
                  "Для обновления не найдена проверенная резервная копия: level2");
        // resources.assets came before it; level2 keeps its older form.
        EXPECT_EQ(test::readFile(game.asset(0)), test::demoFixture().translatedCards[0]);
        EXPECT_EQ(test::readFile(game.asset(1)), test::demoFixture().earlierReleases[1].back());
    }
    test::writeFile(backup, test::demoFixture().original[1]);
    EXPECT_EQ(install(engine, game.app, SkillCards::Translated), kDone + kCardsTranslated);
    expectInstalled(game, true);
}

TEST(Install, AForeignAddedBundleIsRefusedAndAReplaceableOneIsRebuilt) {
    test::GameFixture game;
    test::writeFile(game.added(2), test::demoFixture().addedReplaceable[2][1]);
    test::writeFile(game.added(3), "made by someone else");
    const InstallContext engine = test::demoContext();
    EXPECT_EQ(test::failureOf([&] { install(engine, game.app, SkillCards::Translated); }),
              "Установочный файл уже существует и отличается: " + (fs::canonical(game.app) / tools::addedFilePaths()[3]).string());
    EXPECT_EQ(test::readFile(game.added(2)), test::demoFixture().addedExpected[2]);
    EXPECT_EQ(test::readFile(game.added(3)), "made by someone else");
    EXPECT_EQ(test::readFile(game.asset(0)), test::demoFixture().original[0]);
    fs::remove(game.added(3));
    EXPECT_EQ(install(engine, game.app, SkillCards::Translated), kDone + kCardsTranslated);
    expectInstalled(game, true);
}

}  // namespace
}  // namespace morra
