// The game's validation, and install, remove and inspect on whole games: what they make, what
// they give back, what they report, every refusal that must come before the game changes, and one
// operation per game and backup store at a time. Then the command-line program: its five forms, what
// it prints where, its progress line on a terminal (so that what a pipe or a file receives stays
// exactly the operation's output), its stop when copied away from its resources, and the system's
// errors in the player's words. One program, as each runs the game's operations.

#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <system_error>
#include <thread>
#include <tuple>
#include <nlohmann/json.hpp>

#include "CommandLine.h"
#include "InstallerEngineFactory.h"
#include "ProgressText.h"
#include "SearchTestSupport.h"
#include "TestSupport.h"
#include "game/GameValidation.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"
#include "platform/Platform.h"
#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tools::GameState;
using Step = core::Progress::Step;

const std::string kDone =
    "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка.";
const std::string kCardsTranslated = kDone + "\nНазвания навыков на карточках переведены.";
const std::string kMigrated = "\nСтарое конфликтное значение языка запуска заменено на English.";
const std::string kRemoved = "Перевод удалён. Файлы игры восстановлены.";
const std::string kNotRegular = "Ожидался обычный файл, но это папка, канал или устройство: ";
const fs::path kStore = "support/Steam-57314208";
const std::string kLocked =
    "Другая копия установщика уже работает с этой игрой или её резервными копиями. Дождитесь её завершения и повторите.\n";

const tools::Fixture& fixture() { return test::demoFixture(); }
fs::path shown(const test::GameFixture& game, const std::string& relative) { return fs::canonical(game.app) / relative; }

// Runs a copy of the sleeper (30 seconds) from the given path until the object ends; returns once
// the system lists it among the running applications.
struct RunningCopy {
    explicit RunningCopy(const fs::path& executable) {
        fs::create_directories(executable.parent_path());
        fs::copy_file(MORRA_SLEEPER, executable, fs::copy_options::overwrite_existing);
        const fs::path real = fs::canonical(executable);
        const std::optional<fs::path> bundle = platform::bundleOfExecutable(real);
        if ((pid_ = ::fork()) == 0) {
            ::execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            for (const platform::RunningApplication& running : platform::runningApplications())
                if (bundle ? running.bundle == bundle : running.localizedName == real.filename().string()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the copy is not listed as running: " << real;
    }
    ~RunningCopy() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid_;
};

// The game running from this bundle is refused, even through a link; a copy in another bundle is
// not the game, but one running outside any bundle may be.
TEST(RequireGameStopped, TheGameRunningFromThisBundleIsRefused) {
    const std::string running = "Полностью закройте Morra Vellant перед установкой.";
    test::GameFixture game;
    test::TemporaryDirectory other;
    fs::create_symlink(game.app, game.root.path() / "link.app");
    EXPECT_EQ(test::failureOf([&] { game::requireGameStopped(files::FileManager(), game.app); }), "(no error)");
    const std::pair<std::string, std::string> copies[] = {
        {"Morra Vellant.app/Contents/MacOS/Morra Vellant", "(no error)"}, {"bin/Morra Vellant", running}};
    for (const auto& [elsewhere, expected] : copies) {
        RunningCopy copy(other / elsewhere);
        EXPECT_EQ(test::failureOf([&] { game::requireGameStopped(files::FileManager(), game.app); }), expected);
    }
    RunningCopy copy(game.app / "Contents/MacOS/Morra Vellant");
    for (const fs::path& path : {game.app, game.root.path() / "link.app"})
        EXPECT_EQ(test::failureOf([&] { game::requireGameStopped(files::FileManager(), path); }), running) << path;
    EXPECT_EQ(platform::bundleOfExecutable("/x/Morra.APP/Contents/MacOS/run"), fs::path("/x/Morra.APP"));
    for (const char* path : {"/usr/bin/Morra Vellant", "/x/morra.app/Contents/Other/run", "/x/morra/Contents/MacOS/run"})
        EXPECT_FALSE(platform::bundleOfExecutable(path)) << path;
    // The game reached through a link to its bundle is the bundle itself.
    EXPECT_EQ(game::validateGame(files::FileManager(), game.root.path() / "link.app").app, fs::canonical(game.app));
}

// The game holds exactly the installed form of the chosen variant.
void expectInstalled(const test::GameFixture& game, bool skillCards) {
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.asset(i)), skillCards ? fixture().translatedCards[i] : fixture().englishCards[i]) << i;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(test::readFile(game.added(i)), fixture().addedExpected[i]) << i;
    EXPECT_TRUE(test::temporaries(game.root.path()).empty());
}

