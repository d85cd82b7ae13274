// Install, remove and inspect on whole games: what they make, what they give back, what they
// report, and every refusal that must come before the game changes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <set>
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
const std::string kCardsTranslated = kDone + "\nНазвания навыков на карточках переведены.";
const std::string kMigrated = "\nСтарое конфликтное значение языка запуска заменено на English.";
const std::string kRemoved = "Перевод удалён. Файлы игры восстановлены.";
const std::string kEnglishNext = " Язык следующего запуска — English.";
const std::string kThirteen = R"({"LANGUAGE":{"Language":{"intValue":13}}})";
const std::string kNotRegular = "Ожидался обычный файл, но это папка, канал или устройство: ";
const fs::path kStore = "support/Steam-57314208";

const tools::Fixture& fixture() { return test::demoFixture(); }
fs::path shown(const test::GameFixture& game, const std::string& relative) { return fs::canonical(game.app) / relative; }

// The game holds exactly the installed form of the chosen variant.
void expectInstalled(const test::GameFixture& game, bool skillCards) {
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.asset(i)), skillCards ? fixture().translatedCards[i] : fixture().englishCards[i]) << i;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(test::readFile(game.added(i)), fixture().addedExpected[i]) << i;
    EXPECT_TRUE(test::temporaries(game.root.path()).empty());
}

TEST(Install, AFreshGameGetsBackupsAddedBundlesAndPatchedAssetsWithProgressToTheEnd) {
    test::GameFixture game;
    test::writeFile(game.settings, kThirteen);
    std::vector<Progress> reports;
    EXPECT_EQ(install(test::demoContext(), game.app, SkillCards::Translated, [&](const Progress& p) { reports.push_back(p); }), kCardsTranslated + kMigrated);
    expectInstalled(game, true);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.root.path() / kStore / fs::path(tools::assetPaths()[i]).filename()), fixture().original[i]);
    EXPECT_EQ(test::readFile(game.app / tools::sourceBundlePaths()[0]), fixture().sourceBundles[0]);
    EXPECT_EQ(nlohmann::json::parse(test::readFile(game.settings))["LANGUAGE"]["Language"]["intValue"], 0);
    // The reports keep one total, never go back, end at it, and pass through every step.
    ASSERT_FALSE(reports.empty());
    std::set<Progress::Step> steps;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, reports[0].total) << i;
        EXPECT_LE(reports[i].done, reports[i].total) << i;
        EXPECT_GE(reports[i].done, reports[i ? i - 1 : 0].done) << i;
        steps.insert(reports[i].step);
        EXPECT_TRUE(reports[i].step != Progress::Step::Patching || reports[i].itemCount == 5) << i;
    }
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(steps, (std::set<Progress::Step>{Progress::Step::Checking, Progress::Step::BackingUp, Progress::Step::AddingBundles,
                                               Progress::Step::Patching, Progress::Step::Verifying}));
}

// A rerun changes nothing; switching the variant rebuilds only the two assets that differ (new
// files), and leaves the other three as they are (the same files).
TEST(Install, ARerunChangesNothingAndASwitchRebuildsOnlyTwoAssets) {
    test::GameFixture game;
    const InstallContext engine = test::demoContext();
    ASSERT_EQ(install(engine, game.app, SkillCards::Translated), kCardsTranslated);
    const auto installed = test::snapshot(game.root.path());
    EXPECT_EQ(install(engine, game.app, SkillCards::Translated), kCardsTranslated);
    EXPECT_TRUE(test::snapshot(game.root.path()) == installed);
    const auto inodeOf = [&](std::size_t i) {
        struct stat status {};
        ::stat(game.asset(i).c_str(), &status);
        return status.st_ino;
    };
    std::vector<ino_t> before;
    for (std::size_t i = 0; i < 5; ++i) before.push_back(inodeOf(i));
    EXPECT_EQ(install(engine, game.app, SkillCards::English), kDone + "\nКарточки навыков возвращены к английскому варианту.");
    expectInstalled(game, false);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(inodeOf(i) == before[i], i >= 2) << i;
}

