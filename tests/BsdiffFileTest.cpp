// The file-level applier: what "bspatch old new patch" does, with the new file created
// exclusively, hashed as it is written, flushed when asked, and removed on failure.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "BsdiffWriter.h"
#include "PatchTestSupport.h"
#include "bsdiff/BsdiffFile.h"
#include "files/FileError.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

struct PatchFiles {
    PatchFiles() {
        test::writeFile(oldFile, oldData);
        test::writeFile(patchFile, tools::makeBsdiffPatch(oldData, newData, {{1 << 20, 5000, 0}, {2 << 20, 0, 0}}));
    }
    std::string apply(const FileManager& files, bool parallel = true) const {
        return test::failureOf([&] { applyBsdiffFile(files, oldFile, newFile, patchFile, {false, {parallel}}); });
    }
    test::ProcessResult runTool(const fs::path& output, bool unprivileged = false) const {
        return test::runProcess({test::systemTool("bspatch"), oldFile, output, patchFile}, {}, {}, unprivileged);
    }

    test::TemporaryDirectory folder;
    fs::path oldFile = folder.path() / "english", newFile = folder.path() / "russianblind", patchFile = folder.path() / "images.bsdiff";
    std::string oldData = test::randomBytes(1, 3 << 20),
                newData = oldData.substr(0, 1 << 20) + test::randomBytes(2, 5000) + oldData.substr(1 << 20);
};

TEST(BsdiffFile, WritesWhatTheToolWritesAndItsDigestAndFlushesOnlyWhenAsked) {
    MORRA_NEEDS_TOOL("bspatch");
    PatchFiles files;
    ASSERT_EQ(files.runTool(files.folder.path() / "tool-output").status, 0);
    for (bool sync : {true, false}) {
        fs::remove(files.newFile);
        test::FaultInjector injector;
        const PatchedFile result = applyBsdiffFile(injector.fileManager(), files.oldFile, files.newFile, files.patchFile, {sync, {sync}});
        EXPECT_EQ(test::readFile(files.newFile), files.newData);
        EXPECT_EQ(result.digest, test::digestOf(files.newData));
        EXPECT_EQ(result.size, files.newData.size());
        EXPECT_EQ(fs::status(files.newFile).permissions(), fs::status(files.folder.path() / "tool-output").permissions());
        const std::vector<test::FileCall> calls = injector.calls();
        EXPECT_EQ(test::indexOf(calls, FileOperation::Sync, files.newFile) < calls.size(), sync);
        EXPECT_TRUE(!sync || calls.back().operation == FileOperation::Sync) << "written after the flush";
    }
}

// Failures the tool meets too, in its words; an existing new file is never written over; a
// failure of the disk or of a read (also on the read-ahead thread) removes the new file.
TEST(BsdiffFile, ReportsWhatTheToolReportsAndLeavesNoNewFile) {
    MORRA_NEEDS_TOOL("bspatch");
    const std::vector<std::pair<const char*, std::function<void(PatchFiles&)>>> cases = {
        {"missing patch", [](PatchFiles& f) { fs::remove(f.patchFile); }},
        {"missing old file", [](PatchFiles& f) { fs::remove(f.oldFile); }},
        {"missing folder for the new file", [](PatchFiles& f) { f.newFile = f.folder.path() / "missing" / "russianblind"; }},
        {"corrupt patch", [](PatchFiles& f) { test::writeFile(f.patchFile, test::readFile(f.patchFile).substr(0, 3000)); }},
        {"patch not readable", [](PatchFiles&) {}},
    };
    for (const auto& [label, prepare] : cases) {
        PatchFiles files;
        prepare(files);
        // Root reads any file: the tool runs unprivileged, the applier meets the same error by injection.
        const bool unreadable = std::string(label) == "patch not readable";
        if (unreadable) fs::permissions(files.patchFile, fs::perms::none);
        const test::ProcessResult tool = files.runTool(files.newFile, unreadable);
        EXPECT_EQ(tool.status, 1) << label;
        test::FaultInjector injector;
        if (unreadable) injector.fail(FileOperation::Open, "images.bsdiff", EACCES);
        EXPECT_EQ(files.apply(injector.fileManager()), tool.standardError) << label;
        EXPECT_FALSE(fs::exists(files.newFile)) << label;
    }

    PatchFiles files;
    test::writeFile(files.newFile, "someone else's");
    EXPECT_EQ(files.apply(FileManager()), "bspatch: open(" + files.newFile.string() + "): File exists\n");
    EXPECT_EQ(test::readFile(files.newFile), "someone else's");
    fs::remove(files.newFile);
    const std::tuple<FileOperation, const char*, int, int, std::string> faults[] = {
        {FileOperation::Write, "russianblind", ENOSPC, 0, files.newFile.string() + ": No space left on device"},
        {FileOperation::Read, "english", EIO, 0, files.oldFile.string() + ": Input/output error"},
        {FileOperation::Read, "images.bsdiff", EIO, 1, "fread(" + files.patchFile.string() + "): Input/output error"},
    };
    for (bool parallel : {true, false}) {
        for (const auto& [operation, name, error, skip, text] : faults) {
            test::FaultInjector injector;
            injector.fail(operation, name, error, skip);
            EXPECT_EQ(files.apply(injector.fileManager(), parallel), "bspatch: " + text + "\n");
            EXPECT_FALSE(fs::exists(files.newFile)) << text;
        }
    }
}

// The system's refusal of the first change inside the game and an input that is not a regular
// file are no failed calls of the tool: they travel as they are, for the player's own words.
TEST(BsdiffFile, RefusalsTravelAsTheyAre) {
    PatchFiles files;
    const auto reasonOf = [&](const FileManager& fileManager) {
        try {
            applyBsdiffFile(fileManager, files.oldFile, files.newFile, files.patchFile, {false, {false}});
        } catch (const FileError& error) {
            return error.reason();
        }
        return FileErrorReason::FailedCall;
    };
    test::FaultInjector injector;
    injector.fail(FileOperation::Create, "russianblind", EPERM);
    EXPECT_EQ(reasonOf(injector.fileManager().withAppManagement(true).guardingChangesIn(files.folder.path())),
              FileErrorReason::AppManagement);
    fs::remove(files.oldFile);
    ASSERT_EQ(::mkfifo(files.oldFile.c_str(), 0644), 0);
    EXPECT_EQ(reasonOf(FileManager()), FileErrorReason::NotRegularFile);
    EXPECT_FALSE(fs::exists(files.newFile));
}

}  // namespace
}  // namespace morra
