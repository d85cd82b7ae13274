#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <regex>
#include <system_error>

#include "InstallerEngine.h"
#include "PatchTestSupport.h"
#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

const char* const kUuid = "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}";

// Runs the call and expects the file service's error with the given errno value.
template <typename Call>
void expectFileError(Call call, int error, const std::string& label) {
    try {
        call();
        ADD_FAILURE() << label << ": no error";
    } catch (const std::system_error& thrown) {
        EXPECT_EQ(thrown.code().value(), error) << label << ": " << thrown.what();
    }
}

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

// The temporary is flushed before it takes the target's name, and the folder after the rename.
void expectDurableOrder(const test::FaultInjector& injector, const fs::path& target, const std::string& infix) {
    const std::vector<test::FileCall> calls = injector.calls();
    auto find = [&](auto predicate) { return std::find_if(calls.begin(), calls.end(), predicate) - calls.begin(); };
    const auto rename = find([&](const test::FileCall& call) { return call.operation == FileOperation::Rename && call.path == target; });
    const auto syncTemporary = find([&](const test::FileCall& call) {
        return call.operation == FileOperation::Sync && call.path.filename().string().find(infix) != std::string::npos;
    });
    const auto syncFolder = find([&](const test::FileCall& call) {
        return call.operation == FileOperation::Sync && call.path == target.parent_path();
    });
    ASSERT_LT(rename, static_cast<long>(calls.size()));
    EXPECT_LT(syncTemporary, rename);
    EXPECT_GT(syncFolder, rename);
    EXPECT_LT(syncFolder, static_cast<long>(calls.size()));
}

TEST(ReplaceFromFile, ReplacesTheTargetAndLeavesTheSource) {
    test::TemporaryDirectory folder;
    const fs::path target = folder.path() / "level2", source = folder.path() / "backup";
    test::writeFile(target, "translated asset");
    test::writeFile(source, "untouched asset");
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());

    engine.replaceAtomically(target, source);

    EXPECT_EQ(test::readFile(target), "untouched asset");
    EXPECT_EQ(test::readFile(source), "untouched asset");
    EXPECT_TRUE(test::temporariesIn(folder.path()).empty());
    const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].parent_path(), folder.path());
    EXPECT_TRUE(std::regex_match(created[0].filename().string(), std::regex(std::string("\\.level2\\.restoring-") + kUuid)))
        << created[0];
    expectDurableOrder(injector, target, ".restoring-");
}

TEST(ReplaceFromFile, AFailureLeavesTheTargetAsItWasAndNoTemporary) {
    struct Case {
        const char* label;
        FileOperation operation;
        const char* name;
        int error;
    };
    const std::vector<Case> cases = {
        {"source unreadable", FileOperation::Open, "backup", EACCES},
        {"temporary not created", FileOperation::Create, ".restoring-", EACCES},
        {"disk full while copying", FileOperation::Write, ".restoring-", ENOSPC},
        {"read error while copying", FileOperation::Read, "backup", EIO},
        {"flush fails", FileOperation::Sync, ".restoring-", EIO},
        {"rename fails", FileOperation::Rename, "level2", EXDEV},
    };
    for (const Case& entry : cases) {
        test::TemporaryDirectory folder;
        const fs::path target = folder.path() / "level2", source = folder.path() / "backup";
        test::writeFile(target, "translated asset");
        test::writeFile(source, std::string(3 << 20, 'u'));
        test::FaultInjector injector;
        injector.fail(FileOperation::Clone, "", EOPNOTSUPP);  // copy by reading and writing
        injector.fail(entry.operation, entry.name, entry.error);
        const InstallerEngine engine(injector.fileManager());
        expectFileError([&] { engine.replaceAtomically(target, source); }, entry.error, entry.label);
        EXPECT_EQ(test::readFile(target), "translated asset") << entry.label;
        EXPECT_TRUE(test::temporariesIn(folder.path()).empty()) << entry.label;
    }
}

