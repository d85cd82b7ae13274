// The system's descriptions of failed calls, which macOS gives only in English, reach the player
// in our Russian words; a cause we have no words for keeps the system's text and its number.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <system_error>

#include "CommandLine.h"
#include "TestSupport.h"
#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {
namespace {

namespace fs = std::filesystem;

bool hasLatinLetter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

bool hasCyrillicLetter(const std::string& text) {
    // U+0400 to U+04FF are encoded with a lead byte of 0xD0 to 0xD3.
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0xD0 && byte <= 0xD3;
    });
}

TEST(SystemErrorText, CommonCausesHaveRussianWordsAndOthersKeepTheSystemsTextWithTheirNumber) {
    const std::map<int, const char*> common = {
        {EROFS, "EROFS"},   {ENOSPC, "ENOSPC"},       {EDQUOT, "EDQUOT"},   {EACCES, "EACCES"},   {EPERM, "EPERM"},
        {EIO, "EIO"},       {ENOENT, "ENOENT"},       {ENOTDIR, "ENOTDIR"}, {EISDIR, "EISDIR"},   {EEXIST, "EEXIST"},
        {ENOTEMPTY, "ENOTEMPTY"}, {ENAMETOOLONG, "ENAMETOOLONG"}, {ELOOP, "ELOOP"}, {EBUSY, "EBUSY"},
        {ETXTBSY, "ETXTBSY"}, {EXDEV, "EXDEV"},       {EMFILE, "EMFILE"},   {ENFILE, "ENFILE"},   {ENOMEM, "ENOMEM"},
        {EINVAL, "EINVAL"}, {ENOTSUP, "ENOTSUP"},     {EOPNOTSUPP, "EOPNOTSUPP"}, {EFBIG, "EFBIG"}, {ENXIO, "ENXIO"},
        {ETIMEDOUT, "ETIMEDOUT"},
    };
    std::map<std::string, int> seen;
    for (const auto& [error, name] : common) {
        const std::string text = systemErrorText(error);
        EXPECT_TRUE(isValidUtf8(text)) << name;
        EXPECT_TRUE(hasCyrillicLetter(text)) << name << ": " << text;
        EXPECT_FALSE(hasLatinLetter(text)) << name << ": " << text;
        // Each cause its own words (on macOS, EOPNOTSUPP is another value for the same cause).
        if (error != EOPNOTSUPP) {
            EXPECT_TRUE(seen.emplace(text, error).second) << name << " says what " << seen[text] << " says: " << text;
        }
    }
    EXPECT_EQ(systemErrorText(EOPNOTSUPP), systemErrorText(ENOTSUP));

    for (int other : {EPROTO, EDOM, 9999}) {
        EXPECT_EQ(systemErrorText(other),
                  std::generic_category().message(other) + " (ошибка " + std::to_string(other) + ")");
    }
}

// A real failure, through the command line: the support folder lies under a regular file.
TEST(SystemErrorText, AFailedCallReachesThePlayerInRussian) {
    test::GameFixture game;
    test::writeFile(game.root.path() / "file", "not a folder");
    const fs::path support = game.root.path() / "file" / "support";
    const test::ScopedEnvironment supportOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string());
    const std::optional<CommandLineOutcome> outcome = runCommandLine({"MorraRussianLumenInstaller", "--install", game.app.string()});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->exitStatus, 1);
    EXPECT_EQ(outcome->standardError, "Операция остановлена из-за ошибки: Не удалось создать папку " + support.string() +
                                          ": " + systemErrorText(ENOTDIR) + "\n");
}

}  // namespace
}  // namespace morra
