// The progress of install and remove in words, and the command line's progress line: on a
// terminal only (written when the report changes, blank at the end), so that what a pipe or a
// file receives stays exactly the operation's output.
#include <gtest/gtest.h>

#include <algorithm>

#include "ProgressLine.h"
#include "ProgressText.h"
#include "TestSupport.h"

namespace morra {
namespace {

using namespace std::chrono_literals;
using Step = Progress::Step;

// The lines written between carriage returns, each as wide as its code points.
std::vector<std::pair<std::string, std::size_t>> lines(const std::string& bytes) {
    std::vector<std::pair<std::string, std::size_t>> found;
    for (std::size_t start = 0, end; start < bytes.size(); start = end + 1) {
        end = std::min(bytes.find('\r', start), bytes.size());
        const std::string line = bytes.substr(start, end - start);
        found.emplace_back(line, std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    }
    return found;
}

TEST(ProgressText, WordsTheStepThePercentAndTheTimeLeftOnceItCanBeGuessed) {
    const std::uint64_t huge = std::uint64_t{1} << 62;
    const std::vector<std::tuple<Progress, std::optional<std::chrono::seconds>, std::string>> cases = {
        {{Step::Checking, 0, 0, 0, 0}, std::nullopt, "Проверка файлов… 0\u00a0%"},
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
    const Progress half{Step::Patching, 3, 5, 500, 1000};
    EXPECT_EQ(estimate.remaining(half, start + 1s), std::nullopt);
    EXPECT_EQ(estimate.remaining(Progress{Step::Checking, 0, 0, 20, 1000}, start + 10s), std::nullopt);
    EXPECT_EQ(estimate.remaining(half, start + 10s), 10s);
    EXPECT_EQ(estimate.remaining(Progress{Step::Verifying, 0, 0, 900, 1000}, start + 9s), 1s);
    EXPECT_EQ(estimate.remaining(Progress{Step::Verifying, 0, 0, 1000, 1000}, start + 10s), std::nullopt);
}

TEST(ProgressLine, TheProgramsOutputIsTheSameWithOrWithoutATerminal) {
    test::ProcessResult piped, onTerminal;
    {
        test::GameFixture game;
        piped = test::runInstaller({"--install", game.app.string()});
    }
    {
        test::GameFixture game;
        onTerminal = test::runInstaller({"--install", game.app.string()}, {}, {}, true);
    }
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(onTerminal.status, 0);
    EXPECT_EQ(piped.standardError, "");
    EXPECT_NE(piped.standardOutput.find("Готово."), std::string::npos);
    EXPECT_EQ(onTerminal.standardOutput, piped.standardOutput);
    // On the terminal, the progress line with each step, blank again at the end.
    for (const char* step : {"\rПроверка файлов… 0\u00a0%", "\rПатч 1 из 5…", "\rПроверка результата… 100\u00a0%"})
        EXPECT_NE(onTerminal.standardError.find(step), std::string::npos) << step;
    EXPECT_EQ(onTerminal.standardError.back(), '\r');
    // The last line is spaces at least as wide as any before it: the terminal's line is blank.
    const auto written = lines(onTerminal.standardError);
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.back().first.find_first_not_of(' '), std::string::npos) << onTerminal.standardError;
    for (const auto& [line, width] : written) EXPECT_LE(width, written.back().second) << line;
    EXPECT_EQ(onTerminal.standardError.find('\n'), std::string::npos);
    for (const char* step : {"Проверка файлов… 0\u00a0%", "Проверка результата… 100\u00a0%"}) {
        const std::size_t first = onTerminal.standardError.find(step);
        EXPECT_EQ(onTerminal.standardError.find(step, first + 1), std::string::npos) << "an unchanged report is written again";
    }

    // A failure prints its text after the blanked line, and nothing else changes.
    test::TemporaryDirectory root;
    std::filesystem::create_directories(root.path() / "other.app");
    const test::ProcessResult refused = test::runInstaller({"--remove", (root.path() / "other.app").string()}, {}, {}, true);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.standardOutput, "");
    EXPECT_NE(refused.standardError.find("Выбранный файл не является Morra Vellant для macOS."), std::string::npos);
}

}  // namespace
}  // namespace morra
