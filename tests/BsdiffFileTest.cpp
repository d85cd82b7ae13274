// The file-level applier: what "bspatch old new patch" does, with the new file created
// exclusively, hashed as it is written, flushed before it is handed back, and removed on failure.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "BsdiffFile.h"
#include "BsdiffWriter.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

struct PatchFiles {
    PatchFiles() : oldFile(folder.path() / "english"), newFile(folder.path() / "russianblind"), patchFile(folder.path() / "images.bsdiff") {
        oldData = test::randomBytes(1, 3 << 20);
        newData = oldData.substr(0, 1 << 20) + test::randomBytes(2, 5000) + oldData.substr(1 << 20);
        newData[100] ^= 0x55;
        test::writeFile(oldFile, oldData);
        test::writeFile(patchFile, tools::makeBsdiffPatch(oldData, newData, {{1 << 20, 5000, 0}, {(2 << 20), 0, 0}}));
    }
    test::TemporaryDirectory folder;
    fs::path oldFile, newFile, patchFile;
    std::string oldData, newData;
};

std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const BsdiffError& error) {
        return error.what();
    }
    return "(no error)";
}

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

TEST(BsdiffFile, WritesWhatTheToolWritesAndItsDigest) {
    PatchFiles files;
    for (bool parallel : {true, false}) {
        fs::remove(files.newFile);
        BsdiffFileOptions options;
        options.applier.parallel = parallel;
        const PatchedFile result = applyBsdiffFile(FileManager(), files.oldFile, files.newFile, files.patchFile, options);
        EXPECT_EQ(test::readFile(files.newFile), files.newData);
        EXPECT_EQ(result.digest, test::digestOf(files.newData));
        EXPECT_EQ(result.size, files.newData.size());
    }
    const fs::path toolOutput = files.folder.path() / "tool-output";
    ASSERT_EQ(test::runProcess({"/usr/bin/bspatch", files.oldFile, toolOutput, files.patchFile}).status, 0);
    EXPECT_EQ(modeOf(files.newFile), modeOf(toolOutput));
}

// Texts of the tool for files it cannot open, compared with the tool's own.
TEST(BsdiffFile, ReportsUnopenableFilesInTheToolsWords) {
    PatchFiles files;
    const fs::path missing = files.folder.path() / "missing";
    struct Case {
        const char* label;
        fs::path oldFile, patchFile;
        bool unprivileged;
        FileOperation operation;
        int error;
    };
    fs::permissions(files.patchFile, fs::perms::owner_read | fs::perms::owner_write);
    const std::vector<Case> cases = {
        {"missing patch", files.oldFile, missing, false, FileOperation::Open, 0},
        {"missing old file", missing, files.patchFile, false, FileOperation::Open, 0},
        {"patch not readable", files.oldFile, files.patchFile, true, FileOperation::Open, EACCES},
    };
    for (const Case& entry : cases) {
        const fs::path toolOutput = files.folder.path() / "tool-output";
        const test::ProcessResult tool =
            test::runProcess({"/usr/bin/bspatch", entry.oldFile, toolOutput, entry.patchFile}, {}, {}, entry.unprivileged);
        EXPECT_EQ(tool.status, 1) << entry.label;
        test::FaultInjector injector;
        if (entry.error) injector.fail(entry.operation, entry.patchFile.filename(), entry.error);
        EXPECT_EQ(errorOf([&] { applyBsdiffFile(injector.fileManager(), entry.oldFile, files.newFile, entry.patchFile); }),
                  tool.standardError)
            << entry.label;
        EXPECT_FALSE(fs::exists(files.newFile)) << entry.label;
    }
}

TEST(BsdiffFile, ReportsAMissingFolderForTheNewFileInTheToolsWords) {
    PatchFiles files;
    const fs::path newFile = files.folder.path() / "missing" / "russianblind";
    const test::ProcessResult tool = test::runProcess({"/usr/bin/bspatch", files.oldFile, newFile, files.patchFile});
    EXPECT_EQ(tool.status, 1);
    EXPECT_EQ(errorOf([&] { applyBsdiffFile(FileManager(), files.oldFile, newFile, files.patchFile); }), tool.standardError);
}

TEST(BsdiffFile, NeverWritesOverAnExistingFile) {
    PatchFiles files;
    test::writeFile(files.newFile, "someone else's");
    EXPECT_EQ(errorOf([&] { applyBsdiffFile(FileManager(), files.oldFile, files.newFile, files.patchFile); }),
              "bspatch: open(" + files.newFile.string() + "): File exists\n");
    EXPECT_EQ(test::readFile(files.newFile), "someone else's");
}

TEST(BsdiffFile, FileSystemFailuresAreReportedLikeTheToolAndRemoveTheNewFile) {
    struct Case {
        const char* label;
        FileOperation operation;
        const char* name;
        int error;
        std::string text;
    };
    for (bool parallel : {true, false}) {
        PatchFiles files;
        const std::vector<Case> cases = {
            {"disk full", FileOperation::Write, "russianblind", ENOSPC, files.newFile.string() + ": No space left on device"},
            {"flush fails", FileOperation::Sync, "russianblind", EIO, files.newFile.string() + ": Input/output error"},
            {"new file not created", FileOperation::Create, "russianblind", EACCES,
             "open(" + files.newFile.string() + "): Permission denied"},
            {"old file unreadable", FileOperation::Read, "english", EIO, files.oldFile.string() + ": Input/output error"},
            {"patch unreadable", FileOperation::Read, "images.bsdiff", EIO,
             "fread(" + files.patchFile.string() + "): Input/output error"},
            {"patch unreadable past its header", FileOperation::Read, "images.bsdiff", EIO,
             "fread(" + files.patchFile.string() + "): Input/output error"},
        };
        for (const Case& entry : cases) {
            test::FaultInjector injector;
            const bool afterHeader = std::string(entry.label).find("past") != std::string::npos;
            injector.fail(entry.operation, entry.name, entry.error, afterHeader ? 1 : 0);
            BsdiffFileOptions options;
            options.applier.parallel = parallel;
            EXPECT_EQ(errorOf([&] { applyBsdiffFile(injector.fileManager(), files.oldFile, files.newFile, files.patchFile, options); }),
                      "bspatch: " + entry.text + "\n")
                << entry.label;
            EXPECT_FALSE(fs::exists(files.newFile)) << entry.label;
        }
    }
}

TEST(BsdiffFile, ACorruptPatchLeavesNoNewFile) {
    PatchFiles files;
    std::string patch = test::readFile(files.patchFile);
    patch.resize(patch.size() / 2);
    test::writeFile(files.patchFile, patch);
    EXPECT_EQ(errorOf([&] { applyBsdiffFile(FileManager(), files.oldFile, files.newFile, files.patchFile); }), kCorruptPatchText);
    EXPECT_FALSE(fs::exists(files.newFile));
}

TEST(BsdiffFile, FlushesTheNewFileOnlyWhenAsked) {
    for (bool sync : {true, false}) {
        PatchFiles files;
        test::FaultInjector injector;
        BsdiffFileOptions options;
        options.sync = sync;
        applyBsdiffFile(injector.fileManager(), files.oldFile, files.newFile, files.patchFile, options);
        const std::vector<fs::path> synced = injector.callsOf(FileOperation::Sync);
        EXPECT_EQ(std::count(synced.begin(), synced.end(), files.newFile), sync ? 1 : 0);
        // The last call on the new file is its flush: nothing is written after it.
        if (sync) {
            EXPECT_EQ(injector.calls().back().operation, FileOperation::Sync);
        }
    }
}

}  // namespace
}  // namespace morra
