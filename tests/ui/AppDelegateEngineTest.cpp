// The window driving the real engine on a fixture game that another installer works on.
#include "LaunchedWindow.h"
#include "TestSupport.h"
#include "operations/GameLock.h"

namespace fs = std::filesystem;
using morra::test::GameFixture;

// The program's engine, finding the game at `app`.
struct FoundAt final : morra::InstallerEngine {
    explicit FoundAt(fs::path app) : app(std::move(app)) {}
    fs::path app;
    std::optional<fs::path> discoverGame() const override { return app; }
};

class AppDelegateEngineTest : public QObject {
    Q_OBJECT

private slots:
    // While another installer holds the game or only the backups, the window says so, offers
    // nothing, and shows the game's state by itself once the lock is gone.
    void anotherInstallerHoldsTheGame_data() {
        QTest::addColumn<bool>("heldOnGame");
        QTest::newRow("game") << true;
        QTest::newRow("backups only") << false;
    }

    void anotherInstallerHoldsTheGame() {
        QFETCH(bool, heldOnGame);
        GameFixture game;
        std::optional<morra::GameLock> whole;
        std::optional<morra::FileHandle> storeOnly;
        if (heldOnGame) {
            whole.emplace(morra::FileManager(), game.app, game.support);
        } else {
            fs::create_directories(game.support);
            storeOnly = morra::FileManager().tryLockExclusive(game.support);
        }
        morra::test::LaunchedWindow app(std::make_shared<const FoundAt>(game.app));
        QCOMPARE(app.status(), morra::AppDelegate::kHeldElsewhere);
        QVERIFY(!app.window().installButton()->isEnabled() && !app.window().removeButton()->isEnabled());
        QCOMPARE(app.window().defaultAction(), nullptr);
        QTest::qWait(morra::AppDelegate::kHeldPollMilliseconds + 500);  // looked at again, still held
        QCOMPARE(app.status(), morra::AppDelegate::kHeldElsewhere);

        whole.reset();
        storeOnly.reset();
        QTRY_COMPARE_WITH_TIMEOUT(app.status(), morra::AppDelegate::stateText(morra::InstallationState::NotInstalled), 20000);
        QVERIFY(app.window().installButton()->isEnabled() && app.window().removeButton()->isEnabled());
        QCOMPARE(app.window().defaultAction(), app.window().installButton());
    }
};

MORRA_UI_TEST_MAIN(AppDelegateEngineTest)
#include "AppDelegateEngineTest.moc"
