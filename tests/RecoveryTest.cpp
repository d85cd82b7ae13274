// Every file-system call is, in turn, made to fail (the error path), and every one that changes
// something is made to end the process on the spot (a kill). After each, the game and the backup
// store must hold only legitimate files, and a second run must finish the job.
//
// A power cut keeps of a folder's entries only what was flushed (all that POSIX promises, and APFS
// promises no more). Watched through the fault hook, that second run flushes each folder whose
// entries it changed (a folder made in it, a file renamed into it or deleted from it) before it
// changes the game again, and by its end: so a patched asset never outlives its backup's folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <map>
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
files::FaultHook faultAt(int n, bool kill, int& calls, bool& leftTemporary) {
    return [n, kill, &calls, &leftTemporary](files::FileOperation operation, const fs::path&) {
        static const std::set<files::FileOperation> looking = {files::FileOperation::Stat, files::FileOperation::List, files::FileOperation::Open,
                                                               files::FileOperation::Read, files::FileOperation::Discard, files::FileOperation::Lock};
        if ((kill && looking.count(operation)) || ++calls != n) return 0;
        if (kill) ::_exit(99);
        if (operation == files::FileOperation::Discard) leftTemporary = true;
        return operation == files::FileOperation::Write ? ENOSPC : EIO;
    };
}

// The walk makes thousands of small games, each flushed to disk many times over; where a memory
// file system is at hand they live there, where a flush costs nothing and the calls are the same.
[[maybe_unused]] const int kGamesInMemory =
    ::access("/dev/shm", W_OK | X_OK) == 0 ? ::setenv("TMPDIR", "/dev/shm", 1) : -1;

// A small game keeps the number of changes, and so of runs, low.
const tools::Fixture& smallFixture() {
    static const tools::Fixture fixture = tools::makeFixture(5, 96 << 10);
    return fixture;
}

context::InstallContext engineFor(const test::TemporaryDirectory& payload, files::FaultHook hook = {}) {
    return context::InstallContext(hook ? files::FileManager(std::move(hook)) : files::FileManager(), game::KnownBuilds{smallFixture().profile}, payload.path());
}

// Every file of the game and the backup store has a content some legitimate state gives it.
void expectLegitimate(const test::GameFixture& game, const fs::path& support, bool allowTemporaries) {
    const tools::Fixture& fixture = smallFixture();
    for (std::size_t i = 0; i < 5; ++i) {
        std::set<std::string> forms = {fixture.original[i], fixture.englishCards[i], fixture.translatedCards[i]};
        forms.insert(fixture.earlierReleases[i].begin(), fixture.earlierReleases[i].end());
        EXPECT_TRUE(forms.count(test::readFile(game.asset(i)))) << tools::assetPaths()[i];
        const fs::path backup = support / "Steam-57314208" / game::kAssetTable[i].name;
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

// What would be lost if the power went now: each folder's changes that no flush has covered.
struct FlushedEntries {
    void expectNothingUnflushed(const std::string& when) {
        for (const auto& [folder, changes] : unflushed)
            for (const std::string& change : changes) problems.push_back(when + ": unflushed " + change);
    }

    files::FaultHook hook(const fs::path& game) {
        return [this, game = fs::weakly_canonical(game)](files::FileOperation operation, const fs::path& called) {
            const fs::path normal = called.lexically_normal();  // a folder's path may end in a separator
            const fs::path path =
                normal.has_filename() || !normal.has_relative_path() ? normal : normal.parent_path();
            std::error_code error;
            const auto exists = [&](const fs::path& item) { return fs::exists(fs::symlink_status(item, error)); };
            if (operation == files::FileOperation::CreateDirectory) {
                // The hook runs before the call: the levels still missing are the ones it makes.
                for (fs::path level = path; level.has_relative_path() && !exists(level);
                     level = level.parent_path())
                    unflushed[level.parent_path()].insert("made " + level.string());
            } else if (operation == files::FileOperation::Rename || operation == files::FileOperation::Remove) {
                if (path.string().rfind(game.string() + "/", 0) == 0)
                    expectNothingUnflushed("before changing " + path.string());
                unflushed[path.parent_path()].insert("changed " + path.string());
            } else if (operation == files::FileOperation::Discard && exists(path)) {
                unflushed[path.parent_path()].insert("deleted " + path.string());
            } else if (operation == files::FileOperation::Sync) {
                unflushed.erase(path);
            }
            return 0;
        };
    }

    std::vector<std::string> problems;
    std::map<fs::path, std::set<std::string>> unflushed;
};

// An operation from a starting state, and the asset forms it ends with.
struct Scenario {
    const char* name;
    GameState start;
    std::function<std::string(const context::InstallContext&, const fs::path&)> run;
    const std::array<std::string, 5>& done;
};

std::vector<Scenario> scenarios() {
    const tools::Fixture& fixture = smallFixture();
    const auto installing = [](bool cards) { return [cards](const context::InstallContext& e, const fs::path& app) { return operations::install(e, app, cards ? core::SkillCards::Translated : core::SkillCards::English); }; };
    return {{"fresh install", GameState::Untouched, installing(true), fixture.translatedCards},
            {"switch to English cards", GameState::InstalledTranslated, installing(false), fixture.englishCards},
            {"update an earlier release", GameState::EarlierRelease, installing(true), fixture.translatedCards},
            {"remove", GameState::InstalledTranslated, [](const context::InstallContext& e, const fs::path& app) { return operations::remove(e, app); },
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
            // A fresh install makes the support folder and the two above it.
            const fs::path fresh = game.root.path() / "home" / "Library" / "Morra Vellant Russian Lumen";
            const fs::path support = scenario.start == GameState::Untouched ? fresh : game.support;
            const test::ScopedEnvironment supportOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string());
            test::writeFile(game.settings, test::kThirteen);
            int calls = 0;
            bool leftTemporary = false;
            const auto run = [&] {
                scenario.run(engineFor(payload, faultAt(n, kill, calls, leftTemporary)), game.app);
            };
            // A kill ends the child with status 99; any other failure must come from the fault.
            const std::string outcome = kill ? test::failureWithin(600, run) : test::failureOf(run);
            const bool reachedTheEnd = outcome == "(no error)";
            ASSERT_TRUE(reachedTheEnd || (kill ? outcome == "(exit 99)" : calls >= n))
                << "failed without a fault: " << outcome;
            // After an error no temporary may remain (but one whose deletion failed); after a kill
            // they may, until the next run.
            expectLegitimate(game, support, kill || leftTemporary);
            // The second run flushes each folder it changed before it changes the game again, and by
            // its end, as a power cut demands.
            FlushedEntries model;
            EXPECT_NO_THROW(scenario.run(engineFor(payload, model.hook(game.app)), game.app));
            model.expectNothingUnflushed("at the end");
            EXPECT_EQ(model.problems, std::vector<std::string>{});
            for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), scenario.done[i]) << i;
            for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(fs::exists(game.added(i)), &scenario.done != &smallFixture().original) << i;
            expectLegitimate(game, support, false);
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
