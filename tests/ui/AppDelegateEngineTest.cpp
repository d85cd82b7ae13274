// The window driving the real engine on a fixture game: an install and a removal, what the user
// sees at their end and what is on disk afterwards; a game another installer works on.
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

    void installAndRemoveThroughTheWindow() {
        GameFixture game;
        morra::test::LaunchedWindow app(std::make_shared<const FoundAt>(game.app));
        const auto finishesWith = [&app](QPushButton* button, const QString& message) {
            if (button == app.window().removeButton()) app.dialogs->pressButton(QStringLiteral("Удалить"));
            app.dialogs->pressButton(QStringLiteral("OK"));
            QVERIFY(app.runAndWait(button));
            QCOMPARE(app.dialogs->shown().back().icon, QMessageBox::Information);
            QCOMPARE(app.dialogs->shown().back().informativeText, message);
            QCOMPARE(app.status(), message);
        };
        const auto assetsAre = [&game](const std::array<std::string, morra::tools::Fixture::kAssets>& forms) {
            for (std::size_t i = 0; i < forms.size(); ++i)
                if (morra::test::readFile(game.asset(i)) != forms[i]) return false;
            return true;
        };
        finishesWith(app.window().installButton(),
                     QStringLiteral("Готово. Официальный русский не изменён.\n"
                                    "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n"
                                    "Названия навыков на карточках переведены."));
        QVERIFY(assetsAre(morra::test::demoFixture().translatedCards));
        QCOMPARE(app.delegate->installationState(), std::optional(morra::InstallationState::TranslatedCards));

        finishesWith(app.window().removeButton(), QStringLiteral("Перевод удалён. Файлы игры восстановлены."));
        QVERIFY(assetsAre(morra::test::demoFixture().original));
        for (std::size_t i = 0; i < morra::tools::Fixture::kAdded; ++i) QVERIFY(!fs::exists(game.added(i)));
        QVERIFY(morra::test::temporaries(game.app).empty());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }
};

MORRA_UI_TEST_MAIN(AppDelegateEngineTest)
#include "AppDelegateEngineTest.moc"
