// The window driving the real engine on fixture games: what the user sees at the end of an
// install or a removal, and what is on disk afterwards.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "AppDelegate.h"
#include "InstallerEngine.h"
#include "InstallerError.h"
#include "ScriptedDialogs.h"
#include "TestSupport.h"

using morra::AppDelegate;
using morra::InstallerEngine;
using morra::InstallerOperations;
using morra::test::GameFixture;
using morra::test::ScriptedDialogs;
using morra::test::ShownDialog;
using morra::tools::GameState;
namespace fs = std::filesystem;

namespace {

const QString kInstalledTranslated = QStringLiteral(
    "Готово. Официальный русский не изменён.\n"
    "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n"
    "Названия навыков на карточках переведены.");
const QString kInstalledEnglish = QStringLiteral(
    "Готово. Официальный русский не изменён.\n"
    "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n"
    "Карточки навыков возвращены к английскому варианту.");
const QString kRemoved = QStringLiteral("Перевод удалён. Файлы игры восстановлены.");

struct Window {
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> delegate;

    // The real engine's operations, the game search included.
    Window() { launch(InstallerOperations::forEngine(std::make_shared<const InstallerEngine>())); }

    // The real engine's operations; the game found at launch is `found`.
    explicit Window(std::optional<fs::path> found) {
        InstallerOperations operations = InstallerOperations::forEngine(std::make_shared<const InstallerEngine>());
        operations.discoverGame = [found] { return found; };
        launch(std::move(operations));
    }

    void launch(InstallerOperations operations) {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        delegate = std::make_unique<AppDelegate>(std::move(operations), std::move(scripted));
        delegate->applicationDidFinishLaunching();
    }

    morra::MainWindow& window() const { return *delegate->window(); }
    QString status() const { return window().statusLabel()->text(); }

    // Presses a button and waits for the operation it starts to finish.
    bool runAndWait(QPushButton* button) {
        QSignalSpy finished(delegate.get(), &AppDelegate::operationFinished);
        button->click();
        return finished.wait(60000) || finished.count() == 1;
    }
};

std::vector<std::string> assetDigests(const GameFixture& game) {
    std::vector<std::string> digests;
    for (std::size_t i = 0; i < morra::tools::Fixture::kAssets; ++i)
        digests.push_back(morra::test::digestOf(morra::test::readFile(game.asset(i))));
    return digests;
}

std::vector<std::string> digestsOf(const std::array<std::string, morra::tools::Fixture::kAssets>& forms) {
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
        morra::test::ScopedEnvironment homeOverride("HOME", home.path().string());
        // Found through a symbolic link: the window shows where the game really is.
        const fs::path link = home.path() / "link.app";
        fs::create_directory_symlink(game.app, link);
        morra::test::ScopedEnvironment gameOverride("MORRA_LUMEN_INSTALLER_GAME", link.string());
        Window app;
        const fs::path found = fs::canonical(game.app);
        QCOMPARE(app.delegate->gameURL(), std::optional(found));
        QCOMPARE(app.window().pathLabel()->text(), QString::fromStdString(found.string()));
        QCOMPARE(app.status(), QStringLiteral("Игра найдена. Совместимость проверится при установке."));
        QVERIFY(app.window().installButton()->isEnabled());
        QVERIFY(app.window().removeButton()->isEnabled());
    }

    void launchWithoutAGameAsksForIt() {
        morra::test::TemporaryDirectory home;
        morra::test::ScopedEnvironment homeOverride("HOME", home.path().string());
        morra::test::ScopedEnvironment gameOverride("MORRA_LUMEN_INSTALLER_GAME", std::nullopt);
        Window app;
        QCOMPARE(app.delegate->gameURL(), std::nullopt);
        QCOMPARE(app.window().pathLabel()->text(), QStringLiteral("Morra Vellant не найдена автоматически"));
        QCOMPARE(app.status(), QStringLiteral("Укажите morra.app вручную"));
        QVERIFY(!app.window().installButton()->isEnabled());
        QVERIFY(!app.window().removeButton()->isEnabled());
        QVERIFY(app.window().chooseButton()->isEnabled());
    }