TEST(ReplaceFromFile, AMissingSourceIsTheCopysError) {
    test::TemporaryDirectory folder;
    const fs::path target = folder.path() / "level2";
    test::writeFile(target, "translated asset");
    const InstallerEngine engine;
    expectFileError([&] { engine.replaceAtomically(target, folder.path() / "missing"); }, ENOENT, "missing source");
    EXPECT_EQ(test::readFile(target), "translated asset");
    EXPECT_TRUE(test::temporariesIn(folder.path()).empty());
}

TEST(ReplaceWithBytes, ReplacesTheContentAndKeepsThePermissionBits) {
    for (mode_t mode : {0640u, 0444u, 0600u, 0755u}) {
        test::TemporaryDirectory folder;
        const fs::path target = folder.path() / "Settings.json";
        tools::writeFile(target, "{\"old\": true}", mode);
        ASSERT_EQ(modeOf(target), mode);
        test::FaultInjector injector;
        const InstallerEngine engine(injector.fileManager());

        engine.replaceAtomically(target, std::string("{\"new\": true}"));

        EXPECT_EQ(test::readFile(target), "{\"new\": true}");
        EXPECT_EQ(modeOf(target), mode);
        EXPECT_TRUE(test::temporariesIn(folder.path()).empty());
        const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
        ASSERT_EQ(created.size(), 1u);
        EXPECT_TRUE(std::regex_match(created[0].filename().string(), std::regex(std::string("\\.Settings\\.json\\.updating-") + kUuid)));
        expectDurableOrder(injector, target, ".updating-");
    }
}

TEST(ReplaceWithBytes, EveryCallUsesAFreshTemporaryName) {
    test::TemporaryDirectory folder;
    const fs::path target = folder.path() / "Settings.json";
    test::writeFile(target, "1");
    test::FaultInjector injector;
    const InstallerEngine engine(injector.fileManager());
    engine.replaceAtomically(target, std::string("2"));
    engine.replaceAtomically(target, std::string("3"));
    const std::vector<fs::path> created = injector.callsOf(FileOperation::Create);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_NE(created[0], created[1]);
    EXPECT_EQ(test::readFile(target), "3");
}

TEST(ReplaceWithBytes, AMissingTargetFailsBeforeAnythingIsWritten) {
    test::TemporaryDirectory folder;
    const InstallerEngine engine;
    expectFileError([&] { engine.replaceAtomically(folder.path() / "Settings.json", std::string("{}")); }, ENOENT, "missing target");
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(ReplaceWithBytes, AFailureLeavesTheTargetAsItWasAndNoTemporary) {
    struct Case {
        const char* label;
        FileOperation operation;
        const char* name;
        int error;
    };
    const std::vector<Case> cases = {
        {"attributes unreadable", FileOperation::Stat, "Settings.json", EACCES},
        {"temporary not created", FileOperation::Create, ".updating-", EACCES},
        {"disk full", FileOperation::Write, ".updating-", ENOSPC},
        {"permissions not set", FileOperation::SetPermissions, ".updating-", EPERM},
        {"flush fails", FileOperation::Sync, ".updating-", EIO},
        {"rename fails", FileOperation::Rename, "Settings.json", EIO},
    };
    for (const Case& entry : cases) {
        test::TemporaryDirectory folder;
        const fs::path target = folder.path() / "Settings.json";
        tools::writeFile(target, "{\"old\": true}", 0640);
        test::FaultInjector injector;
        injector.fail(entry.operation, entry.name, entry.error);
        const InstallerEngine engine(injector.fileManager());
        expectFileError([&] { engine.replaceAtomically(target, std::string("{\"new\": true}")); }, entry.error, entry.label);
        EXPECT_EQ(test::readFile(target), "{\"old\": true}") << entry.label;
        EXPECT_EQ(modeOf(target), 0640u) << entry.label;
        EXPECT_TRUE(test::temporariesIn(folder.path()).empty()) << entry.label;
    }
}

}  // namespace
}  // namespace morra
