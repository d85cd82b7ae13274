// Every file-system call is, in turn, made to fail (the error path), and every one that changes
// something is made to end the process on the spot (a kill). After each, the game and the backup
// store must hold only legitimate files, and a second run must finish the job.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "TestSupport.h"
#include "game/Manifest.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

// Fails the n-th call of any kind, or, with kill, ends the process at the n-th call that changes
// something. A failed deletion of our own temporary leaves it behind (`leftTemporary`).
FaultHook faultAt(int n, bool kill, int& calls, bool& leftTemporary) {
    return [n, kill, &calls, &leftTemporary](FileOperation operation, const fs::path&) {
        static const std::set<FileOperation> looking = {FileOperation::Stat, FileOperation::List, FileOperation::Open,
                                                        FileOperation::Read, FileOperation::Discard, FileOperation::Lock};
        if ((kill && looking.count(operation)) || ++calls != n) return 0;
        if (kill) ::_exit(99);
        if (operation == FileOperation::Discard) leftTemporary = true;
        return operation == FileOperation::Write ? ENOSPC : EIO;
    };
}

// The walk makes thousands of small games, each flushed to disk many times over; where a memory
// file system is at hand they live there, where a flush costs nothing and the calls are the same.
[[maybe_unused]] const bool kGamesInMemory = [] {
    std::error_code error;
    if (!fs::is_directory("/dev/shm", error)) return false;
    ::setenv("TMPDIR", "/dev/shm", 1);
    return true;
}();

// A small game keeps the number of changes, and so of runs, low.
const tools::Fixture& smallFixture() {
    static const tools::Fixture fixture = tools::makeFixture(5, 96 << 10);
    return fixture;
}

InstallContext engineFor(const test::TemporaryDirectory& payload, FaultHook hook = {}) {
    return InstallContext(hook ? FileManager(std::move(hook)) : FileManager(), KnownBuilds{smallFixture().profile}, payload.path());
}

// Every file of the game and the backup store has a content some legitimate state gives it.
void expectLegitimate(const test::GameFixture& game, bool allowTemporaries) {
    const tools::Fixture& fixture = smallFixture();
    for (std::size_t i = 0; i < 5; ++i) {
        std::set<std::string> forms = {fixture.original[i], fixture.englishCards[i], fixture.translatedCards[i]};
        forms.insert(fixture.earlierReleases[i].begin(), fixture.earlierReleases[i].end());
        EXPECT_TRUE(forms.count(test::readFile(game.asset(i)))) << tools::assetPaths()[i];
        const fs::path backup = game.support / "Steam-57314208" / kAssetTable[i].name;
        if (fs::exists(backup)) {
            EXPECT_EQ(test::readFile(backup), fixture.original[i]) << backup;
        }
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (!fs::exists(game.added(i))) continue;
        std::set<std::string> forms = {fixture.addedExpected[i]};
        forms.insert(fixture.addedReplaceable[i].begin(), fixture.addedReplaceable[i].end());
        EXPECT_TRUE(forms.count(test::readFile(game.added(i)))) << tools::addedFilePaths()[i];
    }
    if (!allowTemporaries) {
        EXPECT_EQ(test::temporaries(game.root.path()), std::vector<std::string>{});
    }
}

// An operation from a starting state, and the asset forms it ends with.
struct Scenario {
    const char* name;
    GameState start;
    std::function<std::string(const InstallContext&, const fs::path&)> run;
    const std::array<std::string, 5>& done;
};

std::vector<Scenario> scenarios() {
    const tools::Fixture& fixture = smallFixture();
    const auto installing = [](bool cards) { return [cards](const InstallContext& e, const fs::path& app) { return install(e, app, cards ? SkillCards::Translated : SkillCards::English); }; };
    return {{"fresh install", GameState::Untouched, installing(true), fixture.translatedCards},
            {"switch to English cards", GameState::InstalledTranslated, installing(false), fixture.englishCards},
            {"update an earlier release", GameState::EarlierRelease, installing(true), fixture.translatedCards},
            {"remove", GameState::InstalledTranslated, [](const InstallContext& e, const fs::path& app) { return remove(e, app); },
             fixture.original}};
}

void runEveryFault(bool kill) {
    test::TemporaryDirectory payload;
    tools::writePayload(smallFixture(), payload.path());
    for (const Scenario& scenario : scenarios()) {
        SCOPED_TRACE(scenario.name);
        for (int n = 1;; ++n) {
            SCOPED_TRACE("fault at change " + std::to_string(n));
            test::GameFixture game(scenario.start, scenario.start != GameState::Untouched, "morra.app", smallFixture());
            test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
            int calls = 0;
            bool reachedTheEnd = false, leftTemporary = false;
            if (kill) {
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    const InstallContext engine = engineFor(payload, faultAt(n, true, calls, leftTemporary));
                    try { scenario.run(engine, game.app); } catch (...) { ::_exit(1); }
                    ::_exit(0);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                ASSERT_TRUE(WIFEXITED(status));
                ASSERT_NE(WEXITSTATUS(status), 1) << "the run failed without a fault";
                reachedTheEnd = WEXITSTATUS(status) == 0;
            } else {
                const InstallContext engine = engineFor(payload, faultAt(n, false, calls, leftTemporary));
                std::string failure;
                try {
                    scenario.run(engine, game.app);
                    reachedTheEnd = true;
                } catch (const std::exception& error) {
                    failure = error.what();
                }
                ASSERT_TRUE(reachedTheEnd || calls >= n) << "the run failed without a fault: " << failure;
            }
            // After an error no temporary may remain (but one whose deletion failed); after a kill
            // they may, until the next run.
            expectLegitimate(game, kill || leftTemporary);
            const InstallContext engine = engineFor(payload);
            EXPECT_NO_THROW(scenario.run(engine, game.app));
            for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), scenario.done[i]) << i;
            for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(fs::exists(game.added(i)), &scenario.done != &smallFixture().original) << i;
            expectLegitimate(game, false);
            // The run finished before the n-th change (a killed child never finishes).
            if (reachedTheEnd && (kill || calls < n)) break;
            ASSERT_LT(n, 20000) << "runaway";
        }
    }
}

TEST(Recovery, AnErrorAtAnyChangeLeavesALegitimateGameThatASecondRunFinishes) { runEveryFault(false); }

TEST(Recovery, AKillAtAnyChangeLeavesALegitimateGameThatASecondRunFinishes) { runEveryFault(true); }

}  // namespace
}  // namespace morra
