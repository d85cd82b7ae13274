// One operation per game and per backup store at a time, across processes: a second installer
// refuses at once and changes nothing; two started together never leave a mixed game and never
// report a success that did not happen.

#include <gtest/gtest.h>

#include <thread>

#include "TestSupport.h"
#include "operations/Inspect.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kLocked =
    "Другая копия установщика уже работает с этой игрой или её резервными копиями. Дождитесь её завершения и повторите.\n";

// An install while another installer holds only the game's folder, a remove while one holds only
// the backup store: refused at once, nothing changed, and done once the lock is gone.
TEST(GameLock, ASecondOperationIsRefusedWhileEitherLockIsHeld) {
    for (const std::string option : {"--install", "--remove"}) {
        const bool remove = option == "--remove";
        test::GameFixture game(remove ? GameState::InstalledTranslated : GameState::Untouched, /*backups=*/remove);
        fs::create_directories(game.support);
        const auto before = test::snapshot(game.root.path());
        {
            const std::optional<FileHandle> held = FileManager().tryLockExclusive(remove ? game.support : game.app);
            ASSERT_TRUE(held.has_value());
            EXPECT_EQ(test::runInstaller({option, game.app.string()}), (test::ProcessResult{1, "", kLocked})) << option;
            EXPECT_TRUE(test::snapshot(game.root.path()) == before) << option;
        }
        EXPECT_EQ(test::runInstaller({option, game.app.string()}).status, 0) << option << " after the lock is gone";
    }
}

TEST(GameLock, TwoOperationsStartedTogetherNeverMixTheGame) {
    for (int round = 0; round < 6; ++round) {
        test::GameFixture game(round % 3 == 1 ? GameState::InstalledTranslated : GameState::Untouched, /*backups=*/round % 3 == 1);
        test::ProcessResult results[2];
        std::thread runs[2];
        for (int i = 0; i < 2; ++i) {
            const char* option = (i + round) % 2 == 0 ? "--install" : "--remove";
            runs[i] = std::thread([&results, &game, i, option] { results[i] = test::runInstaller({option, game.app.string()}); });
        }
        for (std::thread& run : runs) run.join();
        const InstallationState state = installationState(test::demoContext(), game.app);
        EXPECT_TRUE(state == InstallationState::NotInstalled || state == InstallationState::TranslatedCards) << round;
        for (int i = 0; i < 2; ++i) {
            const bool install = (i + round) % 2 == 0;
            const bool succeeded = results[i].status == 0;
            EXPECT_TRUE(succeeded || results[i].standardError == kLocked) << results[i].standardError;
            // A lone success is what the game now shows.
            if (succeeded && results[1 - i].status != 0) {
                EXPECT_EQ(state, install ? InstallationState::TranslatedCards : InstallationState::NotInstalled) << round;
            }
        }
        EXPECT_TRUE(test::temporaries(game.root.path()).empty());
    }
}

}  // namespace
}  // namespace morra
