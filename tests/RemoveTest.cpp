#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "TestSupport.h"
#include "operations/Install.h"
#include "operations/Remove.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kRemoved = "Перевод удалён. Файлы игры восстановлены.";
const std::string kEnglishNext = " Язык следующего запуска — English.";
const std::string kForeignKept = "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:";

// Install then remove gives back every file byte for byte and keeps the backups; an earlier
// release goes with its replaceable bundles; a second remove, or one on an untouched game, is the
// plain message and changes nothing.
TEST(Remove, GivesBackEveryFileByteForByte) {
    const InstallContext engine = test::demoContext();
    const auto untouched = [] {
        test::GameFixture game;
        return test::snapshot(game.app);
    }();
    for (GameState start : {GameState::Untouched, GameState::EarlierRelease}) {
        for (bool skillCards : {true, false}) {
            test::GameFixture game(start, start == GameState::EarlierRelease);
            if (start == GameState::Untouched) install(engine, game.app, skillCards ? SkillCards::Translated : SkillCards::English);
            else test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
            const auto backups = test::snapshot(game.support / "Steam-57314208");
            EXPECT_EQ(remove(engine, game.app), kRemoved + (start == GameState::Untouched ? "" : kEnglishNext));
            EXPECT_EQ(test::snapshot(game.app), untouched);
            EXPECT_TRUE(test::snapshot(game.support / "Steam-57314208") == backups) << "the backups stay as they were";
            EXPECT_TRUE(test::temporaries(game.root.path()).empty());
            EXPECT_EQ(remove(engine, game.app), kRemoved);
            EXPECT_EQ(test::snapshot(game.app), untouched);
        }
    }
}

// Added files someone else made are listed in the table's order and kept; everything else is restored.
TEST(Remove, ForeignAddedFilesAreListedAndKept) {
    const InstallContext engine = test::demoContext();
    test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
    test::writeFile(game.settings, R"({"LANGUAGE":{"Language":{"intValue":13}}})");
    test::writeFile(game.added(3), "hand-made dyslexic images");
    test::writeFile(game.added(1), "hand-made fonts");
    const fs::path app = fs::canonical(game.app);
    EXPECT_EQ(remove(engine, game.app), kForeignKept + "\n" + (app / tools::addedFilePaths()[1]).string() + "\n" +
                                           (app / tools::addedFilePaths()[3]).string() + kEnglishNext);
    EXPECT_EQ(test::readFile(game.added(1)), "hand-made fonts");
    EXPECT_FALSE(fs::exists(game.added(0)) || fs::exists(game.added(2)));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), test::demoFixture().original[i]);
}

// Without a verified backup, with a changed asset, or with a folder or pipe where an added bundle
// belongs, the removal stops before anything is restored.
TEST(Remove, StopsBeforeAnyRestore) {
    const std::string notRegular = "Ожидался обычный файл, но это папка, канал или устройство: ";
    const auto level3 = [](const test::GameFixture& g) { return g.support / "Steam-57314208" / "level3"; };
    const std::vector<std::tuple<const char*, std::function<void(const test::GameFixture&)>, std::string>> cases = {
        {"backup missing", [&](auto& g) { fs::remove(level3(g)); }, "Проверенная резервная копия не найдена: level3"},
        {"backup cut short", [&](auto& g) { test::writeFile(level3(g), test::demoFixture().original[2].substr(0, 100)); },
         "Проверенная резервная копия не найдена: level3"},
        {"backup a link", [&](auto& g) { fs::remove(level3(g)), fs::create_symlink(g.support / "Steam-57314208" / "level2", level3(g)); },
         "Проверенная резервная копия не найдена: level3"},
        {"asset changed", [](auto& g) { test::writeFile(g.asset(4), "patched by a store update"); },
         "sharedassets1.assets изменён другой программой\nили обновлением Steam. Удаление остановлено."},
        {"folder for a bundle", [](auto& g) { fs::remove(g.added(2)), fs::create_directories(g.added(2)); }, notRegular + "{added}"},
        {"pipe for a bundle", [](auto& g) { fs::remove(g.added(2)), ::mkfifo(g.added(2).c_str(), 0644); }, notRegular + "{added}"},
    };
    for (const auto& [label, prepare, message] : cases) {
        test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
        prepare(game);
        const auto before = test::snapshot(game.app);
        std::string expected = message;
        if (auto at = expected.find("{added}"); at != std::string::npos)
            expected.replace(at, 7, (fs::canonical(game.app) / tools::addedFilePaths()[2]).string());
        EXPECT_EQ(test::failureWithin(30, [&] { remove(test::demoContext(), game.app); }), expected) << label;
        EXPECT_EQ(test::snapshot(game.app), before) << label;
    }
}

}  // namespace
}  // namespace morra