// A fresh game gets backups, added bundles and patched assets, with progress to the end; a rerun
// changes nothing; switching the variant rebuilds only the two assets that differ (new files) and
// leaves the other three as they are (the same files).
TEST(Install, AFreshGameIsInstalledOnceAndASwitchRebuildsOnlyTwoAssets) {
    test::GameFixture game;
    test::writeFile(game.settings, test::kThirteen);
    const context::InstallContext engine = test::demoContext();
    std::vector<core::Progress> reports;
    const auto report = [&](const core::Progress& p) { reports.push_back(p); };
    EXPECT_EQ(operations::install(engine, game.app, core::SkillCards::Translated, report), kCardsTranslated + kMigrated);
    expectInstalled(game, true);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(test::readFile(game.root.path() / kStore / fs::path(tools::assetPaths()[i]).filename()), fixture().original[i]);
    EXPECT_EQ(test::readFile(game.app / tools::sourceBundlePaths()[0]), fixture().sourceBundles[0]);
    EXPECT_EQ(nlohmann::json::parse(test::readFile(game.settings))["LANGUAGE"]["Language"]["intValue"], 0);
    // The reports keep one total, never go back, end at it, and pass through every step.
    ASSERT_FALSE(reports.empty());
    std::set<core::Progress::Step> steps;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, reports[0].total) << i;
        EXPECT_LE(reports[i].done, reports[i].total) << i;
        EXPECT_GE(reports[i].done, reports[i ? i - 1 : 0].done) << i;
        steps.insert(reports[i].step);
        EXPECT_TRUE(reports[i].step != core::Progress::Step::Patching || reports[i].itemCount == 5) << i;
    }
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(steps, (std::set<core::Progress::Step>{core::Progress::Step::Checking, core::Progress::Step::BackingUp, core::Progress::Step::AddingBundles,
                                                     core::Progress::Step::Patching, core::Progress::Step::Verifying}));

    const auto installed = test::snapshot(game.root.path());
    EXPECT_EQ(operations::install(engine, game.app, core::SkillCards::Translated), kCardsTranslated);
    EXPECT_TRUE(test::snapshot(game.root.path()) == installed);
    const auto inodeOf = [&](std::size_t i) {
        struct stat status {};
        ::stat(game.asset(i).c_str(), &status);
        return status.st_ino;
    };
    std::vector<ino_t> before;
    for (std::size_t i = 0; i < 5; ++i) before.push_back(inodeOf(i));
    EXPECT_EQ(operations::install(engine, game.app, core::SkillCards::English), kDone + "\nКарточки навыков возвращены к английскому варианту.");
    expectInstalled(game, false);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(inodeOf(i) == before[i], i >= 2) << i;
}

