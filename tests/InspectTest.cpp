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
    const InstallContext engine = test::demoContext();
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

// Mixed variants or an earlier form among current ones are an incomplete version; one unknown
// file (also a known digest of another entry) makes the build unsupported, its digest still printed.
TEST(Inspect, MixedAndUnknownFilesAreSeenPerEntry) {
    const InstallContext engine = test::demoContext();
    const tools::Fixture& fixture = test::demoFixture();
    const std::vector<std::tuple<GameState, std::size_t, std::string, std::string>> cases = {
        {GameState::InstalledTranslated, 1, fixture.englishCards[1], "установлена предыдущая или неполная версия"},
        {GameState::InstalledTranslated, 0, fixture.earlierReleases[0][0], "установлена предыдущая или неполная версия"},
        {GameState::Untouched, 4, "changed by something else", "неподдерживаемая или изменённая сборка"},
        {GameState::InstalledTranslated, 4, "changed by something else", "неподдерживаемая или изменённая сборка"},
        {GameState::Untouched, 2, fixture.original[3], "неподдерживаемая или изменённая сборка"},
    };
    for (const auto& [state, asset, bytes, status] : cases) {
        test::GameFixture game(state);
        test::writeFile(game.asset(asset), bytes);
        EXPECT_EQ(inspect(engine, game.app), expectedReport(game, status)) << status;
    }
}

}  // namespace
}  // namespace morra
