#include <gtest/gtest.h>

#include "Engine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(Locations, SupportDirectoryFollowsItsOverrideAndFallsBackWhenEmptyOrUnset) {
    const Engine engine;
    test::ScopedEnvironment home("HOME", "/home/player");
    test::ScopedEnvironment dataHome("XDG_DATA_HOME", std::nullopt);
    {
        test::ScopedEnvironment override("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", "/srv/lumen");
        EXPECT_EQ(engine.supportDirectory(), fs::path("/srv/lumen"));
    }
    {
        test::ScopedEnvironment override("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", "");
        EXPECT_EQ(engine.supportDirectory(), fs::path("/home/player/.local/share/Morra Vellant Russian Lumen"));
    }
    test::ScopedEnvironment unset("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", std::nullopt);
    EXPECT_EQ(engine.supportDirectory(), fs::path("/home/player/.local/share/Morra Vellant Russian Lumen"));
    test::ScopedEnvironment xdg("XDG_DATA_HOME", "/data");
    EXPECT_EQ(engine.supportDirectory(), fs::path("/data/Morra Vellant Russian Lumen"));
    EXPECT_EQ(engine.backupPath("/game/morra.app/Contents/Resources/Data/level2"),
              fs::path("/data/Morra Vellant Russian Lumen/Steam-57314208/level2"));
}

TEST(Locations, SettingsFileFollowsItsOverrideRelativeToTheWorkingFolder) {
    const Engine engine;
    test::ScopedEnvironment home("HOME", "/home/player");
    {
        test::ScopedEnvironment override("MORRA_LUMEN_INSTALLER_GAME_SETTINGS", "");
        EXPECT_EQ(engine.gameSettingsFile(),
                  fs::path("/home/player/Library/Application Support/HOLT Studio/Morra Vellant/Settings/Settings.json"));
    }
    test::ScopedEnvironment override("MORRA_LUMEN_INSTALLER_GAME_SETTINGS", "config/Settings.json");
    EXPECT_EQ(engine.gameSettingsFile(), fs::current_path() / "config/Settings.json");
}

TEST(Locations, HomeFallsBackToThePasswordDatabase) {
    const FileManager files;
    test::ScopedEnvironment home("HOME", "");
    EXPECT_FALSE(files.homeDirectory().empty());
    EXPECT_TRUE(files.homeDirectory().is_absolute());
}

TEST(Locations, PayloadIsFoundBesideTheProgramAndHoldsTheElevenFiles) {
    const Engine engine;
    const fs::path payload = engine.payloadDirectory();
    EXPECT_EQ(payload.filename(), "Payload");
    EXPECT_EQ(payload.parent_path().filename(), "MorraRussianLumenInstaller");
    for (const PayloadFile& file : engine.profile().payload) EXPECT_TRUE(fs::is_regular_file(payload / file.name)) << file.name;
}

TEST(Locations, ProgramWithoutItsResourcesStopsWithTheFixedMessage) {
    // A copy of the program with no share/ folder beside it cannot find its payload.
    test::TemporaryDirectory root;
    fs::create_directories(root.path() / "bin");
    const fs::path copy = root.path() / "bin" / "MorraRussianLumenInstaller";
    fs::copy_file(MORRA_PROGRAM, copy);
    test::GameFixture game;
    const test::ProcessResult result = test::runProcess({copy.string(), "--inspect", game.app.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "Application resources are unavailable\n");
}

}  // namespace
}  // namespace morra