// Each refusal of an install or a removal names its cause and comes before any file of the game
// changes: what is not the game, lacks its data or holds a link among its assets, then the checks
// of the files' contents.
TEST(Operations, RefusalsComeBeforeTheGameChanges) {
    const std::string missing = "В morra.app отсутствуют ожидаемые игровые данные.";
    const fs::path bundles = "Contents/Resources/Data/StreamingAssets/AssetBundles/OSX";
    using Expected = std::function<std::string(const test::GameFixture&)>;
    const auto says = [](const std::string& text) { return Expected([text](auto&) { return text; }); };
    const std::vector<std::pair<std::function<void(const test::GameFixture&, const fs::path& payload)>, Expected>> cases = {
        {[](auto& g, auto&) { test::writeFile(g.app / "Contents/Info.plist", test::infoPlist("")); },
         says("Выбранный файл не является Morra Vellant для macOS.")},
        {[](auto& g, auto&) { fs::remove(g.asset(2)), fs::create_symlink(g.root.path() / "nowhere", g.asset(2)); }, says(missing)},
        {[&](auto& g, auto&) { fs::remove_all(g.app / bundles), test::writeFile(g.app / bundles, "x"); }, says(missing)},
        {[](auto& g, auto&) { fs::rename(g.asset(0), g.root.path() / "real"), fs::create_symlink(g.root.path() / "real", g.asset(0)); },
         [](auto& g) { return "Установщик не изменяет символические ссылки: " + shown(g, tools::assetPaths()[0]).string(); }},
        {[](auto& g, auto&) { test::writeFile(g.asset(3), "another build"); },
         says("Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
              "соответствовать совместимому профилю macOS\n57314208.\nsharedassets0.assets: " + test::digestOf("another build"))},
        {[](auto& g, auto&) { test::writeFile(g.root.path() / kStore / "level3", "truncated"); },
         says("Существующая резервная копия повреждена: level3")},
        {[](auto&, auto& payload) {  // a damaged payload file before a missing one
             test::writeFile(payload / "russianblind", "damaged");
             fs::remove(payload / "resources.assets.bsdiff");
         },
         says("Файлы перевода повреждены.")},
        {[](auto&, auto& payload) { fs::remove(payload / "level2-skill-cards.delta.bsdiff"); },
         says("В приложении отсутствуют файлы перевода.")},
        {[](auto& g, auto&) { test::writeFile(g.settings, "not json"); },
         [](auto& g) { return "Файл настроек игры повреждён (это не JSON, ошибка около байта 2): " + g.settings.string(); }},
        {[](auto& g, auto&) { fs::remove(g.asset(2)), ::mkfifo(g.asset(2).c_str(), 0644); },
         [](auto& g) { return kNotRegular + shown(g, tools::assetPaths()[2]).string(); }},
        {[](auto& g, auto&) { ::mkfifo(g.added(1).c_str(), 0644); },
         [](auto& g) { return kNotRegular + shown(g, tools::addedFilePaths()[1]).string(); }},
    };
    // Without a verified backup, with a changed asset and no backups, or with a pipe where an added
    // bundle belongs, the removal stops before anything is restored.
    const std::string noBackup = "Проверенная резервная копия не найдена: level3";
    const auto level3 = [](const test::GameFixture& g) { return g.root.path() / kStore / "level3"; };
    const std::vector<std::pair<std::function<void(const test::GameFixture&, const fs::path&)>, Expected>>
        removals = {
        {[&](auto& g, auto&) { fs::remove(level3(g)); }, says(noBackup)},
        {[&](auto& g, auto&) { test::writeFile(level3(g), fixture().original[2].substr(0, 100)); }, says(noBackup)},
        {[&](auto& g, auto&) { fs::remove(level3(g)), fs::create_symlink(g.root.path() / kStore / "level2", level3(g)); },
         says(noBackup)},
        // With the backups in place, an unknown asset is a game update (BuildsTest).
        {[](auto& g, auto&) { test::writeFile(g.asset(0), "changed by another program"), fs::remove_all(g.root.path() / kStore); },
         says("resources.assets изменён другой программой\nили обновлением Steam. Удаление остановлено.")},
        {[](auto& g, auto&) { fs::remove(g.added(2)), ::mkfifo(g.added(2).c_str(), 0644); },
         [](auto& g) { return kNotRegular + shown(g, tools::addedFilePaths()[2]).string(); }},
    };
    for (const bool removing : {false, true}) {
        for (const auto& [prepare, expected] : removing ? removals : cases) {
            test::GameFixture game(removing ? GameState::InstalledTranslated : GameState::Untouched, removing);
            test::TemporaryDirectory payload;
            tools::writePayload(fixture(), payload.path());
            const context::InstallContext engine(files::FileManager(), game::builtInBuilds(), payload.path());
            prepare(game, payload.path());
            const auto before = test::snapshot(game.app);
            const auto run = [&] {
                removing ? (void)operations::remove(engine, game.app) : (void)operations::install(engine, game.app, core::SkillCards::English);
            };
            EXPECT_EQ(test::failureWithin(30, run), expected(game));
            EXPECT_TRUE(test::snapshot(game.app) == before) << expected(game);
        }
    }
}

