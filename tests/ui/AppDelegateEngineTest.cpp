// The window driving the real engine on fixture games: what the user sees at the end of an
// install or a removal, and what is on disk afterwards.
#include <QCheckBox>
#include <QTest>

#include <mutex>

#include "InstallerError.h"
#include "LaunchedWindow.h"
#include "TestSupport.h"
#include "UiTestMain.h"

using morra::InstallationState;
using morra::InstallerEngine;
using morra::InstallerOperations;
using morra::Progress;
using morra::test::GameFixture;
using morra::test::LaunchedWindow;
using morra::test::ScopedEnvironment;
using morra::tools::Fixture;
namespace fs = std::filesystem;

namespace {

// The real engine's operations, the game search included.
InstallerOperations realEngine() {
    return InstallerOperations::forEngine(morra::InstallerEngine());
}

// The real engine's operations; the game found at launch is `found`.
InstallerOperations realEngine(std::optional<fs::path> found) {
    InstallerOperations operations = realEngine();
    operations.discoverGame = [found] { return found; };
    return operations;
}

// Every progress report of the real engine's operations, as the window receives them.
struct ProgressLog {
    std::mutex mutex;
    std::vector<Progress> reports;

    // The real engine's operations with their reports copied here on the way to the window.
    InstallerOperations around(InstallerOperations operations) {
        const auto copy = [this](const morra::ProgressCallback& to) {
            return [this, to](const Progress& progress) {
                {
                    std::lock_guard lock(mutex);
                    reports.push_back(progress);
                }
                to(progress);
            };
        };
        operations.install = [install = operations.install, copy](const fs::path& game, bool cards,
                                                                  const morra::ProgressCallback& progress) {
            return install(game, cards, copy(progress));
        };
        operations.remove = [remove = operations.remove, copy](const fs::path& game, const morra::ProgressCallback& progress) {
            return remove(game, copy(progress));
        };
        return operations;
    }
};

std::vector<std::string> assetDigests(const GameFixture& game) {
    std::vector<std::string> digests;
    for (std::size_t i = 0; i < Fixture::kAssets; ++i)
        digests.push_back(morra::test::digestOf(morra::test::readFile(game.asset(i))));
    return digests;
}

std::vector<std::string> digestsOf(const std::array<std::string, Fixture::kAssets>& forms) {
    std::vector<std::string> digests;
    for (const std::string& bytes : forms) digests.push_back(morra::test::digestOf(bytes));
    return digests;
}

}  // namespace

class AppDelegateEngineTest : public QObject {
    Q_OBJECT

private slots:
    void launchShowsTheGameThatTheSearchFinds() {
        GameFixture game;
        morra::test::TemporaryDirectory home;
        ScopedEnvironment homeOverride("HOME", home.path().string());
        // Found through a symbolic link: the window shows where the game really is.
        const fs::path link = home.path() / "link.app";
        fs::create_directory_symlink(game.app, link);
        ScopedEnvironment gameOverride("MORRA_LUMEN_INSTALLER_GAME", link.string());
        LaunchedWindow app(realEngine());
        const fs::path found = fs::canonical(game.app);
        QCOMPARE(app.delegate->gameBundle(), std::optional(found));
        QCOMPARE(app.path(), QString::fromStdString(found.string()));
        QVERIFY(app.window().installButton()->isEnabled());
    }

