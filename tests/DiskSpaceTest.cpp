// Refusing, before the first change, an operation that would fill a disk.

#include "steps/DiskSpace.h"

#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

TEST(DiskSpace, NeedsOnOneVolumeAreAddedUpAndComparedWithWhatIsFree) {
    test::TemporaryDirectory folder;
    const FileManager files;
    const std::uint64_t free = files.freeSpace(folder.path());
    const std::uint64_t tooMuch = free + (1ull << 30);  // far beyond what other tests may free or take meanwhile
    EXPECT_NO_THROW(requireFreeSpace(files, {{folder.path(), 1 << 20}, {folder.path() / "not" / "made" / "yet", 1 << 20}}));
    const std::string refused = test::failureOf([&] {
        requireFreeSpace(files, {{folder.path() / "a", tooMuch / 2 + 1}, {folder.path() / "b" / "c", tooMuch / 2 + 1}});
    });
    std::smatch numbers;
    ASSERT_TRUE(std::regex_match(refused, numbers, std::regex(R"(Недостаточно места на диске: нужно ([0-9]+) МБ, свободно ([0-9]+) МБ \((.*)\)\.)")))
        << refused;
    EXPECT_GE(std::stoull(numbers[1]), tooMuch / 1000000);
    EXPECT_LT(std::stoull(numbers[2]), std::stoull(numbers[1]));
    EXPECT_EQ(numbers[3], folder.path().string()) << "the nearest existing folder is named";
}

// On a small file system of its own (a mount that only this child process sees), the install is
// refused before it changes anything, and the game is left byte for byte.
TEST(DiskSpace, AnInstallThatWouldFillTheDiskIsRefusedBeforeAnythingChanges) {
    if (test::systemTool("unshare").empty()) GTEST_SKIP() << "no unshare here to mount a small file system of the test's own";
    test::TemporaryDirectory root;
    const fs::path volume = root.path() / "volume";
    fs::create_directories(volume);
    const test::GameFixture game;
    const std::string script =
        "set -e; mount -t tmpfs -o size=6m tmpfs \"$1\" || exit 77; mkdir \"$1/game\"; cp -r \"$2\" \"$1/game/morra.app\"; "
        "export MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY=\"$1/support\" MORRA_LUMEN_INSTALLER_GAME_SETTINGS=\"$1/Settings.json\"; "
        "before=$(cd \"$1/game\" && find . -type f -exec sha256sum {} + | sort); "
        "if \"$3\" --install \"$1/game/morra.app\"; then exit 1; fi; "
        "after=$(cd \"$1/game\" && find . -type f -exec sha256sum {} + | sort); [ \"$before\" = \"$after\" ] || exit 2; "
        "[ -z \"$(find \"$1/game\" -name '.*')\" ] || exit 3";
    const test::ProcessResult result =
        test::runProcess({test::systemTool("unshare"), "--mount", "/bin/sh", "-c", script, "sh", volume.string(), game.app.string(), MORRA_PROGRAM});
    if (result.status == 77 || (result.status != 0 && result.standardError.find("unshare") != std::string::npos))
        GTEST_SKIP() << "this machine cannot mount a small file system for the test: " << result.standardError;
    EXPECT_EQ(result.status, 0) << result.standardError;
    EXPECT_NE(result.standardError.find("Недостаточно места на диске: нужно "), std::string::npos) << result.standardError;
}

}  // namespace
}  // namespace morra