// An older form is rebuilt from its verified backup only; without one, the others are done first.
// A foreign added bundle is refused and kept, a replaceable one rebuilt.
TEST(Install, OlderFormsNeedTheirBackupAndForeignBundlesAreKept) {
    test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
    const fs::path backup = game.root.path() / kStore / "level2";
    const context::InstallContext engine = test::demoContext();
    for (const std::string& content : {std::string(), std::string("damaged")}) {
        if (content.empty()) fs::remove(backup);
        else test::writeFile(backup, content);
        EXPECT_EQ(test::failureOf([&] { operations::install(engine, game.app, core::SkillCards::Translated); }), "Для обновления не найдена проверенная резервная копия: level2");
        EXPECT_EQ(test::readFile(game.asset(0)), fixture().translatedCards[0]);
        EXPECT_EQ(test::readFile(game.asset(1)), fixture().earlierReleases[1].back());
    }
    test::writeFile(backup, fixture().original[1]);
    test::writeFile(game.added(2), fixture().addedReplaceable[2][1]);
    test::writeFile(game.added(3), "made by someone else");
    EXPECT_EQ(test::failureOf([&] { operations::install(engine, game.app, core::SkillCards::Translated); }),
              "Установочный файл уже существует и отличается: " + shown(game, tools::addedFilePaths()[3]).string());
    EXPECT_EQ(test::readFile(game.added(2)), fixture().addedExpected[2]);
    EXPECT_EQ(test::readFile(game.added(3)), "made by someone else");
    fs::remove(game.added(3));
    EXPECT_EQ(operations::install(engine, game.app, core::SkillCards::Translated), kCardsTranslated);
    expectInstalled(game, true);
}

// Removing an earlier release gives back every file byte for byte and keeps the backups (install
// then remove: BuildsTest); a second remove is the plain message and changes nothing. Added files
// that someone else made are listed in the table's order and kept.
TEST(Remove, GivesBackEveryFileByteForByteAndKeepsForeignBundles) {
    const context::InstallContext engine = test::demoContext();
    const auto untouched = test::snapshot(test::GameFixture().app);
    {
        test::GameFixture game(GameState::EarlierRelease, /*backups=*/true);
        test::writeFile(game.settings, test::kThirteen);
        const auto backups = test::snapshot(game.root.path() / kStore);
        EXPECT_EQ(operations::remove(engine, game.app), kRemoved + " Язык следующего запуска — English.");
        EXPECT_TRUE(test::snapshot(game.app) == untouched);
        EXPECT_TRUE(test::snapshot(game.root.path() / kStore) == backups) << "the backups stay as they were";
        EXPECT_TRUE(test::temporaries(game.root.path()).empty());
        EXPECT_EQ(operations::remove(engine, game.app), kRemoved);
        EXPECT_TRUE(test::snapshot(game.app) == untouched);
    }
    test::GameFixture game(GameState::InstalledTranslated, /*backups=*/true);
    test::writeFile(game.added(3), "hand-made dyslexic images");
    test::writeFile(game.added(1), "hand-made fonts");
    EXPECT_EQ(operations::remove(engine, game.app), "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:\n" +
                                           shown(game, tools::addedFilePaths()[1]).string() + "\n" +
                                           shown(game, tools::addedFilePaths()[3]).string());
    EXPECT_EQ(test::readFile(game.added(1)), "hand-made fonts");
    EXPECT_FALSE(fs::exists(game.added(0)) || fs::exists(game.added(2)));
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(test::readFile(game.asset(i)), fixture().original[i]);
}

std::string expectedReport(const test::GameFixture& game, const std::string& status) {
    // Appended in place: GCC 12 at -O3 misreads "literal" + std::string&& as an overlapping copy.
    std::string report = "Совместимый профиль macOS 57314208: ";
    report += status + "\n" + fs::canonical(game.app).string();
    for (std::size_t i = 0; i < 5; ++i) {
        report += "\n";
        report += fs::path(tools::assetPaths()[i]).filename().string() + ": " + test::digestOf(test::readFile(game.asset(i)));
    }
    return report;
}

