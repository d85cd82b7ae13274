// Several game builds: the game's build found by its files, backups that serve whichever build
// made them, and a game that Steam updated past every build the installer knows.

#include <gtest/gtest.h>

#include <optional>

#include "Pack.h"
#include "ProfileFile.h"
#include "TestSupport.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kTranslatedDone =
    "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка."
    "\nНазвания навыков на карточках переведены.";
const std::string kRemoved = "Перевод удалён. Файлы игры восстановлены.";
const std::string kUpdated = "игра обновлена до версии, которую этот выпуск перевода ещё не знает; "
                             "перевод можно удалить там, где есть резервные копии";

// Build 57314208 and its update 57390117 (level2, sharedassets1.assets and images/english changed).
const std::vector<tools::Fixture>& twoBuilds() {
    static const std::vector<tools::Fixture> builds = tools::makeTwoBuilds(3, 256 << 10);
    return builds;
}
const tools::Fixture& buildA() { return twoBuilds()[0]; }
const tools::Fixture& buildB() { return twoBuilds()[1]; }

// An engine that knows the given builds, over their payload written as the build step stores it.
struct Engine {
    explicit Engine(const std::vector<tools::Fixture>& builds) : context(FileManager(), tools::knownBuilds(builds), payload.path()) {
        tools::writePayload(builds, payload.path());
    }
    test::TemporaryDirectory payload;
    InstallContext context;
};

// Both builds as a release makes them: packed by the pack tool from copies of each build's forms,
// the profile and payload then taken by the build step into the program's resources.
struct PackedEngine {
    PackedEngine() {
        tools::PackInputs inputs;
        inputs.out = root.path() / "out";
        for (const tools::Fixture& fixture : twoBuilds()) {
            const fs::path folder = root.path() / fixture.profile.build;
            tools::BuildCopies copies{fixture.profile.build, folder / "original.app", folder / "english.app",
                                      folder / "translated.app", {}};
            tools::writeGame(fixture, copies.original, GameState::Untouched);
            tools::writeGame(fixture, copies.englishCards, GameState::InstalledEnglish);
            tools::writeGame(fixture, copies.translated, GameState::InstalledTranslated);
            inputs.builds.push_back(std::move(copies));
        }
        tools::pack(inputs);
        const fs::path share = root.path() / "share";
        const test::ProcessResult compiled = test::runProcess(
            {MORRA_PROFILE_COMPILER, "--profile", (inputs.out / "profile.json").string(), "--payload",
             (inputs.out / "Payload").string(), "--output", (root.path() / "ProfileData.cpp").string(), "--resources", share.string()});
        EXPECT_EQ(compiled.status, 0) << compiled.standardError;
        context.emplace(FileManager(), tools::readProfileFile(inputs.out / "profile.json"), share / "Payload");
    }
    test::TemporaryDirectory root;
    std::optional<InstallContext> context;
};

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Packed as a release is made, installed under 57314208, then updated by Steam to 57390117: the
// game is found as 57390117 partly installed. Removing gives back exactly the untouched 57390117
// from the first build's backups; installing (right after the update, or after that removal) backs
// up only the changed originals into Steam-57390117, and removing gives back the untouched
// 57390117 again. The first build's backups never change.
TEST(Builds, AnUpdateBetweenKnownBuildsIsFoundRemovedAndInstalledExactly) {
    const PackedEngine packed;
    ASSERT_TRUE(packed.context);
    const InstallContext& context = *packed.context;
    const auto untouchedB = test::snapshot(test::GameFixture(GameState::Untouched, false, "morra.app", buildB()).app);
    for (bool installFirst : {false, true}) {
        test::GameFixture game(GameState::Untouched, false, "morra.app", buildA());
        EXPECT_EQ(firstLine(inspect(context, game.app)), "Совместимый профиль macOS 57314208: перевод не установлен");
        EXPECT_EQ(install(context, game.app, SkillCards::Translated), kTranslatedDone);
        const auto backupsA = test::snapshot(game.support / "Steam-57314208");
        EXPECT_EQ(backupsA.size(), 5u);
        tools::writeUpdate(buildA(), buildB(), game.app);
        EXPECT_EQ(firstLine(inspect(context, game.app)),
                  "Совместимый профиль macOS 57390117: установлена предыдущая или неполная версия");
        if (!installFirst) {
            EXPECT_EQ(remove(context, game.app), kRemoved);
            EXPECT_TRUE(test::snapshot(game.app) == untouchedB);
        }
        EXPECT_EQ(install(context, game.app, SkillCards::Translated), kTranslatedDone);
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), buildB().translatedCards[i]) << i;
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(test::readFile(game.added(i)), buildB().addedExpected[i]) << i;
        EXPECT_EQ(test::snapshot(game.support / "Steam-57390117"),
                  (std::map<std::string, std::string>{{"level2", buildB().original[1]},
                                                      {"sharedassets1.assets", buildB().original[4]}}));
        EXPECT_EQ(firstLine(inspect(context, game.app)),
                  "Совместимый профиль macOS 57390117: перевод установлен, карточки навыков переведены");
        EXPECT_EQ(remove(context, game.app), kRemoved);
        EXPECT_TRUE(test::snapshot(game.app) == untouchedB) << installFirst;
        EXPECT_TRUE(test::snapshot(game.support / "Steam-57314208") == backupsA);
        EXPECT_TRUE(test::temporaries(game.root.path()).empty());
    }
}

