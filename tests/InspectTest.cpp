#include <gtest/gtest.h>

#include "TestSupport.h"
#include "operations/Inspect.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

std::string expectedReport(const test::GameFixture& game, const std::string& status) {
    // Appended in place: GCC 12 at -O3 misreads "literal" + std::string&& as an overlapping copy.
    std::string report = "Совместимый профиль macOS 57314208: ";
    report += status;
    report += "\n";
    report += fs::canonical(game.app).string();
    const char* names[] = {"resources.assets", "level2", "level3", "sharedassets0.assets", "sharedassets1.assets"};
    for (std::size_t i = 0; i < 5; ++i) {
        report += "\n";
        report += names[i];
        report += ": ";
        report += test::digestOf(test::readFile(game.asset(i)));
    }
    return report;
}

TEST(Inspect, EachWholeStateHasItsStatusAndNothingChanges) {
    const Engine engine = test::demoEngine();
    const std::tuple<GameState, std::string, InstallationState> cases[] = {
        {GameState::Untouched, "перевод не установлен", InstallationState::NotInstalled},
        {GameState::InstalledTranslated, "перевод установлен, карточки навыков переведены", InstallationState::TranslatedCards},
        {GameState::InstalledEnglish, "перевод установлен, карточки навыков оставлены английскими", InstallationState::EnglishCards},
        {GameState::EarlierRelease, "установлена предыдущая или неполная версия", InstallationState::EarlierOrIncomplete},
        {GameState::Interrupted, "установлена предыдущая или неполная версия", InstallationState::EarlierOrIncomplete},
    };
    for (const auto& [state, status, installation] : cases) {
        test::GameFixture game(state);
        const auto before = test::snapshot(game.root.path());
        EXPECT_EQ(inspect(engine, game.app), expectedReport(game, status)) << status;
        EXPECT_EQ(installationState(engine, game.app), installation) << status;
        EXPECT_EQ(test::snapshot(game.root.path()), before);
    }
}

TEST(Inspect, MixedVariantsAndEarlierFormsAreAnIncompleteVersion) {
    const Engine engine = test::demoEngine();
    const tools::Fixture& fixture = test::demoFixture();
    test::GameFixture game(GameState::InstalledTranslated);
    test::writeFile(game.asset(1), fixture.englishCards[1]);  // level2 of the other variant
    EXPECT_EQ(inspect(engine, game.app), expectedReport(game, "установлена предыдущая или неполная версия"));
    test::writeFile(game.asset(1), fixture.translatedCards[1]);
    test::writeFile(game.asset(0), fixture.earlierReleases[0][0]);  // R1a
    EXPECT_EQ(inspect(engine, game.app), expectedReport(game, "установлена предыдущая или неполная версия"));
}

TEST(Inspect, OneUnknownFileMakesTheBuildUnsupportedAndItsDigestIsStillPrinted) {
    const Engine engine = test::demoEngine();
    for (GameState state : {GameState::Untouched, GameState::InstalledTranslated}) {
        test::GameFixture game(state);
        test::writeFile(game.asset(4), "changed by something else");
        const std::string report = inspect(engine, game.app);
        EXPECT_EQ(report, expectedReport(game, "неподдерживаемая или изменённая сборка"));
        EXPECT_NE(report.find("sharedassets1.assets: " + test::digestOf("changed by something else")), std::string::npos);
    }
    // A digest of another entry is not recognised for this one.
    test::GameFixture game;
    test::writeFile(game.asset(2), test::demoFixture().original[3]);
    EXPECT_EQ(inspect(engine, game.app), expectedReport(game, "неподдерживаемая или изменённая сборка"));
}

TEST(Inspect, ValidationFailuresComeFirst) {
    const Engine engine = test::demoEngine();
    test::TemporaryDirectory root;
    EXPECT_THROW(inspect(engine, root.path() / "missing.app"), InstallerError);
    test::GameFixture game;
    fs::remove(game.asset(3));
    EXPECT_THROW(inspect(engine, game.app), InstallerError);
}

}  // namespace
}  // namespace morra
