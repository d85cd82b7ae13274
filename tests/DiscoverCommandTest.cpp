// "--discover" end to end: the built program, run with a prepared home folder.

#include <gtest/gtest.h>

#include <map>

#include "SearchTestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::makeGameBundle;
using test::ScratchFolder;

// The installer's "--discover" with HOME replaced and the game override set or removed: its exit
// status, then what it printed on standard output and on standard error.
std::string discover(const fs::path& home, const std::optional<std::string>& gameOverride = std::nullopt,
                     const fs::path& workingDirectory = "/", bool unprivileged = false) {
    const test::ProcessResult run = test::runInstaller(
        {"--discover"}, {{"HOME", home.string()}, {"MORRA_LUMEN_INSTALLER_GAME", gameOverride}}, workingDirectory, unprivileged);
    return std::to_string(run.status) + " " + run.standardOutput + "|" + run.standardError;
}

std::string found(const fs::path& game) { return "0 " + game.string() + "\n|"; }
const std::string kNotFound = "1 |Morra Vellant для macOS не найдена.\n";

TEST(DiscoverCommand, PrintsTheResolvedPathOfTheGameOrSaysThereIsNone) {
    ScratchFolder home;
    fs::create_directories(home / "Applications" / "morra.app");                  // a folder without Info.plist
    fs::create_symlink("loop.app", home / "Applications" / "Morra Vellant.app");  // dangling
    fs::create_directory_symlink(home / "GOG Games", home / "GOG Games");          // a loop
    EXPECT_EQ(discover(home.path()), kNotFound);

    const test::GameFixture fixture(tools::GameState::Untouched, false, "Real Morra.app");
    fs::remove(home / "Applications" / "Morra Vellant.app");
    fs::create_directory_symlink(fixture.app, home / "Applications" / "Morra Vellant.app");
    EXPECT_EQ(discover(home.path()), found(fs::canonical(fixture.app)));
}

// The list writes each backslash doubled; the folder's own name holds a single one. Root reads any
// file, so the program runs as an unprivileged user to meet a list it cannot read.
TEST(DiscoverCommand, FindsTheGameInAListedSteamLibraryTheUserMayRead) {
    ScratchFolder home;
    const fs::path list = test::libraryFoldersUnder(home.path());
    test::writeFile(list, test::libraryFoldersListing({(home / "missing").string(), (home.path() / R"(Steam\\Library)").string()}));
    const fs::path game = makeGameBundle(test::steamGameIn(home / R"(Steam\Library)"));
    EXPECT_EQ(discover(home.path(), std::nullopt, "/", true), found(game));
    fs::permissions(list, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(discover(home.path(), std::nullopt, "/", true), kNotFound);
}

TEST(DiscoverCommand, OverrideIsTakenFromTheProgramsWorkingDirectory) {
    ScratchFolder scratch;
    const fs::path game = makeGameBundle(scratch / "work" / "copy" / "Morra Vellant.app");
    const fs::path inHome = makeGameBundle(scratch / "home" / "Applications" / "morra.app");
    // The override wins, without its trailing slash; a missing one is passed over.
    EXPECT_EQ(discover(scratch / "home", "copy/Morra Vellant.app/", scratch / "work"), found(game));
    EXPECT_EQ(discover(scratch / "home", "copy/Morra Vellant.app", scratch.path()), found(inHome));
}

}  // namespace
}  // namespace morra
