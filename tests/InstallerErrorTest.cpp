#include <gtest/gtest.h>

#include "CommandLine.h"
#include "InstallerError.h"
#include "TestSupport.h"

namespace morra {
namespace {

TEST(InstallerError, DescriptionIsTheCarriedTextByteForByte) {
    const std::string text = "Установщик не изменяет символические ссылки: /путь/с пробелом/файл";
    const InstallerError error(text);
    EXPECT_EQ(std::string(error.what()), text);
    EXPECT_EQ(error.message(), text);
    const std::exception& generic = error;
    EXPECT_STREQ(generic.what(), text.c_str());
}

TEST(InstallerError, PlatformErrorsReachTheCommandLineWithTheirOwnText) {
    // An asset that exists but cannot be read: only an unprivileged user meets a permission error.
    test::GameFixture game;
    std::filesystem::permissions(game.asset(2), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const test::ProcessResult result =
        test::runInstaller({"--inspect", game.app.string()}, {}, {}, /*unprivileged=*/true);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, game.asset(2).string() + ": Permission denied\n");
}

}  // namespace
}  // namespace morra
