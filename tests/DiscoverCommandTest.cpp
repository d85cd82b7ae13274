// "--discover" end to end: the built program, run with a prepared home folder.

#include <gtest/gtest.h>

#include <map>

#include "SearchTestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::makeGameBundle;
using test::ProcessResult;
using test::ScratchFolder;

using Environment = std::map<std::string, std::optional<std::string>>;

// The installer's "--discover" with HOME replaced and the game override set or removed.
ProcessResult discover(const fs::path& home, const std::optional<std::string>& gameOverride = std::nullopt,
                       const fs::path& workingDirectory = "/", bool unprivileged = false) {
    return test::runInstaller({"--discover"}, Environment{{"HOME", home.string()}, {"MORRA_LUMEN_INSTALLER_GAME", gameOverride}},
                        workingDirectory, unprivileged);
}

constexpr const char* kNotFound = "Morra Vellant для macOS не найдена.\n";

TEST(DiscoverCommand, PrintsTheResolvedPathOfTheGameInTheHomeFolder) {
    ScratchFolder home;
    const test::GameFixture fixture(tools::GameState::Untouched, false, "Real Morra.app");
    const fs::path game = fs::canonical(fixture.app);
    fs::create_directories(home / "Applications");
    fs::create_directory_symlink(game, home / "Applications" / "morra.app");

    const ProcessResult run = discover(home.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardOutput, game.string() + "\n");
    EXPECT_EQ(run.standardError, "");
}

TEST(DiscoverCommand, SaysSoOnStandardErrorWhenThereIsNoGame) {
    ScratchFolder home;
    fs::create_directories(home / "Applications" / "morra.app");  // a folder without Info.plist
    fs::create_symlink("loop.app", home / "Applications" / "Morra Vellant.app");  // dangling
    fs::create_directory_symlink(home / "GOG Games", home / "GOG Games");        // a loop

    const ProcessResult run = discover(home.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.standardOutput, "");
    EXPECT_EQ(run.standardError, kNotFound);
}

TEST(DiscoverCommand, FindsTheGameInAListedSteamLibrary) {
    ScratchFolder home;
    // The list writes each backslash doubled; the folder's own name holds a single one.
    const fs::path library = home / R"(Steam\Library)";
    const std::string listed = (home.path() / R"(Steam\\Library)").string();
    test::writeFile(test::libraryFoldersUnder(home.path()),
                    test::libraryFoldersListing({(home / "missing").string(), listed}));
    const fs::path game = makeGameBundle(test::steamGameIn(library));

    const ProcessResult run = discover(home.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardOutput, game.string() + "\n");
}

// Root reads any file, so the program runs as an unprivileged user to meet a list it cannot read.
TEST(DiscoverCommand, AnUnreadableSteamListLeavesOnlyTheDefaultLibrary) {
    ScratchFolder home;
    const fs::path list = test::libraryFoldersUnder(home.path());
    test::writeFile(list, test::libraryFoldersListing({(home / "Library").string()}));
    const fs::path game = makeGameBundle(test::steamGameIn(home / "Library"));

    ProcessResult run = discover(home.path(), std::nullopt, "/", true);
    EXPECT_EQ(run.status, 0) << run.standardError;
    EXPECT_EQ(run.standardOutput, game.string() + "\n");

    fs::permissions(list, fs::perms::owner_read | fs::perms::owner_write);
    run = discover(home.path(), std::nullopt, "/", true);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.standardError, kNotFound);
}

TEST(DiscoverCommand, OverrideIsTakenFromTheProgramsWorkingDirectory) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "home");
    const fs::path game = makeGameBundle(scratch / "work" / "copy" / "Morra Vellant.app");
    makeGameBundle(scratch / "home" / "Applications" / "morra.app");

    ProcessResult run = discover(scratch / "home", "copy/Morra Vellant.app/", scratch / "work");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.standardOutput, game.string() + "\n") << "the override wins, and no trailing slash";

    run = discover(scratch / "home", "copy/Morra Vellant.app", scratch.path());
    EXPECT_EQ(run.standardOutput, (scratch / "home" / "Applications" / "morra.app").string() + "\n")
        << "a missing override is passed over";
}

}  // namespace
}  // namespace morra