    // Install with the translated cards, again with the check box off (the English cards), then remove.
    void installAndRemoveThroughTheWindow() {
        GameFixture game;
        ProgressLog log;
        LaunchedWindow app(log.around(realEngine(game.app)));
        const auto finishesWith = [&app](QPushButton* button, const QString& message) {
            if (button == app.window().removeButton()) app.dialogs->pressButton(QStringLiteral("Удалить"));
            app.dialogs->pressButton(QStringLiteral("OK"));
            QVERIFY(app.runAndWait(button));
            QCOMPARE(app.dialogs->shown().back().text, QStringLiteral("Готово"));
            QCOMPARE(app.dialogs->shown().back().icon, QMessageBox::Information);
            QCOMPARE(app.dialogs->shown().back().informativeText, message);
            QCOMPARE(app.status(), message);
        };
        const QString installed = QStringLiteral(
            "Готово. Официальный русский не изменён.\n"
            "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n");

        finishesWith(app.window().installButton(),
                     installed + QStringLiteral("Названия навыков на карточках переведены."));
        QCOMPARE(assetDigests(game), digestsOf(morra::test::demoFixture().translatedCards));
        QCOMPARE(app.delegate->installationState(), std::optional(InstallationState::TranslatedCards));
        // The engine's progress: from the first check, the bytes done never go back and end at the total.
        {
            std::lock_guard lock(log.mutex);
            QVERIFY(!log.reports.empty());
            QCOMPARE(log.reports.front().step, Progress::Step::Checking);
            for (std::size_t i = 1; i < log.reports.size(); ++i) {
                QVERIFY(log.reports[i].done >= log.reports[i - 1].done);
                QCOMPARE(log.reports[i].total, log.reports[0].total);
            }
            QCOMPARE(log.reports.back().done, log.reports.back().total);
            QVERIFY(log.reports.back().total > 0);
            log.reports.clear();
        }
        for (std::size_t i = 0; i < Fixture::kAdded; ++i) QVERIFY(fs::exists(game.added(i)));

        app.window().skillCardsCheckbox()->setChecked(false);
        QCOMPARE(app.window().defaultAction(), app.window().installButton());
        finishesWith(app.window().installButton(),
                     installed + QStringLiteral("Карточки навыков возвращены к английскому варианту."));
        QCOMPARE(assetDigests(game), digestsOf(morra::test::demoFixture().englishCards));

        finishesWith(app.window().removeButton(), QStringLiteral("Перевод удалён. Файлы игры восстановлены."));
        QCOMPARE(assetDigests(game), digestsOf(morra::test::demoFixture().original));
        for (std::size_t i = 0; i < Fixture::kAdded; ++i) QVERIFY(!fs::exists(game.added(i)));
        QVERIFY(morra::test::temporaries(game.app).empty());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // Refusals of the engine's own checks reach the user unchanged, and nothing in the game changes.
    void refusalsEndInTheCriticalAlert_data() {
        QTest::addColumn<bool>("remove");
        QTest::newRow("install, not the game") << false;
        QTest::newRow("remove, asset changed") << true;
    }

    void refusalsEndInTheCriticalAlert() {
        QFETCH(bool, remove);
        const bool notTheGame = !remove;
        GameFixture game;
        fs::path bundle = game.app;
        if (notTheGame) {
            bundle = game.root.path() / "Other.app";
            fs::create_directories(bundle / "Contents");
        } else {
            morra::test::writeFile(game.asset(4), "changed by something else");
        }
        // What the engine itself says about this bundle (its refusals change nothing).
        QString expected;
        try {
            const InstallerEngine engine;
            remove ? engine.remove(bundle) : engine.install(bundle, true);
        } catch (const morra::InstallerError& error) {
            expected = QString::fromStdString(error.what());
        }
        QVERIFY(notTheGame ? !expected.isEmpty() : expected.contains(QStringLiteral("sharedassets1.assets")));
        const auto before = morra::test::snapshot(game.app);

        // The bundle is chosen by hand, as a user would point at it.
        LaunchedWindow app(realEngine(std::nullopt));
        app.dialogs->chooseFile(QString::fromStdString(bundle.string()));
        app.window().chooseButton()->click();
        QCOMPARE(app.delegate->gameBundle(), std::optional(bundle));
        QVERIFY(app.waitForCheck());
        if (notTheGame) QCOMPARE(app.status(), expected);
        if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(remove ? app.window().removeButton() : app.window().installButton()));

        QCOMPARE(app.dialogs->shown().back().text, QStringLiteral("Установка остановлена"));
        QCOMPARE(app.dialogs->shown().back().icon, QMessageBox::Critical);
        QCOMPARE(app.dialogs->shown().back().informativeText, expected);
        QCOMPARE(app.status(), expected);
        QVERIFY(app.window().installButton()->isEnabled());
        // Found out before the click as well: the window said the same when the bundle was chosen.
        QCOMPARE(app.delegate->installationState(),
                 notTheGame ? std::nullopt : std::optional(InstallationState::Unsupported));
        QCOMPARE(morra::test::snapshot(game.app), before);
        QCOMPARE(app.dialogs->unexpected(), 0);
    }
};

MORRA_UI_TEST_MAIN(AppDelegateEngineTest)
#include "AppDelegateEngineTest.moc"
