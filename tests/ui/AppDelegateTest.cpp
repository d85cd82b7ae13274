// The window's behaviour around a stand-in engine: the state found before any click, the busy
// window during an operation, its alert, keys, closing, and the bundle chosen or dropped.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>

#include <future>
#include <mutex>
#include <system_error>
#include <thread>

#include "InstallerError.h"
#include "LaunchedWindow.h"

using morra::AppDelegate;
using morra::InstallationState;
using morra::Progress;
using morra::ProgressCallback;
namespace fs = std::filesystem;

namespace {

// Stands in for the engine: records each call ("check <game>", "install <game> cards", "remove
// <game>") and answers with a chosen state and outcome; a test may hold a check at `checkGate`.
struct FakeEngine final : morra::InstallerEngine {
    FakeEngine(std::optional<fs::path> game = std::nullopt) : InstallerEngine(nullptr), game(std::move(game)) {}

    std::optional<fs::path> game;
    std::function<InstallationState()> state = [] { return InstallationState::NotInstalled; };
    std::function<std::string(const ProgressCallback&)> outcome = [](const ProgressCallback&) { return std::string("Сделано."); };
    std::shared_future<void> checkGate;
    mutable std::mutex mutex;
    mutable QStringList calls;

    QStringList recorded(const QString& kind) const {
        std::lock_guard lock(mutex);
        return calls.filter(QRegularExpression(QLatin1Char('^') + kind));
    }
    void record(const QString& call, const fs::path& at) const {
        std::lock_guard lock(mutex);
        calls << call.arg(QString::fromStdString(at.string()));
    }

    std::optional<fs::path> discoverGame() const override { return game; }
    bool heldByAnotherInstaller(const fs::path&) const override { return false; }
    InstallationState installationState(const fs::path& at) const override {
        record(QStringLiteral("check %1"), at);
        if (checkGate.valid()) checkGate.wait();
        return state();
    }
    std::string install(const fs::path& at, morra::SkillCards cards, const ProgressCallback& progress) const override {
        record(cards == morra::SkillCards::Translated ? QStringLiteral("install %1 cards") : QStringLiteral("install %1"), at);
        return outcome(progress);
    }
    std::string remove(const fs::path& at, const ProgressCallback& progress) const override {
        record(QStringLiteral("remove %1"), at);
        return outcome(progress);
    }
};

struct Launched : morra::test::LaunchedWindow {
    std::shared_ptr<FakeEngine> engine;
    explicit Launched(std::optional<fs::path> game, std::shared_ptr<FakeEngine> e = std::make_shared<FakeEngine>(),
                      bool untilChecked = true, morra::SystemFacts system = {})
        : LaunchedWindow((e->game = std::move(game), e), untilChecked, std::move(system)), engine(std::move(e)) {}
};

// Enabled state of install, remove, choose and the check box, then the button Return presses.
QString controls(const morra::MainWindow& window) {
    QString state;
    for (QWidget* control : QWidgetList{window.installButton(), window.removeButton(), window.chooseButton(),
                                        window.skillCardsCheckbox()})
        state += control->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    const QPushButton* action = window.defaultAction();
    return state + (action == window.installButton() ? " install" : action == window.chooseButton() ? " choose"
                                                                  : action ? " other" : " none");
}

// An operation that reports "patch 2 of 5" at 40 % and then waits for `release`.
std::function<std::string(const ProgressCallback&)> heldOperation(std::shared_future<void> release,
                                                                  std::function<std::string()> end) {
    return [release, end](const ProgressCallback& progress) {
        progress(Progress{Progress::Step::Patching, 2, 5, 400, 1000});
        release.wait();
        progress(Progress{Progress::Step::Verifying, 0, 0, 1000, 1000});
        return end();
    };
}

}  // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    fs::path game_;

    fs::path makeBundle(const QString& name) { return morra::test::makeFolder(root_.filePath(name)).toStdString(); }

