// The program copied away from its resources: every command-line form stops at once with the
// fatal line and status 1, whatever it names.
#include <gtest/gtest.h>

#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(MissingResourcesTest, EveryFormStopsWithTheFatalLine) {
    const test::GameFixture game;
    const fs::path copy = game.root.path() / "bin" / "MorraRussianLumenInstaller";
    fs::create_directories(copy.parent_path());
    fs::copy_file(MORRA_PROGRAM, copy);
    const auto before = test::snapshot(game.app);
    for (const char* option : {"--install", "--install-no-skill-cards", "--remove", "--inspect"}) {
        const test::ProcessResult result = test::runProcess({copy.string(), option, game.app.string()});
        EXPECT_EQ(result.status, 1) << option;
        EXPECT_EQ(result.standardOutput, "") << option;
        EXPECT_EQ(result.standardError, "Application resources are unavailable\n") << option;
    }
    const test::ProcessResult discover =
        test::runProcess({copy.string(), "--discover"}, {{"MORRA_LUMEN_INSTALLER_GAME", game.app.string()}});
    EXPECT_EQ(discover.status, 1);
    EXPECT_EQ(discover.standardError, "Application resources are unavailable\n");
    EXPECT_EQ(test::snapshot(game.app), before);
    EXPECT_FALSE(fs::exists(game.support));
}

}  // namespace
}  // namespace morra
