// The system's refusal to let the installer change the game's application (App Management on
// macOS, EPERM) and files of another account (EACCES): told as what they are on the first change
// inside the game, as the failed call it is on a system without App Management or after the game
// has begun to change; the game keeps only verified files.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "InstallerEngine.h"
#include "InstallerEngineFactory.h"
#include "InstallerError.h"
#include "TestSupport.h"
#include "text/SystemErrorText.h"

namespace morra {
namespace {

namespace fs = std::filesystem;
using tools::GameState;

const std::string kAllow =
    "\nОткройте «Системные настройки» → «Конфиденциальность и безопасность» → «Управление приложениями», разрешите "
    "там изменять приложения этому установщику или, если он запущен из терминала, программе терминала (например, "
    "«Терминал»), затем повторите попытку.";
const std::string kRights =
    "\nОткройте в Finder «Свойства» папки игры, в разделе «Общий доступ и права доступа» дайте своей учётной записи "
    "право «Чтение и запись» и примените его к вложенным объектам или запустите установщик из той учётной записи, "
    "которая установила игру, затем повторите попытку.";

enum class Refused {
    InsideGame,    // every new file inside the game, by the fault hook
    FontsFolder,   // only new files in the fonts folder, after the lockit is in place
    Unprivileged,  // a real EACCES: an unprivileged user in a game that root owns
};

struct Case {
    const char* name;
    bool install;  // else remove, from an installed game with backups
    bool appManagement;
    Refused refused;
    int error;
    std::size_t named;  // the added file (install) or asset (remove) that the text names
    InstallerError::Kind told;  // General: as the failed call
};

using Kind = InstallerError::Kind;
const Case kCases[] = {
    {"install refused", true, true, Refused::InsideGame, EPERM, 0, Kind::AppManagement},
    {"install refused without App Management", true, false, Refused::InsideGame, EACCES, 0, Kind::General},
    {"install refused after the lockit", true, true, Refused::FontsFolder, EACCES, 1, Kind::General},
    {"install refused to an unprivileged user", true, true, Refused::Unprivileged, EACCES, 0, Kind::ForeignOwner},
    {"remove refused", false, true, Refused::InsideGame, EPERM, 0, Kind::AppManagement},
    {"remove refused in another account's game", false, true, Refused::InsideGame, EACCES, 0, Kind::ForeignOwner},
};

class AppManagementTest : public testing::TestWithParam<Case> {};

TEST_P(AppManagementTest, RefusalIsToldAndTheGameKeepsOnlyVerifiedFiles) {
    const Case& c = GetParam();
    if (c.refused == Refused::Unprivileged && ::geteuid() != 0)
        GTEST_SKIP() << "a real EACCES needs a game that another user owns: only root can become that user (as CI is)";
    test::GameFixture game(c.install ? GameState::Untouched : GameState::InstalledTranslated, !c.install);
    const fs::path fonts = game.added(1).parent_path();
    FaultHook hook = [&](FileOperation operation, const fs::path& path) {
        if (operation != FileOperation::Create && operation != FileOperation::Clone) return 0;
        const fs::path folder = c.refused == Refused::FontsFolder ? fonts : game.app;
        const bool inside = path.string().rfind(folder.string() + "/", 0) == 0;
        return inside && c.refused != Refused::Unprivileged ? c.error : 0;
    };
    const InstallerEngine engine = InstallerEngineFactory::over(
        test::demoContext().withFileManager(FileManager(hook).withAppManagement(c.appManagement)));
    const auto before = test::snapshot(game.app);

    std::string failure;
    InstallerError::Kind kind = InstallerError::Kind::General;
    const auto run = [&] {
        try {
            c.install ? engine.install(game.app, SkillCards::Translated) : engine.remove(game.app);
        } catch (const InstallerError& error) {
            kind = error.kind();
            throw;
        }
    };
    if (c.refused == Refused::Unprivileged) {
        // Everything but the game belongs to the user, who may read the game and nothing more.
        ASSERT_EQ(::chown(game.root.path().c_str(), 65534, 65534), 0);
        failure = test::failureWithin(60, [&] {
            // As root, setgid and setuid set the real, effective and saved ids alike.
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                throw std::runtime_error("cannot become unprivileged");
            run();
        });
    } else {
        failure = test::failureOf(run);
        EXPECT_EQ(kind, c.told);
    }

    const fs::path named = c.install ? game.added(c.named) : game.asset(c.named);
    if (c.told == Kind::AppManagement) {
        EXPECT_EQ(failure, "Система не разрешила изменить файлы игры: " + named.string() + kAllow);
    } else if (c.told == Kind::ForeignOwner) {
        EXPECT_EQ(failure,
                  "Файлы игры принадлежат другой учётной записи, и у этой нет прав их изменить: " + named.string() + kRights);
    } else {
        // The failed call as it is told everywhere else: the game's file and the system's words.
        EXPECT_NE(failure.find(named.string()), std::string::npos) << failure;
        EXPECT_NE(failure.find(systemErrorText(c.error)), std::string::npos) << failure;
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

INSTANTIATE_TEST_SUITE_P(Cases, AppManagementTest, testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});

}  // namespace
}  // namespace morra