private slots:
    void initTestCase() { game_ = makeBundle(QStringLiteral("Steam/morra.app")); }

    // The state is found out in the background before any click and decides the status, the
    // controls, the check box and the default action; changing the check box makes install the default.
    void launchStates_data() {
        QTest::addColumn<int>("state");  // -1: no game found; 5: the bundle is refused; 6: not installed, macOS
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("idle");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("afterToggle");
        const auto text = [](int state) { return AppDelegate::stateText(static_cast<InstallationState>(state)); };
        QTest::newRow("no game") << -1 << QStringLiteral("Укажите morra.app вручную") << "0011 choose" << true << "0011 choose";
        QTest::newRow("not installed") << 0 << text(0) << "1111 install" << true << "1111 install";
        QTest::newRow("translated cards") << 1 << text(1) << "1111 none" << true << "1111 install";
        QTest::newRow("english cards") << 2 << text(2) << "1111 none" << false << "1111 install";
        QTest::newRow("earlier release") << 3 << text(3) << "1111 install" << true << "1111 install";
        QTest::newRow("unsupported") << 4 << text(4) << "1111 none" << true << "1111 none";
        QTest::newRow("not the game") << 5 << QStringLiteral("Выбранный файл не является Morra Vellant для macOS.")
                                      << "0011 none" << true << "0011 none";
        QTest::newRow("not installed, macOS") << 6 << text(0) + QLatin1Char(' ') + AppDelegate::kLaunchGameFirst
                                              << "1111 install" << true << "1111 install";
    }

    void launchStates() {
        QFETCH(int, state);
        QFETCH(QString, status);
        QFETCH(QString, idle);
        QFETCH(bool, checked);
        QFETCH(QString, afterToggle);
        auto engine = std::make_shared<FakeEngine>();
        engine->state = [state, status] {
            if (state == 5) throw morra::InstallerError(status.toStdString());
            return static_cast<InstallationState>(state % 6);
        };
        std::promise<void> checkRelease;
        engine->checkGate = checkRelease.get_future().share();
        morra::SystemFacts system;
        system.gameCheckedAtFirstLaunch = state == 6;
        Launched app(state >= 0 ? std::optional(game_) : std::nullopt, engine, false, system);
        QVERIFY(app.window().isVisible());
        if (state >= 0) {
            // While the check runs off the main thread, nothing can be installed or removed.
            QTRY_COMPARE(engine->recorded(QStringLiteral("check")), QStringList{QStringLiteral("check ") + app.path()});
            QCOMPARE(app.status(), QStringLiteral("Игра найдена. Проверяю её файлы…"));
            QCOMPARE(controls(app.window()), QStringLiteral("0011 none"));
        } else {
            QCOMPARE(app.path(), QStringLiteral("Morra Vellant не найдена автоматически"));
        }
        checkRelease.set_value();
        QVERIFY(app.waitForCheck());
        QCOMPARE(app.status(), status);
        QCOMPARE(controls(app.window()), idle);
        QCOMPARE(app.window().skillCardsCheckbox()->isChecked(), checked);
        QVERIFY(!app.window().progressShown());
        app.window().skillCardsCheckbox()->click();
        QCOMPARE(controls(app.window()), afterToggle);
        if (state < 0) {
            app.delegate->installPressed();
            app.delegate->removePressed();
            QVERIFY(app.dialogs->shown().empty() && engine->calls.isEmpty());
        }
    }

    // Install and remove, succeeding or failing with the program's own check or a platform error:
    // the progress shows, nothing else can start, and the alert comes once the window is idle.
    // A refusal of an unsupported game shows what to do instead of its digest, which goes to the
    // details; a removal that left changed files behind is a warning, not a plain success.
    void operationShowsProgressAndEndsInItsAlert_data() {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<int>("failure");  // 0 none, 1 own check, 2 platform error, 3 unsupported game, 4 files left
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        const QString done = QStringLiteral("Готово"), installStopped = QStringLiteral("Установка остановлена"),
                      removalStopped = QStringLiteral("Удаление остановлено");
        const int information = QMessageBox::Information, critical = QMessageBox::Critical;
        QTest::newRow("install") << false << 0 << done << information;
        QTest::newRow("install, own check") << false << 1 << installStopped << critical;
        QTest::newRow("install, unsupported game") << false << 3 << installStopped << critical;
        QTest::newRow("remove") << true << 0 << done << information;
        QTest::newRow("remove, platform error") << true << 2 << removalStopped << critical;
        QTest::newRow("remove, files left") << true << 4 << QStringLiteral("Перевод удалён не полностью")
                                            << int(QMessageBox::Warning);
    }

    void operationShowsProgressAndEndsInItsAlert() {
        QFETCH(bool, remove);
        QFETCH(int, failure);
        QFETCH(QString, title);
        QFETCH(int, icon);
        Launched app(game_);
        std::promise<void> release;
        const std::string ownText = "Выбранная папка не похожа на Morra Vellant для macOS.";
        const std::system_error fileError(std::make_error_code(std::errc::permission_denied), "/Игры/morra.app/level2");
        const std::string refusal = "Эта версия игры не поддерживается.\nМагазин значения не имеет.\nlevel2: " +
                                    std::string(64, 'a');
        const std::string filesLeft = std::string(morra::kChangedFilesLeft) + "\n/Игры/morra.app/fonts/russianblind";
        app.engine->outcome = heldOperation(release.get_future().share(), [=]() -> std::string {
            if (failure == 1) throw morra::InstallerError(ownText);
            if (failure == 2) throw fileError;
            if (failure == 3) throw morra::InstallerError(refusal, morra::InstallerError::Kind::UnsupportedGame);
            return failure == 4 ? filesLeft : "Сделано.";
        });
        const QStringList results = {QStringLiteral("Сделано."), QString::fromStdString(ownText), QString::fromUtf8(fileError.what()),
                                     QStringLiteral("Эта версия игры не поддерживается.\nМагазин значения не имеет.\n\n") +
                                         AppDelegate::kUnsupportedAdvice,
                                     QString::fromStdString(filesLeft)};
        const QString result = results.at(failure);
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
        QString whenAlertShown;
        app.dialogs->expect([&](QDialog& dialog) {
            whenAlertShown = controls(app.window()) + app.status();
            dialog.accept();
        });
        QTest::mouseClick(remove ? app.window().removeButton() : app.window().installButton(), Qt::LeftButton);

        const QString busyStatus = remove ? QStringLiteral("Восстанавливаю оригинал…") : QStringLiteral("Устанавливаю…");
        QCOMPARE(app.status(), busyStatus);
        QCOMPARE(controls(app.window()), QStringLiteral("0000 none"));
        QTRY_COMPARE(app.window().progressLabel()->text(), QStringLiteral("Патч 2 из 5… 40\u00a0%"));
        QCOMPARE(app.window().progressBar()->value(), app.window().progressBar()->maximum() * 2 / 5);
        QVERIFY(app.window().progressShown());
        const std::size_t dialogsBefore = app.dialogs->shown().size();
        QTest::keyClick(&app.window(), Qt::Key_Return);
        app.delegate->installPressed();
        app.delegate->removePressed();
        app.delegate->choosePressed();
        QCOMPARE(app.dialogs->shown().size(), dialogsBefore);

        release.set_value();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(app.waitForCheck());
        const QString game = QString::fromStdString(game_.string());
        QCOMPARE(app.engine->recorded(remove ? QStringLiteral("remove") : QStringLiteral("install")),
                 QStringList{remove ? QStringLiteral("remove ") + game : QStringLiteral("install ") + game + " cards"});
        // The state is found out again afterwards, without replacing the result.
        QCOMPARE(app.engine->recorded(QStringLiteral("check")).size(), 2);
        const auto& shown = app.dialogs->shown();
        QCOMPARE(shown.size(), std::size_t(remove ? 2 : 1));
        if (remove) {
            QCOMPARE(shown[0].text, QStringLiteral("Удалить Русский (Lumen)?"));
            QCOMPARE(shown[0].defaultButton + shown[0].escapeButton, QStringLiteral("УдалитьОтмена"));
        }
        QVERIFY(shown.back().onMainThread);
        QCOMPARE(shown.back().text, title);
        QCOMPARE(shown.back().icon, QMessageBox::Icon(icon));
        QCOMPARE(shown.back().informativeText, result);
        QCOMPARE(shown.back().detailedText, failure == 3 ? QString::fromStdString(refusal) : QString());
        QCOMPARE(whenAlertShown, QStringLiteral("1111 none") + result);
        QCOMPARE(app.status(), result);
        QVERIFY(!app.window().progressShown());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // A result of forty lines on a long path: the lines show what fits, the whole texts are in the
    // scrollable details, the alert's details and the path's description; the window keeps its size.
    void longTextsStayInsideTheWindow() {
        QString nested = QStringLiteral("Library/Application Support/Steam/steamapps/common");
        for (int i = 0; i < 6; ++i) nested += QStringLiteral("/Папка с длинным именем %1").arg(i);
        const fs::path game = makeBundle(nested + QStringLiteral("/morra.app"));
        Launched app(game);
        QVERIFY(QTest::qWaitForWindowExposed(&app.window()));
        QStringList lines = {QStringLiteral("Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:")};
        for (int i = 1; i < 40; ++i) lines << QString::fromStdString(game.string()) + QStringLiteral("/bundle-%1").arg(i);
        const QString message = lines.join(QLatin1Char('\n'));
        app.engine->outcome = [message](const ProgressCallback&) { return message.toStdString(); };

        morra::MainWindow& window = app.window();
        const QSize sizeBefore = window.size();
        // The path is cut only between folders, and the bundle's name stays whole.
        const QStringList folders = QString::fromStdString(game.string()).split(QLatin1Char('/'));
        QVERIFY(window.pathLabel()->text().endsWith(QStringLiteral("/morra.app")));
        for (const QString& part : window.pathLabel()->text().split(QLatin1Char('/')))
            QVERIFY2(part == QStringLiteral("\u2026") || folders.contains(part), qPrintable(part));
        QCOMPARE(window.pathLabel()->accessibleDescription(), QString::fromStdString(game.string()));
        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(window.installButton()));

        QCOMPARE(app.status(), message);
        // The line says that files were left: the list's introduction, not only the sentence before it.
        QVERIFY(window.statusLabel()->text().simplified().endsWith(QStringLiteral("Неизвестные изменённые файлы оставлены:")));
        QCOMPARE(window.detailsView()->toPlainText(), message);
        QVERIFY(window.detailsShown() && window.detailsView()->verticalScrollBar()->maximum() > 0);
        QCOMPARE(window.size(), sizeBefore);
        for (morra::FittedLabel* label : {window.pathLabel(), window.statusLabel()}) {
            QVERIFY(!label->showsAll());
            const QFontMetrics metrics(label->font());
            const QStringList shown = label->text().split(QLatin1Char('\n'));
            QVERIFY(label->contentsRect().height() >= metrics.lineSpacing() * shown.size());
            for (const QString& line : shown) QVERIFY(metrics.horizontalAdvance(line) <= label->contentsRect().width());
        }
        const morra::test::ShownDialog& alert = app.dialogs->shown().back();
        QCOMPARE(alert.detailedText, message);
        QVERIFY(alert.informativeText.size() < message.size() / 10);
    }

    // Closing while work runs keeps the window open, saying so, and closes it when the work is
    // done: after an operation, once its result has been shown.
    void closingWaitsForTheWork_data() {
        QTest::addColumn<bool>("operation");
        QTest::newRow("during an operation") << true;
        QTest::newRow("during the check") << false;
    }

    void closingWaitsForTheWork() {
        QFETCH(bool, operation);
        auto engine = std::make_shared<FakeEngine>();
        std::promise<void> release;
        const std::shared_future<void> released = release.get_future().share();
        if (!operation) engine->checkGate = released;
        engine->outcome = heldOperation(released, [] { return std::string("Готово."); });
        Launched app(game_, engine, operation);
        if (operation) app.window().installButton()->click();
        QTRY_COMPARE(engine->recorded(operation ? QStringLiteral("install") : QStringLiteral("check")).size(), 1);
        QVERIFY(!app.window().close());
        QVERIFY(app.window().isVisible());
        QVERIFY(app.status().contains(QStringLiteral("окно закроется")));
        if (operation) app.dialogs->pressButton(QStringLiteral("OK"));
        release.set_value();
        QTRY_VERIFY(!app.window().isVisible());
        QCOMPARE(app.dialogs->shown().size(), std::size_t(operation ? 1 : 0));
        if (operation) QCOMPARE(app.dialogs->shown().back().informativeText, QStringLiteral("Готово."));
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // Return and the keypad's Enter press the focused button, or else the default action; never an
    // install from the remove button, whose confirmation always comes first. After an operation
    // they press the default action.
    void keys_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("state");  // -1: no game
        QTest::addColumn<QString>("outcome");
        const int enter = Qt::Key_Enter, ret = Qt::Key_Return;
        QTest::newRow("no focus, Return") << "none" << ret << 0 << "install";
        QTest::newRow("no focus, keypad Enter") << "none" << enter << 0 << "install";
        QTest::newRow("remove, Return") << "remove" << ret << 0 << "confirmation";
        QTest::newRow("choose, Return") << "choose" << ret << 0 << "chooser";
        QTest::newRow("check box, Return") << "checkbox" << ret << 0 << "install";
        QTest::newRow("installed, no focus") << "none" << ret << 1 << "nothing";
        QTest::newRow("no game, Return") << "none" << ret << -1 << "chooser";
    }

    void keys() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, state);
        QFETCH(QString, outcome);
        auto engine = std::make_shared<FakeEngine>();
        engine->state = [state] { return static_cast<InstallationState>(state); };
        Launched app(state >= 0 ? std::optional(game_) : std::nullopt, engine);
        morra::MainWindow& window = app.window();
        const QHash<QString, QWidget*> targets = {{"install", window.installButton()}, {"remove", window.removeButton()},
                                                  {"choose", window.chooseButton()}, {"checkbox", window.skillCardsCheckbox()}};
        QWidget* target = targets.value(focus, &window);
        if (QWidget* focused = window.focusWidget()) focused->clearFocus();
        if (target != &window) target->setFocus();
        const bool checked = window.skillCardsCheckbox()->isChecked();
        // The result alert takes the activation, as a modal alert does, and gives it back on OK.
        if (outcome == "install") app.dialogs->expect([&window](QDialog& dialog) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            dialog.accept();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
        });
        if (outcome == "confirmation") app.dialogs->pressButton(QStringLiteral("Отмена"));
        if (outcome == "chooser") app.dialogs->reject();
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        QTest::keyClick(target, static_cast<Qt::Key>(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        if (outcome == "install") {
            QTRY_COMPARE(finished.count(), 1);
            QVERIFY(app.waitForCheck());
            // Afterwards Return does what the window shows, wherever the focus was: install again.
            app.dialogs->pressButton(QStringLiteral("OK"));
            QWidget* focused = window.focusWidget();
            QTest::keyClick(focused ? focused : &window, Qt::Key_Return);
            QTRY_COMPARE(finished.count(), 2);
        }
        QTest::qWait(20);

        QCOMPARE(engine->recorded(QStringLiteral("install")).size(), outcome == "install" ? 2 : 0);
        QCOMPARE(engine->recorded(QStringLiteral("remove")).size(), 0);
        QCOMPARE(window.skillCardsCheckbox()->isChecked(), checked);
        const auto& shown = app.dialogs->shown();
        QCOMPARE(shown.size(), std::size_t(outcome == "nothing" ? 0 : outcome == "install" ? 2 : 1));
        if (outcome == "confirmation") QCOMPARE(shown[0].text, QStringLiteral("Удалить Русский (Lumen)?"));
        if (outcome == "chooser") QVERIFY(shown[0].chooser);
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // A bundle chosen, and then one dropped, becomes the game and is checked; the next install runs on it.
    void choosingOrDroppingABundleMakesItTheGame() {
        Launched app(std::nullopt);
        const fs::path chosen = makeBundle(QStringLiteral("GOG/Morra Vellant.APP")), dropped = makeBundle(QStringLiteral("Dropped/morra.app"));
        app.dialogs->chooseFile(QString::fromStdString(chosen.string()));
        app.window().chooseButton()->click();
        QVERIFY(app.dialogs->shown().at(0).chooser);
        for (const fs::path& game : {chosen, dropped}) {
            if (game == dropped) QVERIFY(morra::test::dropOn(app.window(), {QString::fromStdString(game.string())}));
            QVERIFY(app.waitForCheck());
            QCOMPARE(app.delegate->gameBundle(), std::optional(game));
            QCOMPARE(app.path(), QString::fromStdString(game.string()));
            QCOMPARE(controls(app.window()), QStringLiteral("1111 install"));
        }
        QCOMPARE(app.engine->recorded(QStringLiteral("check")).size(), 2);
        app.window().skillCardsCheckbox()->click();
        app.dialogs->pressButton(QStringLiteral("OK"));
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        QTest::keyClick(&app.window(), Qt::Key_Return);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(app.engine->recorded(QStringLiteral("install")), QStringList{QStringLiteral("install ") + QString::fromStdString(dropped.string())});
    }

    // A path that is not UTF-8 shows its stray bytes written out; the game is the path as it is.
    void pathWithStrayBytes() {
        const fs::path game = fs::path(root_.path().toStdString()) / "Games\xff" / "morra.app";
        if (std::error_code error; fs::create_directories(game, error), error)
            QSKIP("this file system refuses names that are not UTF-8 (as APFS does)");
        Launched app(game);
        QVERIFY(app.path().endsWith(QStringLiteral("/Games\\xFF/morra.app")));
        QCOMPARE(app.delegate->gameBundle(), std::optional(game));
        fs::remove_all(game.parent_path());  // Qt's temporary folder cannot name it
    }
};

MORRA_UI_TEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