    void installAndRemoveThroughTheWindow() {
        GameFixture game;
        Window app(game.app);

        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(app.window().installButton()));
        QCOMPARE(app.dialogs->shown().back().text, QStringLiteral("Готово"));
        QCOMPARE(app.dialogs->shown().back().icon, QMessageBox::Information);
        QCOMPARE(app.dialogs->shown().back().informativeText, kInstalledTranslated);
        QCOMPARE(app.status(), kInstalledTranslated);
        QCOMPARE(assetDigests(game), digestsOf(morra::test::demoFixture().translatedCards));
        for (std::size_t i = 0; i < morra::tools::Fixture::kAdded; ++i) QVERIFY(fs::exists(game.added(i)));

        app.dialogs->pressButton(QStringLiteral("Удалить"));
        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(app.window().removeButton()));
        QCOMPARE(app.dialogs->shown().back().text, QStringLiteral("Готово"));
        QCOMPARE(app.dialogs->shown().back().informativeText, kRemoved);
        QCOMPARE(app.status(), kRemoved);
        QCOMPARE(assetDigests(game), digestsOf(morra::test::demoFixture().original));
        for (std::size_t i = 0; i < morra::tools::Fixture::kAdded; ++i) QVERIFY(!fs::exists(game.added(i)));
        QVERIFY(morra::test::temporaries(game.app).empty());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    void checkboxOffInstallsTheEnglishCards() {
        GameFixture game(GameState::InstalledTranslated, true);
        Window app(game.app);
        app.window().skillCardsCheckbox()->setChecked(false);
        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(app.window().installButton()));
        QCOMPARE(app.dialogs->shown().back().informativeText, kInstalledEnglish);
        QCOMPARE(assetDigests(game), digestsOf(morra::test::demoFixture().englishCards));
    }

    // Refusals of the engine's own checks reach the user unchanged, and nothing in the game changes.
    void refusalsEndInTheCriticalAlert_data() {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<bool>("notTheGame");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("install, not the game") << false << true << QString();
        QTest::newRow("remove, not the game") << true << true << QString();
        QTest::newRow("install, asset changed") << false << false << QStringLiteral("sharedassets1.assets");
        QTest::newRow("remove, asset changed") << true << false << QStringLiteral("sharedassets1.assets");
    }

    void refusalsEndInTheCriticalAlert() {
        QFETCH(bool, remove);
        QFETCH(bool, notTheGame);
        QFETCH(QString, mentions);
        GameFixture game;
        fs::path bundle = game.app;
        if (notTheGame) {
            bundle = game.root.path() / "Other.app";
            fs::create_directories(bundle / "Contents");
        } else {
            morra::test::writeFile(game.asset(4), "changed by something else");
        }
        // What the engine itself says about this bundle (its refusals change nothing).
        std::string expected;
        try {
            const InstallerEngine engine;
            remove ? engine.remove(bundle) : engine.install(bundle, true);
        } catch (const morra::InstallerError& error) {
            expected = error.what();
        }
        QVERIFY(!expected.empty());
        QVERIFY(QString::fromStdString(expected).contains(mentions));
        const auto before = morra::test::snapshot(game.app);

        // The bundle is chosen by hand, as a user would point at it.
        Window app(std::nullopt);
        app.dialogs->chooseFile(QString::fromStdString(bundle.string()));
        app.window().chooseButton()->click();
        QCOMPARE(app.delegate->gameURL(), std::optional(bundle));
        if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(remove ? app.window().removeButton() : app.window().installButton()));

        const ShownDialog& alert = app.dialogs->shown().back();
        QCOMPARE(alert.text, QStringLiteral("Установка остановлена"));
        QCOMPARE(alert.icon, QMessageBox::Critical);
        QCOMPARE(alert.informativeText, QString::fromStdString(expected));
        QCOMPARE(app.status(), QString::fromStdString(expected));
        QVERIFY(app.window().installButton()->isEnabled());
        QCOMPARE(morra::test::snapshot(game.app), before);
        QCOMPARE(app.dialogs->unexpected(), 0);
    }
};

QTEST_MAIN(AppDelegateEngineTest)
#include "AppDelegateEngineTest.moc"