// Each refusal names its cause and comes before any file of the game changes.
TEST(Install, RefusalsComeBeforeTheGameChanges) {
    const std::vector<std::pair<std::function<void(const test::GameFixture&, const fs::path& payload)>,
                                std::function<std::string(const test::GameFixture&)>>>
        cases = {
            {[](auto& game, auto&) { test::writeFile(game.asset(3), "another build"); },
             [](auto&) {
                 return "Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
                        "соответствовать совместимому профилю macOS\n57314208.\nsharedassets0.assets: " + test::digestOf("another build");
             }},
            {[](auto& game, auto&) { test::writeFile(game.root.path() / kStore / "level3", "truncated"); },
             [](auto&) { return "Существующая резервная копия повреждена: level3"; }},
            {[](auto&, auto& payload) {  // a damaged payload file before a missing one
                 test::writeFile(payload / "russianblind", "damaged");
                 fs::remove(payload / "resources.assets.bsdiff");
             },
             [](auto&) { return "Файлы перевода повреждены."; }},
            {[](auto&, auto& payload) { fs::remove(payload / "level2-skill-cards.delta.bsdiff"); },
             [](auto&) { return "В приложении отсутствуют файлы перевода."; }},
            {[](auto& game, auto&) { test::writeFile(game.settings, "not json"); },
             [](auto& game) { return "Файл настроек игры повреждён (это не JSON, ошибка около байта 2): " + game.settings.string(); }},
            {[](auto& game, auto&) { fs::remove(game.asset(2)), ::mkfifo(game.asset(2).c_str(), 0644); },
             [](auto& game) { return kNotRegular + shown(game, tools::assetPaths()[2]).string(); }},
            {[](auto& game, auto&) { ::mkfifo(game.added(1).c_str(), 0644); },
             [](auto& game) { return kNotRegular + shown(game, tools::addedFilePaths()[1]).string(); }},
        };
    for (const auto& [prepare, expected] : cases) {
        test::GameFixture game;
        test::TemporaryDirectory payload;
        tools::writePayload(fixture(), payload.path());
        const InstallContext engine(FileManager(), builtInBuilds(), payload.path());
        prepare(game, payload.path());
        const auto before = test::snapshot(game.app);
        EXPECT_EQ(test::failureWithin(30, [&] { install(engine, game.app, SkillCards::English); }), expected(game));
        EXPECT_TRUE(test::snapshot(game.app) == before) << expected(game);
    }
}

// An older form is rebuilt from its verified backup only; without one, the others are done first.
// A foreign added bundle is refused and kept, a replaceable one rebuilt.
TEST(Install, OlderFormsNeedTheirBackupAndForeignBundlesAreKept) {
    test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
    const fs::path backup = game.root.path() / kStore / "level2";
    const InstallContext engine = test::demoContext();
    for (const std::string& content : {std::string(), std::string("damaged")}) {
        if (content.empty()) fs::remove(backup);
        else test::writeFile(backup, content);
        EXPECT_EQ(test::failureOf([&] { install(engine, game.app, SkillCards::Translated); }), "Для обновления не найдена проверенная резервная копия: level2");
        EXPECT_EQ(test::readFile(game.asset(0)), fixture().translatedCards[0]);
        EXPECT_EQ(test::readFile(game.asset(1)), fixture().earlierReleases[1].back());
    }
    test::writeFile(backup, fixture().original[1]);
    test::writeFile(game.added(2), fixture().addedReplaceable[2][1]);
    test::writeFile(game.added(3), "made by someone else");
    EXPECT_EQ(test::failureOf([&] { install(engine, game.app, SkillCards::Translated); }),
              "Установочный файл уже существует и отличается: " + shown(game, tools::addedFilePaths()[3]).string());
    EXPECT_EQ(test::readFile(game.added(2)), fixture().addedExpected[2]);
    EXPECT_EQ(test::readFile(game.added(3)), "made by someone else");
    fs::remove(game.added(3));
    EXPECT_EQ(install(engine, game.app, SkillCards::Translated), kCardsTranslated);
    expectInstalled(game, true);
}

// Install then remove, or remove of an earlier release, gives back every file byte for byte and
// keeps the backups; a second remove is the plain message and changes nothing. Added files that
// someone else made are listed in the table's order and kept.
TEST(Remove, GivesBackEveryFileByteForByteAndKeepsForeignBundles) {
    const InstallContext engine = test::demoContext();
    const auto untouched = test::snapshot(test::GameFixture().app);
    for (GameState start : {GameState::Untouched, GameState::EarlierRelease}) {
        test::GameFixture game(start, start == GameState::EarlierRelease);
        if (start == GameState::Untouched) install(engine, game.app, SkillCards::English);
        else test::writeFile(game.settings, kThirteen);
        const auto backups = test::snapshot(game.root.path() / kStore);
        EXPECT_EQ(remove(engine, game.app), kRemoved + (start == GameState::Untouched ? "" : kEnglishNext));
        EXPECT_TRUE(test::snapshot(game.app) == untouched);
        EXPECT_TRUE(test::snapshot(game.root.path() / kStore) == backups) << "the backups stay as they were";
        EXPECT_TRUE(test::temporaries(game.root.path()).empty());
        EXPECT_EQ(remove(engine, game.app), kRemoved);
        EXPECT_TRUE(test::snapshot(game.app) == untouched);
    }
    test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
    test::writeFile(game.added(3), "hand-made dyslexic images");
    test::writeFile(game.added(1), "hand-made fonts");
    EXPECT_EQ(remove(engine, game.app), "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:\n" +
                                           shown(game, tools::addedFilePaths()[1]).string() + "\n" +
                                           shown(game, tools::addedFilePaths()[3]).string());
    EXPECT_EQ(test::readFile(game.added(1)), "hand-made fonts");
    EXPECT_FALSE(fs::exists(game.added(0)) || fs::exists(game.added(2)));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), fixture().original[i]);
}