// Each whole state has its status; mixed variants or an earlier form among current ones are an
// incomplete version; one unknown file (also a known digest of another entry) makes the build
// unsupported, its digest still printed. Nothing changes.
TEST(Inspect, EachStateHasItsStatusAndNothingChanges) {
    const context::InstallContext engine = test::demoContext();
    const std::string incomplete = "установлена предыдущая или неполная версия", unsupported = "неподдерживаемая или изменённая сборка";
    const std::tuple<GameState, std::string, core::InstallationState> states[] = {
        {GameState::Untouched, "перевод не установлен", core::InstallationState::NotInstalled},
        {GameState::InstalledTranslated, "перевод установлен, карточки навыков переведены", core::InstallationState::TranslatedCards},
        {GameState::InstalledEnglish, "перевод установлен, карточки навыков оставлены английскими", core::InstallationState::EnglishCards},
        {GameState::EarlierRelease, incomplete, core::InstallationState::EarlierOrIncomplete},
        {GameState::Interrupted, incomplete, core::InstallationState::EarlierOrIncomplete},
    };
    for (const auto& [state, status, installation] : states) {
        test::GameFixture game(state);
        const auto before = test::snapshot(game.root.path());
        EXPECT_EQ(operations::inspect(engine, game.app), expectedReport(game, status)) << status;
        EXPECT_EQ(operations::installationState(engine, game.app), installation) << status;
        EXPECT_TRUE(test::snapshot(game.root.path()) == before);
    }
    const std::tuple<GameState, std::size_t, std::string, std::string> mixed[] = {
        {GameState::InstalledTranslated, 1, fixture().englishCards[1], incomplete},
        {GameState::InstalledTranslated, 0, fixture().earlierReleases[0][0], incomplete},
        {GameState::InstalledTranslated, 4, "changed by something else", unsupported},
        {GameState::Untouched, 2, fixture().original[3], unsupported},
    };
    for (const auto& [state, asset, bytes, status] : mixed) {
        test::GameFixture game(state);
        test::writeFile(game.asset(asset), bytes);
        EXPECT_EQ(operations::inspect(engine, game.app), expectedReport(game, status)) << status;
    }
}

// An install while another installer holds only the game's folder, a remove while one holds only
// the backup store: refused at once, nothing changed, and done once the lock is gone. Two started
// together never leave a mixed game nor report a success that did not happen.
TEST(GameLock, ASecondOperationIsRefusedAndTwoTogetherNeverMixTheGame) {
    for (const std::string option : {"--install", "--remove"}) {
        const bool remove = option == "--remove";
        test::GameFixture game(remove ? GameState::InstalledTranslated : GameState::Untouched, /*backups=*/remove);
        fs::create_directories(game.support);
        const auto before = test::snapshot(game.root.path());
        {
            const std::optional<files::FileHandle> held = files::FileManager().tryLockExclusive(remove ? game.support : game.app);
            ASSERT_TRUE(held.has_value());
            EXPECT_EQ(test::runProcess({MORRA_PROGRAM, option, game.app.string()}),
                      (test::ProcessResult{1, "", kLocked})) << option;
            EXPECT_TRUE(test::snapshot(game.root.path()) == before) << option;
        }
        EXPECT_EQ(test::runProcess({MORRA_PROGRAM, option, game.app.string()}).status, 0)
            << option << " after the lock is gone";
    }
    for (int round = 0; round < 6; ++round) {
        test::GameFixture game(round % 3 == 1 ? GameState::InstalledTranslated : GameState::Untouched, /*backups=*/round % 3 == 1);
        test::ProcessResult results[2];
        std::thread runs[2];
        for (int i = 0; i < 2; ++i) {
            const char* option = (i + round) % 2 == 0 ? "--install" : "--remove";
            runs[i] = std::thread([&results, &game, i, option] {
                results[i] = test::runProcess({MORRA_PROGRAM, option, game.app.string()});
            });
        }
        for (std::thread& run : runs) run.join();
        const core::InstallationState state = operations::installationState(test::demoContext(), game.app);
        EXPECT_TRUE(state == core::InstallationState::NotInstalled || state == core::InstallationState::TranslatedCards) << round;
        for (int i = 0; i < 2; ++i) {
            const bool install = (i + round) % 2 == 0;
            const bool succeeded = results[i].status == 0;
            EXPECT_TRUE(succeeded || results[i].standardError == kLocked) << results[i].standardError;
            if (succeeded && results[1 - i].status != 0) {  // a lone success is what the game now shows
                EXPECT_EQ(state, install ? core::InstallationState::TranslatedCards : core::InstallationState::NotInstalled) << round;
            }
        }
        EXPECT_TRUE(test::temporaries(game.root.path()).empty());
    }
}

// The system's refusal to let the installer change the game's application (App Management on
// macOS, EPERM) and files of another account (EACCES): told as what they are on the first change
// inside the game, as the failed call on a system without App Management or after the game has
// begun to change; the game keeps only verified files.
const std::string kAllow =
    "\nОткройте «Системные настройки» → «Конфиденциальность и безопасность» → «Управление приложениями», разрешите "
    "там изменять приложения этому установщику или, если он запущен из терминала, программе терминала (например, "
    "«Терминал»), затем повторите попытку.";
