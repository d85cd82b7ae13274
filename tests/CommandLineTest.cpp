// The command-line program: its five forms, what it prints where, its progress line on a terminal
// (so that what a pipe or a file receives stays exactly the operation's output), its stop when
// copied away from its resources, and the system's errors in the player's words.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <system_error>
#include <tuple>

#include "CommandLine.h"
#include "ProgressText.h"
#include "TestSupport.h"
#include "operations/Inspect.h"
#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tools::GameState;
using Step = core::Progress::Step;

// The report with one line feed added; a relative game path is taken from the working folder, and
// one in a working folder that is gone is an error, not a crash. A path may hold any bytes; what
// the program prints is always UTF-8, such bytes escaped.
TEST(CommandLine, InspectPrintsTheReportForARelativePathWithOneLineFeed) {
    test::GameFixture game(GameState::InstalledEnglish);
    EXPECT_EQ(test::runInstaller({"--inspect", "morra.app"}, {}, game.root.path()),
              (test::ProcessResult{0, operations::inspect(test::demoContext(), game.app) + "\n", ""}));
    const test::ProcessResult gone = test::runProcess(
        {"/bin/sh", "-c", "mkdir gone && cd gone && rmdir ../gone && exec \"$0\" --inspect morra.app", MORRA_PROGRAM}, {},
        game.root.path());
    EXPECT_EQ(gone.status, 1);
    EXPECT_EQ(gone.standardOutput, "");
    EXPECT_EQ(gone.standardError.back(), '\n');

    const fs::path app = game.root.path() / "Games\xff" / "morra.app";
    if (std::error_code error; fs::create_directories(app.parent_path(), error), error)
        GTEST_SKIP() << "this file system refuses names that are not UTF-8 (as APFS does): " << error.message();
    tools::writeGame(test::demoFixture(), app, GameState::Untouched);
    const std::string shown = game.root.path().string() + "/Games\\xFF/morra.app";
    EXPECT_EQ(test::runInstaller({"--discover"}, {{"MORRA_LUMEN_INSTALLER_GAME", app.string()}}).standardOutput, shown + "\n");
    const test::ProcessResult report = test::runInstaller({"--inspect", app.string()});
    EXPECT_NE(report.standardOutput.find("\n" + shown + "\n"), std::string::npos) << report.standardOutput;
}

// Only the five exact forms run; each operation's error goes to standard error with status 1.
// Copied away from its resources, an operation and the search stop at once with the fatal line
// (one check, after the form is known, serves every form).
TEST(CommandLine, OnlyTheFiveExactFormsRunAndErrorsEndWithStatusOne) {
    const std::vector<std::vector<std::string>> declined = {{}, {"--inspect"}, {"--INSPECT", "/x.app"},
        {"--inspect=/x.app"}, {"--discover", "/x.app"}, {"--install", "/x.app", "extra"}, {"-psn_0_12345"},
        {"/x.app", "--inspect"}};
    for (std::vector<std::string> arguments : declined) {
        arguments.insert(arguments.begin(), "MorraRussianLumenInstaller");
        EXPECT_FALSE(runCommandLine(arguments).has_value()) << arguments.size();
    }
    const test::GameFixture game;
    fs::create_directories(game.root.path() / "other.app");
    for (const char* option : {"--inspect", "--install", "--install-no-skill-cards", "--remove"}) {
        const auto outcome =
            runCommandLine({"MorraRussianLumenInstaller", option, (game.root.path() / "other.app").string()});
        ASSERT_TRUE(outcome.has_value()) << option;
        EXPECT_EQ(std::tie(outcome->exitStatus, outcome->standardOutput, outcome->standardError),
                  std::make_tuple(1, "", "Выбранный файл не является Morra Vellant для macOS.\n")) << option;
    }
    const fs::path copy = game.root.path() / "bin" / "MorraRussianLumenInstaller";
    fs::create_directories(copy.parent_path());
    fs::copy_file(MORRA_PROGRAM, copy);
    const auto before = test::snapshot(game.app);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{copy.string(), "--install", game.app.string()},
          std::vector<std::string>{copy.string(), "--discover"}}) {
        EXPECT_EQ(test::runProcess(arguments, {{"MORRA_LUMEN_INSTALLER_GAME", game.app.string()}}),
                  (test::ProcessResult{1, "", "Application resources are unavailable\n"})) << arguments[1];
    }
    EXPECT_TRUE(test::snapshot(game.app) == before);
    EXPECT_FALSE(fs::exists(game.support));
}

TEST(ProgressText, WordsTheStepThePercentAndTheTimeLeftOnceItCanBeGuessed) {
    const std::uint64_t huge = std::uint64_t{1} << 62;
    const std::vector<std::tuple<core::Progress, std::optional<std::chrono::seconds>, std::string>> cases = {
        {{Step::Patching, 2, 5, 37, 100}, std::nullopt, "Патч 2 из 5… 37\u00a0%"},
        {{Step::Restoring, 5, 5, 999, 1000}, 21s, "Восстановление 5 из 5… 99\u00a0%, осталось около 25\u00a0с"},
        {{Step::Verifying, 0, 0, huge - 1, huge}, 3s, "Проверка результата… 99\u00a0%, осталось несколько секунд"},
        {{Step::BackingUp, 0, 0, huge, huge}, 58s, "Резервные копии… 100\u00a0%, осталось около 1\u00a0мин"},
        {{Step::RemovingBundles, 0, 0, 1, 3}, 601s, "Удаление файлов перевода… 33\u00a0%, осталось около 11\u00a0мин"},
    };
    for (const auto& [progress, remaining, text] : cases) EXPECT_EQ(progressLineText(progress, remaining), text);

    // The estimate comes only once enough time has passed and enough work is done.
    const auto start = ProgressEstimate::Clock::now();
    const ProgressEstimate estimate(start);
    const core::Progress half{Step::Patching, 3, 5, 500, 1000};
    EXPECT_EQ(estimate.remaining(half, start + 1s), std::nullopt);
    EXPECT_EQ(estimate.remaining(core::Progress{Step::Checking, 0, 0, 20, 1000}, start + 10s), std::nullopt);
    EXPECT_EQ(estimate.remaining(half, start + 10s), 10s);
    EXPECT_EQ(estimate.remaining(core::Progress{Step::Verifying, 0, 0, 900, 1000}, start + 9s), 1s);
    EXPECT_EQ(estimate.remaining(core::Progress{Step::Verifying, 0, 0, 1000, 1000}, start + 10s), std::nullopt);
}

