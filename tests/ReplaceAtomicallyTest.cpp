#include <gtest/gtest.h>

#include <cerrno>

#include "Engine.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using test::FaultInjector;

// "level2" replaced from the file "backup", or "Settings.json" replaced with bytes.
struct Replacement {
    explicit Replacement(bool fromFile, unsigned mode = 0640) : fromFile(fromFile) {
        tools::writeFile(target, "old contents", mode);
        test::writeFile(source, std::string(3 << 20, 'u'));
    }
    void run(const Engine& engine) const {
        if (fromFile) engine.replaceAtomically(target, source);
        else engine.replaceAtomically(target, std::string("{\"new\": true}"));
    }
    std::string newContents() const { return fromFile ? test::readFile(source) : "{\"new\": true}"; }

    bool fromFile;
    test::TemporaryDirectory folder;
    fs::path target = folder.path() / (fromFile ? "level2" : "Settings.json"), source = folder.path() / "backup";
};

TEST(ReplaceAtomically, ReplacesThroughAFlushedFreshTemporaryAndKeepsTheSourceAndMode) {
    for (bool fromFile : {true, false}) {
        for (unsigned mode : {0640u, 0444u, 0755u}) {
            Replacement replacement(fromFile, mode);
            FaultInjector injector;
            const Engine engine(injector.fileManager());
            replacement.run(engine);
            EXPECT_EQ(test::readFile(replacement.target), replacement.newContents());
            EXPECT_EQ(test::readFile(replacement.source), std::string(3 << 20, 'u'));
            if (!fromFile) {
                EXPECT_EQ(test::modeOf(replacement.target), mode);
            }
            EXPECT_TRUE(test::temporaries(replacement.folder.path()).empty());
            test::expectDurablyPublished(injector, replacement.target, fromFile ? ".level2.restoring-" : ".Settings.json.updating-");
            // A second call picks a new temporary name.
            replacement.run(engine);
            const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
            ASSERT_EQ(created.size(), 2u);
            EXPECT_NE(created[0], created[1]);
        }
    }
}

TEST(ReplaceAtomically, AFailureLeavesTheTargetAsItWasAndNoTemporary) {
    struct Case {
        bool fromFile;
        FileOperation operation;
        const char* name;
        int error;
    };
    const std::vector<Case> cases = {
        {true, FileOperation::Open, "backup", EACCES},         {true, FileOperation::Create, ".restoring-", EACCES},
        {true, FileOperation::Write, ".restoring-", ENOSPC},   {true, FileOperation::Read, "backup", EIO},
        {true, FileOperation::Sync, ".restoring-", EIO},       {true, FileOperation::Rename, "level2", EXDEV},
        {false, FileOperation::Stat, "Settings.json", EACCES}, {false, FileOperation::Create, ".updating-", EACCES},
        {false, FileOperation::Write, ".updating-", ENOSPC},   {false, FileOperation::SetPermissions, ".updating-", EPERM},
        {false, FileOperation::Sync, ".updating-", EIO},       {false, FileOperation::Rename, "Settings.json", EIO},
    };
    for (const Case& entry : cases) {
        Replacement replacement(entry.fromFile);
        const auto before = test::digests(replacement.folder.path());
        FaultInjector injector;
        injector.fail(FileOperation::Clone, "", EOPNOTSUPP);  // copy by reading and writing
        injector.fail(entry.operation, entry.name, entry.error);
        const std::string label = std::string(entry.name) + " " + std::to_string(static_cast<int>(entry.operation));
        EXPECT_EQ(test::failureOf([&] { replacement.run(Engine(injector.fileManager())); }), test::fileError(entry.error))
            << label;
        EXPECT_EQ(test::digests(replacement.folder.path()), before) << label;
        EXPECT_EQ(test::modeOf(replacement.target), 0640u) << label;
    }

    // A missing source or target is the file service's own error, before anything is written.
    Replacement replacement(true);
    fs::remove(replacement.source);
    EXPECT_EQ(test::failureOf([&] { replacement.run(Engine()); }), test::fileError(ENOENT));
    EXPECT_EQ(test::readFile(replacement.target), "old contents");
    fs::remove(replacement.target);
    EXPECT_EQ(test::failureOf([&] { Engine().replaceAtomically(replacement.target, std::string("{}")); }),
              test::fileError(ENOENT));
    EXPECT_TRUE(fs::is_empty(replacement.folder.path()));
}

}  // namespace
}  // namespace morra