const std::string kRights =
    "\nОткройте в Finder «Свойства» папки игры, в разделе «Общий доступ и права доступа» дайте своей учётной записи "
    "право «Чтение и запись» и примените его к вложенным объектам или запустите установщик из той учётной записи, "
    "которая установила игру, затем повторите попытку.";

// Refused by the fault hook: every new file inside the game, or only those in the fonts folder
// (after the lockit is in place); or for real, to an unprivileged user in a game that root owns.
enum class Refused { InsideGame, FontsFolder, Unprivileged };
using Kind = core::InstallerError::Kind;

struct Refusal {
    const char* name;
    bool install, appManagement;  // install, else remove from an installed game with backups
    Refused refused;
    int error;
    Kind told;  // General: as the failed call
};

// The refusal's text, with the kind of error thrown where it is seen (not across a process).
std::string refusalOf(const Refusal& c, const test::GameFixture& game, Kind& kind) {
    const fs::path folder = c.refused == Refused::FontsFolder ? game.added(1).parent_path() : game.app;
    const files::FaultHook hook = [&](files::FileOperation operation, const fs::path& path) {
        if (operation != files::FileOperation::Create && operation != files::FileOperation::Clone) return 0;
        const bool inside = path.string().rfind(folder.string() + "/", 0) == 0;
        return inside && c.refused != Refused::Unprivileged ? c.error : 0;
    };
    const api::InstallerEngine engine = api::InstallerEngineFactory::over(
        test::demoContext().withFileManager(files::FileManager(hook).withAppManagement(c.appManagement)));
    const auto run = [&] {
        try {
            c.install ? engine.install(game.app, core::SkillCards::Translated) : engine.remove(game.app);
        } catch (const core::InstallerError& error) {
            kind = error.kind();
            throw;
        }
    };
    if (c.refused != Refused::Unprivileged) return test::failureOf(run);
    // Everything but the game belongs to the user, who may read the game and nothing more.
    if (::chown(game.root.path().c_str(), 65534, 65534) != 0) return "chown failed";
    return test::failureWithin(60, [&] {
        // As root, setgid and setuid set the real, effective and saved ids alike.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            throw std::runtime_error("cannot become unprivileged");
        run();
    });
}

TEST(AppManagement, RefusalIsToldAndTheGameKeepsOnlyVerifiedFiles) {
    const Refusal refusals[] = {
        {"install refused", true, true, Refused::InsideGame, EPERM, Kind::AppManagement},
        {"install refused without App Management", true, false, Refused::InsideGame, EACCES, Kind::General},
        {"install refused after the lockit", true, true, Refused::FontsFolder, EACCES, Kind::General},
        {"remove refused", false, true, Refused::InsideGame, EPERM, Kind::AppManagement},
        {"remove refused in another account's game", false, true, Refused::InsideGame, EACCES, Kind::ForeignOwner},
        // Last: only root can become another user (as CI is), so elsewhere the test ends here.
        {"install refused to an unprivileged user", true, true, Refused::Unprivileged, EACCES, Kind::ForeignOwner},
    };
    for (const Refusal& c : refusals) {
        SCOPED_TRACE(c.name);
        if (c.refused == Refused::Unprivileged && ::geteuid() != 0)
            GTEST_SKIP() << "a real EACCES needs a game of another user: only root can become that user";
        test::GameFixture game(c.install ? GameState::Untouched : GameState::InstalledTranslated, !c.install);
        const auto before = test::snapshot(game.app);
        Kind kind = Kind::General;
        const std::string failure = refusalOf(c, game, kind);
        if (c.refused != Refused::Unprivileged) {
            EXPECT_EQ(kind, c.told);
        }

        const std::size_t index = c.refused == Refused::FontsFolder ? 1 : 0;  // the file the text names
        const fs::path named = c.install ? game.added(index) : game.asset(index);
        if (c.told == Kind::AppManagement) {
            EXPECT_EQ(failure, "Система не разрешила изменить файлы игры: " + named.string() + kAllow);
        } else if (c.told == Kind::ForeignOwner) {
            EXPECT_EQ(failure,
                      "Файлы игры принадлежат другой учётной записи, и у этой нет прав их изменить: " + named.string() + kRights);
        } else {
            // The failed call as it is told everywhere else: the game's file and the system's words.
            EXPECT_NE(failure.find(named.string()), std::string::npos) << failure;
            EXPECT_NE(failure.find(text::systemErrorText(c.error)), std::string::npos) << failure;
        }
        EXPECT_TRUE(test::temporaries(game.app).empty());
        auto after = test::snapshot(game.app);
        if (c.refused == Refused::FontsFolder) {
            // The lockit was put in place, verified, before the fonts folder refused.
            const std::string lockit = fs::relative(game.added(0), game.app).string();
            ASSERT_EQ(after.count(lockit), 1U);
            EXPECT_EQ(test::digestOf(after[lockit]), test::demoFixture().profile.addedFiles[0].expected);
            after.erase(lockit);
        }
        EXPECT_TRUE(after == before);
    }
}

