// The file-level applier: what "bspatch old new patch" does, with the new file created
// exclusively, hashed as it is written, flushed when asked, and removed on failure.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "bsdiff/BsdiffFile.h"
#include "BsdiffWriter.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

struct PatchFiles {
    PatchFiles() {
        newData[100] ^= 0x55;
        test::writeFile(oldFile, oldData);
        test::writeFile(patchFile, tools::makeBsdiffPatch(oldData, newData, {{1 << 20, 5000, 0}, {2 << 20, 0, 0}}));
    }
    std::string apply(const FileManager& files, bool parallel = true) const {
        BsdiffFileOptions options;
        options.applier.parallel = parallel;
        return test::failureOf([&] { applyBsdiffFile(files, oldFile, newFile, patchFile, options); });
    }
    test::ProcessResult runTool(const fs::path& output, bool unprivileged = false) const {
        return test::runProcess({"/usr/bin/bspatch", oldFile, output, patchFile}, {}, {}, unprivileged);
    }

    test::TemporaryDirectory folder;
    fs::path oldFile = folder.path() / "english", newFile = folder.path() / "russianblind",
             patchFile = folder.path() / "images.bsdiff";
    std::string oldData = test::randomBytes(1, 3 << 20),
                newData = oldData.substr(0, 1 << 20) + test::randomBytes(2, 5000) + oldData.substr(1 << 20);
};

TEST(BsdiffFile, WritesWhatTheToolWritesAndItsDigestAndFlushesOnlyWhenAsked) {
    PatchFiles files;
    ASSERT_EQ(files.runTool(files.folder.path() / "tool-output").status, 0);
    for (bool parallel : {true, false}) {
        for (bool sync : {true, false}) {
            fs::remove(files.newFile);
            test::FaultInjector injector;
            BsdiffFileOptions options;
            options.applier.parallel = parallel;
            options.sync = sync;
            const PatchedFile result = applyBsdiffFile(injector.fileManager(), files.oldFile, files.newFile, files.patchFile, options);
            EXPECT_EQ(test::readFile(files.newFile), files.newData);
            EXPECT_EQ(result.digest, test::digestOf(files.newData));
            EXPECT_EQ(result.size, files.newData.size());
            EXPECT_EQ(test::modeOf(files.newFile), test::modeOf(files.folder.path() / "tool-output"));
            const std::vector<fs::path> synced = injector.callsOf(FileOperation::Sync);
            EXPECT_EQ(std::count(synced.begin(), synced.end(), files.newFile), sync ? 1 : 0);
            // Nothing is written after the flush.
            if (sync) {
                EXPECT_EQ(injector.calls().back().operation, FileOperation::Sync);
            }
        }
    }
}

// Failures the tool meets too, in its words: files it cannot open or create, and a corrupt patch.
// An existing new file is never written over.
TEST(BsdiffFile, ReportsWhatTheToolReportsAndLeavesNoNewFile) {
    struct Case {
        const char* label;
        std::function<void(PatchFiles&)> prepare;
        bool unprivileged = false;
    };
    const std::vector<Case> cases = {
        {"missing patch", [](PatchFiles& f) { fs::remove(f.patchFile); }},
        {"missing old file", [](PatchFiles& f) { fs::remove(f.oldFile); }},
        {"missing folder for the new file", [](PatchFiles& f) { f.newFile = f.folder.path() / "missing" / "russianblind"; }},
        {"corrupt patch", [](PatchFiles& f) { test::writeFile(f.patchFile, test::readFile(f.patchFile).substr(0, fs::file_size(f.patchFile) / 2)); }},
        // Root reads any file: the tool runs unprivileged, the applier meets the same error by injection.
        {"patch not readable", [](PatchFiles& f) { fs::permissions(f.patchFile, fs::perms::owner_read | fs::perms::owner_write); },
         true},
    };
    for (const Case& entry : cases) {
        PatchFiles files;
        entry.prepare(files);
        const test::ProcessResult tool = files.runTool(files.newFile, entry.unprivileged);
        EXPECT_EQ(tool.status, 1) << entry.label;
        test::FaultInjector injector;
        if (entry.unprivileged) injector.fail(FileOperation::Open, "images.bsdiff", EACCES);
        EXPECT_EQ(files.apply(injector.fileManager()), tool.standardError) << entry.label;
        EXPECT_FALSE(fs::exists(files.newFile)) << entry.label;
    }

    PatchFiles files;
    test::writeFile(files.newFile, "someone else's");
    EXPECT_EQ(files.apply(FileManager()), "bspatch: open(" + files.newFile.string() + "): File exists\n");
    EXPECT_EQ(test::readFile(files.newFile), "someone else's");
}

TEST(BsdiffFile, FileSystemFailuresAreReportedLikeTheToolAndRemoveTheNewFile) {
    PatchFiles files;
    const std::string patchReadFails = "fread(" + files.patchFile.string() + "): Input/output error";
    const struct {
        FileOperation operation;
        const char* name;
        int error, skip;
        std::string text;
    } cases[] = {
        {FileOperation::Write, "russianblind", ENOSPC, 0, files.newFile.string() + ": No space left on device"},
        {FileOperation::Sync, "russianblind", EIO, 0, files.newFile.string() + ": Input/output error"},
        {FileOperation::Create, "russianblind", EACCES, 0, "open(" + files.newFile.string() + "): Permission denied"},
        {FileOperation::Read, "english", EIO, 0, files.oldFile.string() + ": Input/output error"},
        {FileOperation::Read, "images.bsdiff", EIO, 0, patchReadFails},  // the header
        {FileOperation::Read, "images.bsdiff", EIO, 1, patchReadFails},  // past the header
    };
    for (bool parallel : {true, false}) {
        for (const auto& entry : cases) {
            test::FaultInjector injector;
            injector.fail(entry.operation, entry.name, entry.error, entry.skip);
            EXPECT_EQ(files.apply(injector.fileManager(), parallel), "bspatch: " + entry.text + "\n") << entry.text;
            EXPECT_FALSE(fs::exists(files.newFile)) << entry.text;
        }
    }
}

}  // namespace
}  // namespace morra
