#include <gtest/gtest.h>

#include "CommandLine.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

TEST(CommandLine, InspectPrintsTheReportWithOneLineFeed) {
    test::GameFixture game;
    const test::ProcessResult result = test::runInstaller({"--inspect", game.app.string()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.standardError, "");
    ASSERT_FALSE(result.standardOutput.empty());
    EXPECT_EQ(result.standardOutput.rfind("Совместимый профиль macOS 57314208: перевод не установлен\n", 0), 0u);
    EXPECT_EQ(result.standardOutput.back(), '\n');
    EXPECT_NE(result.standardOutput[result.standardOutput.size() - 2], '\n');
    // Seven lines: the report's six line feeds and the one added.
    EXPECT_EQ(std::count(result.standardOutput.begin(), result.standardOutput.end(), '\n'), 7);
}

// A relative game path is taken from the working folder; one in a working folder that is gone is
// an error, not a crash.
TEST(CommandLine, RelativeGamePathIsTakenFromTheWorkingFolder) {
    test::GameFixture game(GameState::InstalledEnglish);
    const test::ProcessResult result = test::runInstaller({"--inspect", "morra.app"}, {}, game.root.path());
    EXPECT_EQ(result.status, 0);
    const std::string path = fs::canonical(game.app).string();
    EXPECT_NE(result.standardOutput.find('\n' + path + '\n'), std::string::npos);
    EXPECT_NE(result.standardOutput.find("оставлены английскими"), std::string::npos);
    const test::ProcessResult gone = test::runProcess(
        {"/bin/sh", "-c", "mkdir gone && cd gone && rmdir ../gone && exec \"$0\" --inspect morra.app", MORRA_PROGRAM}, {},
        game.root.path());
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.standardOutput, "");
    EXPECT_EQ(gone.standardError.back(), '\n');
}

TEST(CommandLine, ErrorsGoToStandardErrorWithStatusOne) {
    test::TemporaryDirectory root;
    fs::create_directories(root.path() / "other.app");
    for (const char* option : {"--inspect", "--install", "--install-no-skill-cards", "--remove"}) {
        const test::ProcessResult result = test::runInstaller({option, (root.path() / "other.app").string()});
        EXPECT_EQ(result.status, 1) << option;
        EXPECT_EQ(result.standardOutput, "") << option;
        EXPECT_EQ(result.standardError, "Выбранный файл не является Morra Vellant для macOS.\n") << option;
    }
}

// A path may hold any bytes; what the program prints is always UTF-8, such bytes escaped.
TEST(CommandLine, PathsThatAreNotUtf8ArePrintedEscaped) {
    test::TemporaryDirectory root;
    const fs::path app = root.path() / "Games\xff" / "morra.app";
    if (std::error_code error; fs::create_directories(app.parent_path(), error), error)
        GTEST_SKIP() << "this file system refuses names that are not UTF-8 (as APFS does): " << error.message();
    tools::writeGame(test::demoFixture(), app, GameState::Untouched);
    const std::string shown = fs::canonical(root.path()).string() + "/Games\\xFF/morra.app";
    const test::ProcessResult found = test::runInstaller({"--discover"}, {{"MORRA_LUMEN_INSTALLER_GAME", app.string()}});
    EXPECT_EQ(found.standardOutput, shown + "\n");
    const test::ProcessResult report = test::runInstaller({"--inspect", app.string()});
    EXPECT_NE(report.standardOutput.find("\n" + shown + "\n"), std::string::npos) << report.standardOutput;
}

TEST(CommandLine, OnlyTheFiveExactFormsAreRecognised) {
    const std::vector<std::vector<std::string>> declined = {
        {"MorraRussianLumenInstaller"},
        {"MorraRussianLumenInstaller", "--inspect"},
        {"MorraRussianLumenInstaller", "--INSPECT", "/x.app"},
        {"MorraRussianLumenInstaller", "--inspect=/x.app"},
        {"MorraRussianLumenInstaller", "--discover", "/x.app"},
        {"MorraRussianLumenInstaller", "--Discover"},
        {"MorraRussianLumenInstaller", "--install", "/x.app", "extra"},
        {"MorraRussianLumenInstaller", "-psn_0_12345"},
        {"MorraRussianLumenInstaller", "/x.app", "--inspect"},
    };
    for (const auto& arguments : declined) EXPECT_FALSE(runCommandLine(arguments).has_value()) << arguments.size();
    const auto outcome = runCommandLine({"MorraRussianLumenInstaller", "--inspect", "/nowhere/x.app"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->exitStatus, 1);
}

}  // namespace
}  // namespace morra