// The report with one line feed added; a relative game path is taken from the working folder, and
// one in a working folder that is gone is an error, not a crash. A path may hold any bytes; what
// the program prints is always UTF-8, such bytes escaped.
TEST(CommandLine, InspectPrintsTheReportForARelativePathWithOneLineFeed) {
    test::GameFixture game(GameState::InstalledEnglish);
    EXPECT_EQ(test::runProcess({MORRA_PROGRAM, "--inspect", "morra.app"}, {}, game.root.path()),
              (test::ProcessResult{0, operations::inspect(test::demoContext(), game.app) + "\n", ""}));
    const test::ProcessResult gone = test::runProcess(
        {"/bin/sh", "-c", "mkdir gone && cd gone && rmdir ../gone && exec \"$0\" --inspect morra.app", MORRA_PROGRAM}, {},
        game.root.path());
    EXPECT_EQ(std::tie(gone.status, gone.standardOutput, gone.standardError.back()),
              std::make_tuple(1, "", '\n'));

    const fs::path app = game.root.path() / "Games\xff" / "morra.app";
    if (std::error_code error; fs::create_directories(app.parent_path(), error), error)
        GTEST_SKIP() << "this file system refuses names that are not UTF-8 (as APFS does): " << error.message();
    tools::writeGame(test::demoFixture(), app, GameState::Untouched);
    const std::string shown = game.root.path().string() + "/Games\\xFF/morra.app";
    EXPECT_EQ(test::runProcess({MORRA_PROGRAM, "--discover"}, {{"MORRA_LUMEN_INSTALLER_GAME", app.string()}})
                  .standardOutput, shown + "\n");
    const test::ProcessResult report = test::runProcess({MORRA_PROGRAM, "--inspect", app.string()});
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
    const test::ProcessResult piped =
        test::runProcess({MORRA_PROGRAM, "--install", test::GameFixture().app.string()});
    const test::ProcessResult onTerminal =
        test::runProcess({MORRA_PROGRAM, "--install", test::GameFixture().app.string()}, {}, {}, false, true);
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
    const test::ProcessResult refused =
        test::runProcess({MORRA_PROGRAM, "--remove", (root.path() / "other.app").string()}, {}, {}, false, true);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.standardError.find("Выбранный файл не является Morra Vellant для macOS."), std::string::npos);
}

// The system's descriptions of failed calls, which macOS gives only in English, reach the player
// in our Russian words, each cause its own; a cause we have no words for keeps the system's text
// and its number.
TEST(SystemErrorText, CommonCausesHaveRussianWordsAndOthersKeepTheSystemsTextWithTheirNumber) {
    const auto latin = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const auto cyrillic = [](char c) { return (c & 0xFC) == 0xD0; };  // lead bytes of U+0400 to U+04FF
    std::map<std::string, int> seen;
    for (int error : {EROFS,  ENOSPC, EDQUOT,    EACCES,       EPERM,   EIO,   ENOENT,  ENOTDIR,
                      EISDIR, EEXIST, ENOTEMPTY, ENAMETOOLONG, ELOOP,   EBUSY, ETXTBSY, EXDEV,
                      EMFILE, ENFILE, ENOMEM,    EINVAL,       ENOTSUP, EFBIG, ENXIO,   ETIMEDOUT}) {
        const std::string text = text::systemErrorText(error);
        EXPECT_TRUE(text::isValidUtf8(text)) << error;
        EXPECT_TRUE(std::any_of(text.begin(), text.end(), cyrillic)) << error << ": " << text;
        EXPECT_TRUE(std::none_of(text.begin(), text.end(), latin)) << error << ": " << text;
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