// Without a verified backup, with a changed asset and no backups, or with a pipe where an added bundle belongs,
// the removal stops before anything is restored.
TEST(Remove, StopsBeforeAnyRestore) {
    const std::string noBackup = "Проверенная резервная копия не найдена: level3";
    const auto level3 = [](const test::GameFixture& g) { return g.root.path() / kStore / "level3"; };
    const std::vector<std::pair<std::function<void(const test::GameFixture&)>, std::string>> cases = {
        {[&](auto& g) { fs::remove(level3(g)); }, noBackup},
        {[&](auto& g) { test::writeFile(level3(g), fixture().original[2].substr(0, 100)); }, noBackup},
        {[&](auto& g) { fs::remove(level3(g)), fs::create_symlink(g.root.path() / kStore / "level2", level3(g)); }, noBackup},
        // With the backups in place, an unknown asset is a game update (BuildsTest).
        {[](auto& g) { test::writeFile(g.asset(0), "changed by another program"), fs::remove_all(g.root.path() / kStore); },
         "resources.assets изменён другой программой\nили обновлением Steam. Удаление остановлено."},
        {[](auto& g) { fs::remove(g.added(2)), ::mkfifo(g.added(2).c_str(), 0644); }, kNotRegular},
    };
    for (const auto& [prepare, message] : cases) {
        test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
        prepare(game);
        const auto before = test::snapshot(game.app);
        const std::string expected = message == kNotRegular ? message + shown(game, tools::addedFilePaths()[2]).string() : message;
        EXPECT_EQ(test::failureWithin(30, [&] { remove(test::demoContext(), game.app); }), expected);
        EXPECT_TRUE(test::snapshot(game.app) == before) << expected;
    }
}

std::string expectedReport(const test::GameFixture& game, const std::string& status) {
    // Appended in place: GCC 12 at -O3 misreads "literal" + std::string&& as an overlapping copy.
    std::string report = "Совместимый профиль macOS 57314208: ";
    report += status + "\n" + fs::canonical(game.app).string();
    for (std::size_t i = 0; i < 5; ++i) {
        report += "\n";
        report += fs::path(tools::assetPaths()[i]).filename().string() + ": " + test::digestOf(test::readFile(game.asset(i)));
    }
    return report;
}

// Each whole state has its status; mixed variants or an earlier form among current ones are an
// incomplete version; one unknown file (also a known digest of another entry) makes the build
// unsupported, its digest still printed. Nothing changes.
TEST(Inspect, EachStateHasItsStatusAndNothingChanges) {
    const InstallContext engine = test::demoContext();
    const std::string incomplete = "установлена предыдущая или неполная версия", unsupported = "неподдерживаемая или изменённая сборка";
    const std::tuple<GameState, std::string, InstallationState> states[] = {
        {GameState::Untouched, "перевод не установлен", InstallationState::NotInstalled},
        {GameState::InstalledTranslated, "перевод установлен, карточки навыков переведены", InstallationState::TranslatedCards},
        {GameState::InstalledEnglish, "перевод установлен, карточки навыков оставлены английскими", InstallationState::EnglishCards},
        {GameState::EarlierRelease, incomplete, InstallationState::EarlierOrIncomplete},
        {GameState::Interrupted, incomplete, InstallationState::EarlierOrIncomplete},
    };
    for (const auto& [state, status, installation] : states) {
        test::GameFixture game(state);
        const auto before = test::snapshot(game.root.path());
        EXPECT_EQ(inspect(engine, game.app), expectedReport(game, status)) << status;
        EXPECT_EQ(installationState(engine, game.app), installation) << status;
        EXPECT_TRUE(test::snapshot(game.root.path()) == before);
    }
    const std::tuple<GameState, std::size_t, std::string, std::string> mixed[] = {
        {GameState::InstalledTranslated, 1, fixture().englishCards[1], incomplete},
        {GameState::InstalledTranslated, 0, fixture().earlierReleases[0][0], incomplete},
        {GameState::InstalledTranslated, 4, "changed by something else", unsupported},
        {GameState::Untouched, 2, fixture().original[3], unsupported},
    };
    for (const auto& [state, asset, bytes, status] : mixed) {
        test::GameFixture game(state);
        test::writeFile(game.asset(asset), bytes);
        EXPECT_EQ(inspect(engine, game.app), expectedReport(game, status)) << status;
    }
}

}  // namespace
}  // namespace morra