// Files of two builds with no backup fit no build: inspect, install and remove refuse before any
// change and name every known build. A game of the second build with the first build's source
// bundle is refused naming the build found.
TEST(Builds, AMixtureOfBuildsWithoutBackupsIsRefusedNamingEveryBuild) {
    const Engine engine(twoBuilds());
    test::GameFixture game(GameState::Untouched, false, "morra.app", buildA());
    test::writeFile(game.asset(1), buildB().original[1]);
    const auto before = test::snapshot(game.root.path());
    EXPECT_EQ(firstLine(inspect(engine.context, game.app)),
              "Совместимые профили macOS 57314208, 57390117: неподдерживаемая или изменённая сборка");
    EXPECT_EQ(test::failureOf([&] { install(engine.context, game.app, SkillCards::Translated); }),
              "Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
              "соответствовать одному из совместимых профилей macOS\n57314208, 57390117.\nlevel2: " +
                  test::digestOf(buildB().original[1]));
    EXPECT_EQ(test::failureOf([&] { remove(engine.context, game.app); }),
              "level2 изменён другой программой\nили обновлением Steam. Удаление остановлено.");
    EXPECT_TRUE(test::snapshot(game.root.path()) == before);

    test::GameFixture other(GameState::Untouched, false, "morra.app", buildB());
    test::writeFile(other.app / tools::sourceBundlePaths()[1], buildA().sourceBundles[1]);
    EXPECT_EQ(test::failureOf([&] { install(engine.context, other.app, SkillCards::Translated); }),
              "Игровой ресурс не соответствует совместимому профилю macOS 57390117: " +
                  (fs::canonical(other.app) / tools::sourceBundlePaths()[1]).string());
}

// An installer that knows only 57314208, on a game Steam updated to 57390117: inspection says the
// game was updated, install refuses before any change, removal stops while a needed backup is
// missing, and otherwise restores what the backups allow and leaves the updated files.
TEST(Builds, AGameUpdatedPastEveryKnownBuildIsSaidSoAndRemovedAsFarAsBackupsAllow) {
    const Engine engine({buildA()});
    const auto untouchedB = test::snapshot(test::GameFixture(GameState::Untouched, false, "morra.app", buildB()).app);
    test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true, "morra.app", buildA());
    tools::writeUpdate(buildA(), buildB(), game.app);
    EXPECT_EQ(firstLine(inspect(engine.context, game.app)), "Совместимый профиль macOS 57314208: " + kUpdated);
    EXPECT_EQ(installationState(engine.context, game.app), InstallationState::GameUpdated);
    const auto before = test::snapshot(game.root.path());
    EXPECT_EQ(test::failureOf([&] { install(engine.context, game.app, SkillCards::English); }),
              "Игра обновлена до версии, которую этот выпуск перевода ещё не знает.\n"
              "Перевод знает совместимый профиль macOS 57314208.\n"
              "Установить перевод можно будет, когда выйдет его новый выпуск. Удалить перевод можно и сейчас: "
              "файлы, для которых есть проверенные резервные копии, будут восстановлены.");
    EXPECT_TRUE(test::snapshot(game.root.path()) == before);

    const fs::path level3 = game.support / "Steam-57314208" / "level3";
    fs::rename(level3, game.root.path() / "level3");
    const auto gameBefore = test::snapshot(game.app);
    EXPECT_EQ(test::failureOf([&] { remove(engine.context, game.app); }), "Проверенная резервная копия не найдена: level3");
    EXPECT_TRUE(test::snapshot(game.app) == gameBefore);
    fs::rename(game.root.path() / "level3", level3);

    EXPECT_EQ(remove(engine.context, game.app),
              "Перевод удалён там, где это было возможно: игра обновлена до версии, которую этот выпуск перевода "
              "ещё не знает.\nВосстановлены из резервных копий: resources.assets, level3, sharedassets0.assets."
              "\nОставлены как есть: level2, sharedassets1.assets.");
    EXPECT_TRUE(test::snapshot(game.app) == untouchedB);
    EXPECT_EQ(firstLine(inspect(engine.context, game.app)), "Совместимый профиль macOS 57314208: " + kUpdated);
}

}  // namespace
}  // namespace morra
