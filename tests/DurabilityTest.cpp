// A power cut keeps of a folder's entries only what was flushed (all that POSIX promises, and APFS
// promises no more). Watched through the fault hook, every operation flushes each folder whose
// entries it changed (a folder made in it, a file renamed into it or deleted from it) before it
// changes the game again, and by its end: so a patched asset never outlives its backup's folder.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "TestSupport.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

fs::path folderKey(const fs::path& path) {
    fs::path key = path.lexically_normal();
    return key.has_filename() || !key.has_relative_path() ? key : key.parent_path();
}

// What would be lost if the power went now: each folder's changes that no flush has covered.
class FlushedEntries {
public:
    explicit FlushedEntries(const fs::path& game) : game_(fs::weakly_canonical(game)) {}

    FaultHook hook() {
        return [this](FileOperation operation, const fs::path& path) { return record(operation, folderKey(path)), 0; };
    }

    void expectNothingUnflushed(const std::string& when) {
        for (const auto& [folder, changes] : unflushed_)
            for (const std::string& change : changes) problems.push_back(when + ": unflushed " + change);
    }

    std::vector<std::string> problems;
    int foldersMade = 0;

private:
    void record(FileOperation operation, const fs::path& path) {
        std::error_code error;
        const auto exists = [&](const fs::path& item) { return fs::exists(fs::symlink_status(item, error)); };
        switch (operation) {
            case FileOperation::CreateDirectory:
                // The hook runs before the call: the levels still missing are the ones it makes.
                for (fs::path level = path; level.has_relative_path() && !exists(level); level = level.parent_path()) {
                    unflushed_[level.parent_path()].insert("made " + level.string());
                    ++foldersMade;
                }
                break;
            case FileOperation::Rename:
            case FileOperation::Remove:
                if (path.string().rfind(game_.string() + "/", 0) == 0) expectNothingUnflushed("before changing " + path.string());
                unflushed_[path.parent_path()].insert("changed " + path.string());
                break;
            case FileOperation::Discard:
                if (exists(path)) unflushed_[path.parent_path()].insert("deleted " + path.string());
                break;
            case FileOperation::Sync: unflushed_.erase(path); break;
            default: break;
        }
    }

    const fs::path game_;
    std::map<fs::path, std::set<std::string>> unflushed_;
};

const std::tuple<const char*, GameState, bool, SkillCards> kCases[] = {
    {"fresh install", GameState::Untouched, true, SkillCards::Translated},
    {"switch to English cards", GameState::InstalledTranslated, true, SkillCards::English},
    {"update an earlier release", GameState::EarlierRelease, true, SkillCards::Translated},
    {"remove", GameState::InstalledTranslated, false, SkillCards::Translated},
};

TEST(Durability, EveryChangedFolderIsFlushedBeforeTheGameChangesAgainAndByTheEnd) {
    for (const auto& [name, start, installing, skillCards] : kCases) {
        SCOPED_TRACE(name);
        const bool fresh = start == GameState::Untouched;
        test::GameFixture game(start, !fresh);
        // A fresh install makes the support folder and the folder above it; every run migrates
        // the settings and so makes "User Settings".
        const fs::path support = fresh ? game.root.path() / "Application Support" / "Morra Vellant Russian Lumen" : game.support;
        const test::ScopedEnvironment supportOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string());
        test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");

        FlushedEntries model(game.app);
        const InstallContext context = test::demoContext(FileManager(model.hook()));
        EXPECT_NO_THROW(installing ? (void)install(context, game.app, skillCards) : (void)remove(context, game.app));
        model.expectNothingUnflushed("at the end");

        EXPECT_EQ(model.problems, std::vector<std::string>{});
        EXPECT_GE(model.foldersMade, fresh ? 4 : 1);
        EXPECT_TRUE(fs::exists(support / "User Settings" / "Settings.before-language-index-migration.json"));
    }
}

}  // namespace
}  // namespace morra