// On a terminal the progress line shows each step once per change and is blank again at the end
// (also before an error's text); the output itself is the same as through a pipe.
TEST(ProgressLine, TheProgramsOutputIsTheSameWithOrWithoutATerminal) {
    const test::ProcessResult piped = test::runInstaller({"--install", test::GameFixture().app.string()});
    const test::ProcessResult onTerminal = test::runInstaller({"--install", test::GameFixture().app.string()}, {}, {}, true);
    EXPECT_EQ(std::tie(piped.status, onTerminal.status, piped.standardError), std::make_tuple(0, 0, ""));
    EXPECT_NE(piped.standardOutput.find("Готово."), std::string::npos);
    EXPECT_EQ(onTerminal.standardOutput, piped.standardOutput);
    const std::string& shown = onTerminal.standardError;
    for (const char* step : {"\rПроверка файлов… 0\u00a0%", "\rПатч 1 из 5…", "\rПроверка результата… 100\u00a0%"})
        EXPECT_NE(shown.find(step), std::string::npos) << step;
    for (const char* step : {"Проверка файлов… 0\u00a0%", "Проверка результата… 100\u00a0%"})
        EXPECT_EQ(shown.find(step, shown.find(step) + 1), std::string::npos) << "an unchanged report is written again";
    EXPECT_EQ(shown.back(), '\r');
    EXPECT_EQ(shown.find('\n'), std::string::npos);
    // The last line is spaces at least as wide as any before it: the terminal's line is blank.
    const auto width = [](const std::string& line) {  // in code points
        return std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; });
    };
    const std::size_t lastStart = shown.rfind('\r', shown.size() - 2) + 1;
    const std::string last = shown.substr(lastStart, shown.size() - 1 - lastStart);
    EXPECT_EQ(last.find_first_not_of(' '), std::string::npos) << shown;
    for (std::size_t start = 0, end; start < lastStart; start = end + 1) {
        end = shown.find('\r', start);
        EXPECT_LE(width(shown.substr(start, end - start)), width(last)) << shown.substr(start, end - start);
    }

    test::TemporaryDirectory root;
    fs::create_directories(root.path() / "other.app");
    const test::ProcessResult refused = test::runInstaller({"--remove", (root.path() / "other.app").string()}, {}, {}, true);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.standardError.find("Выбранный файл не является Morra Vellant для macOS."), std::string::npos);
}

bool hasLatinLetter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

bool hasCyrillicLetter(const std::string& text) {
    // U+0400 to U+04FF are encoded with a lead byte of 0xD0 to 0xD3.
    return std::any_of(text.begin(), text.end(), [](char c) { return (c & 0xFC) == 0xD0; });
}

// The system's descriptions of failed calls, which macOS gives only in English, reach the player
// in our Russian words, each cause its own; a cause we have no words for keeps the system's text
// and its number.
TEST(SystemErrorText, CommonCausesHaveRussianWordsAndOthersKeepTheSystemsTextWithTheirNumber) {
    std::map<std::string, int> seen;
    for (int error : {EROFS,  ENOSPC, EDQUOT,    EACCES,       EPERM,   EIO,   ENOENT,  ENOTDIR,
                      EISDIR, EEXIST, ENOTEMPTY, ENAMETOOLONG, ELOOP,   EBUSY, ETXTBSY, EXDEV,
                      EMFILE, ENFILE, ENOMEM,    EINVAL,       ENOTSUP, EFBIG, ENXIO,   ETIMEDOUT}) {
        const std::string text = text::systemErrorText(error);
        EXPECT_TRUE(text::isValidUtf8(text)) << error;
        EXPECT_TRUE(hasCyrillicLetter(text)) << error << ": " << text;
        EXPECT_FALSE(hasLatinLetter(text)) << error << ": " << text;
        EXPECT_TRUE(seen.emplace(text, error).second)
            << error << " says what " << seen[text] << " says: " << text;
    }
    // On macOS, EOPNOTSUPP is another value for the same cause.
    EXPECT_EQ(text::systemErrorText(EOPNOTSUPP), text::systemErrorText(ENOTSUP));
    for (int other : {EPROTO, EDOM, 9999})
        EXPECT_EQ(text::systemErrorText(other),
                  std::generic_category().message(other) + " (ошибка " + std::to_string(other) + ")");

    // A real failure, through the command line: the support folder lies under a regular file.
    test::GameFixture game;
    test::writeFile(game.root.path() / "file", "not a folder");
    const fs::path support = game.root.path() / "file" / "support";
    const test::ScopedEnvironment supportOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY", support.string());
    const auto outcome = runCommandLine({"MorraRussianLumenInstaller", "--install", game.app.string()});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(std::tie(outcome->exitStatus, outcome->standardError),
              std::make_tuple(1, "Операция остановлена из-за ошибки: Не удалось создать папку " +
                                     support.string() + ": " + text::systemErrorText(ENOTDIR) + "\n"));
}

}  // namespace
}  // namespace morra
