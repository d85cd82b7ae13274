#include "search/GameSearch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "SearchTestSupport.h"
#include "platform/Platform.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::makeBundle;
using test::ScopedEnvironment;
using test::ScratchFolder;
using test::writeFile;

constexpr const char* kOverride = "MORRA_LUMEN_INSTALLER_GAME";

// A home folder of its own and no override, for each test.
class GameSearch : public ::testing::Test {
protected:
    std::optional<fs::path> discover() const { return discoverGame(FileManager()); }
    fs::path inHome(const fs::path& relative) const { return home_ / relative; }

    ScratchFolder scratch_;
    fs::path home_ = scratch_ / "home";
    ScopedEnvironment homeVariable_{"HOME", home_.string()};
    ScopedEnvironment overrideVariable_{kOverride, std::nullopt};
};

TEST_F(GameSearch, CandidatesComeInTheirOrder) {
    ScopedEnvironment override(kOverride, "/elsewhere/Game.app");
    writeFile(test::libraryFoldersUnder(home_), test::libraryFoldersListing({"/Volumes/Two", R"(D:\\One)"}));
    const fs::path steam = home_ / "Library" / "Application Support" / "Steam";
    const fs::path gog = "/Users/Shared/GOG.com/Galaxy/Applications/Morra Vellant";
    std::vector<fs::path> expected = {
        "/elsewhere/Game.app",
        "/Applications/morra.app",
        "/Applications/Morra Vellant.app",
        gog / "morra.app",
        gog / "Morra Vellant.app",
        home_ / "Applications" / "morra.app",
        home_ / "Applications" / "Morra Vellant.app",
        home_ / "GOG Games" / "Morra Vellant" / "morra.app",
        home_ / "GOG Games" / "Morra Vellant" / "Morra Vellant.app",
        test::steamGameIn(steam),
        test::steamGameIn("/Volumes/Two"),
        test::steamGameIn(R"(D:\One)"),
    };
    // Where the system keeps a register of applications (macOS), the one it knows comes second.
    if (auto registered = platform::applicationWithBundleIdentifier("com.holtstudio.morravellant"))
        expected.insert(expected.begin() + 1, *registered);
    EXPECT_EQ(gameSearchCandidates(FileManager()), expected);

    ScopedEnvironment empty(kOverride, "");
    EXPECT_EQ(gameSearchCandidates(FileManager()), std::vector<fs::path>(expected.begin() + 1, expected.end()));
}

TEST_F(GameSearch, EarlierPlacesWinOverLaterOnes) {
    EXPECT_EQ(discover(), std::nullopt);
    fs::create_directories(inHome("Applications/morra.app/Contents"));  // a folder, but no bundle
    EXPECT_EQ(discover(), std::nullopt);

    // From the last place to the first: each new game found wins over those placed before it.
    writeFile(test::libraryFoldersUnder(home_),
              test::libraryFoldersListing({(scratch_ / "Library One").string(), (scratch_ / "Library Two").string()}));
    for (const fs::path& place : {test::steamGameIn(scratch_ / "Library Two"), test::steamGameIn(scratch_ / "Library One"),
                                  test::steamGameIn(home_ / "Library" / "Application Support" / "Steam"),
                                  inHome("GOG Games/Morra Vellant/Morra Vellant.app"), inHome("GOG Games/Morra Vellant/morra.app"),
                                  inHome("Applications/Morra Vellant.app"), inHome("Applications/morra.app")}) {
        makeBundle(place);
        EXPECT_EQ(discover(), place);
    }
    const fs::path elsewhere = makeBundle(scratch_ / "Elsewhere" / "Custom.app");
    ScopedEnvironment override(kOverride, elsewhere.string());
    EXPECT_EQ(discover(), elsewhere) << "the override beats every other place";
}

// A rejected, missing or empty override is passed over silently; a relative one is taken from the
// working folder, and a working folder that is gone does not stop the search.
TEST_F(GameSearch, OverridesThatCannotBeUsedArePassedOverSilently) {
    const fs::path fallback = makeBundle(inHome("GOG Games/Morra Vellant/morra.app"));
    const fs::path notTheGame = test::makeBundle(
        scratch_ / "Other.app", test::infoPlist(test::plistString("CFBundleIdentifier", "com.example.other") +
                                                test::plistString("CFBundleExecutable", "Morra Vellant")));
    const fs::path game = makeBundle(scratch_ / "work" / "games" / "morra.app");
    const fs::path previous = fs::current_path();
    fs::current_path(scratch_ / "work");
    for (const auto& [value, expected] : std::vector<std::pair<std::string, fs::path>>{
             {notTheGame.string(), fallback}, {(scratch_ / "missing.app").string(), fallback}, {"", fallback},
             {"relative/missing.app", fallback}, {"games/../games/./morra.app", game}}) {
        ScopedEnvironment override(kOverride, value);
        EXPECT_EQ(discover(), expected) << "override: " << value;
    }
    fs::create_directory(scratch_ / "gone");
    fs::current_path(scratch_ / "gone");
    fs::remove(scratch_ / "gone");
    ScopedEnvironment override(kOverride, "relative/morra.app");
    std::optional<fs::path> found;
    EXPECT_NO_THROW(found = discover());
    fs::current_path(previous);
    EXPECT_EQ(found, fallback);
}

// A symbolic link and its target, or one folder written several ways, are one candidate; paths
// that loop through links are tested once and never throw.
TEST(FirstAcceptedCandidate, TestsEachResolvedPathOnce) {
    ScratchFolder scratch;
    const fs::path game = makeBundle(scratch / "games" / "morra.app");
    fs::create_directory_symlink(game, scratch / "link.app");
    fs::create_directory_symlink(scratch / "link.app", scratch / "link-to-link.app");
    fs::create_directory_symlink(scratch / "games", scratch / "games-link");
    fs::create_symlink("self.app", scratch / "self.app");
    fs::create_symlink("b.app", scratch / "a.app");
    fs::create_symlink("a.app", scratch / "b.app");
    fs::create_directory_symlink("loop", scratch / "loop");
    const std::vector<fs::path> candidates = {
        scratch / "link.app", game, scratch / "games" / "." / "morra.app", scratch / "games-link" / "morra.app",
        scratch / "link-to-link.app", scratch / "x" / ".." / "games" / "morra.app", scratch / "missing.app",
        scratch / "games" / "morra.app/", scratch / "self.app", scratch / "a.app", scratch / "loop" / "x" / "morra.app",
        scratch / "self.app", scratch / "loop" / "x" / "morra.app"};

    std::vector<fs::path> tested;
    auto rejectAll = [&](const fs::path& bundle) {
        tested.push_back(bundle);
        return false;
    };
    std::optional<fs::path> found = game;
    EXPECT_NO_THROW(found = firstAcceptedCandidate(FileManager(), candidates, rejectAll));
    EXPECT_EQ(found, std::nullopt);
    ASSERT_EQ(tested.size(), 5u);
    EXPECT_EQ(std::vector<fs::path>(tested.begin(), tested.begin() + 2), (std::vector<fs::path>{game, scratch / "missing.app"}));

    tested.clear();
    auto acceptGame = [&](const fs::path& bundle) {
        tested.push_back(bundle);
        return bundle == game;
    };
    EXPECT_EQ(firstAcceptedCandidate(FileManager(), {scratch / "missing.app", scratch / "link-to-link.app", scratch / "other.app"}, acceptGame),
              game);
    EXPECT_EQ(tested, (std::vector<fs::path>{scratch / "missing.app", game})) << "the first accepted ends the search";
}

}  // namespace
}  // namespace morra
