#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <future>
#include <mutex>
#include <system_error>
#include <thread>

#include "InstallerError.h"
#include "LaunchedWindow.h"
#include "UiTestMain.h"

using morra::AppDelegate;
using morra::InstallationState;
using morra::Progress;
using morra::ProgressCallback;
using morra::test::ShownDialog;
namespace fs = std::filesystem;

namespace {

const QString kChecking = QStringLiteral("Игра найдена. Проверяю её файлы…");
const QString kNotTheGame = QStringLiteral("Выбранный файл не является Morra Vellant для macOS.");

// Stands in for the engine: records every call ("check <game>", "install <game> cards",
// "remove <game>", marked "on main thread" if it ran there) and answers with a chosen state and
// outcome; a test holds a check or an operation inside these functions.
struct FakeEngine {
    std::function<InstallationState()> state = [] { return InstallationState::NotInstalled; };
    std::function<std::string(const ProgressCallback&)> outcome = [](const ProgressCallback&) {
        return std::string("Сделано.");
    };
    std::shared_future<void> checkGate;
    std::mutex mutex;
    QStringList calls;
    bool discoveredOnMainThread = false;

    // The calls whose text starts with `kind`.
    QStringList recorded(const QString& kind) {
        std::lock_guard lock(mutex);
        QStringList matching;
        for (const QString& call : calls)
            if (call.startsWith(kind)) matching << call;
        return matching;
    }
};

morra::InstallerOperations operationsFor(const std::shared_ptr<FakeEngine>& engine, std::optional<fs::path> game) {
    const std::thread::id mainThread = std::this_thread::get_id();
    auto record = [engine, mainThread](QString call) {
        if (std::this_thread::get_id() == mainThread) call += QStringLiteral(" on main thread");
        std::lock_guard lock(engine->mutex);
        engine->calls << call;
    };
    const auto text = [](const fs::path& path) { return QString::fromStdString(path.string()); };
    morra::InstallerOperations operations;
    operations.discoverGame = [engine, mainThread, game] {
        engine->discoveredOnMainThread = std::this_thread::get_id() == mainThread;
        return game;
    };
    operations.installationState = [engine, record, text](const fs::path& at) {
        record(QStringLiteral("check ") + text(at));
        if (engine->checkGate.valid()) engine->checkGate.wait();
        return engine->state();
    };
    operations.install = [engine, record, text](const fs::path& at, bool cards, const ProgressCallback& progress) {
        record(QStringLiteral("install ") + text(at) + (cards ? QStringLiteral(" cards") : QString()));
        return engine->outcome(progress);
    };
    operations.remove = [engine, record, text](const fs::path& at, const ProgressCallback& progress) {
        record(QStringLiteral("remove ") + text(at));
        return engine->outcome(progress);
    };
    return operations;
}

struct Launched : morra::test::LaunchedWindow {
    std::shared_ptr<FakeEngine> engine;
    explicit Launched(std::optional<fs::path> game, std::shared_ptr<FakeEngine> e = std::make_shared<FakeEngine>(),
                      bool untilChecked = true)
        : LaunchedWindow(operationsFor(e, std::move(game)), untilChecked), engine(std::move(e)) {}
};

// Enabled state of install, remove, choose and the check box.
QString controls(const morra::MainWindow& window) {
    QString state;
    for (QWidget* control : QWidgetList{window.installButton(), window.removeButton(), window.chooseButton(),
                                        window.skillCardsCheckbox()})
        state += control->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return state;
}

// The button that Return presses with no button focused: "install", "choose" or "none".
QString defaultAction(const morra::MainWindow& window) {
    if (window.defaultAction() == window.installButton()) return QStringLiteral("install");
    if (window.defaultAction() == window.chooseButton()) return QStringLiteral("choose");
    return window.defaultAction() == nullptr ? QStringLiteral("none") : QStringLiteral("other");
}

const QString kAllEnabled = QStringLiteral("1111");
const QString kAllDisabled = QStringLiteral("0000");
const QString kNoGame = QStringLiteral("0011");

// An operation that reports "patch 2 of 5" at 40 % and then waits for `release`.
std::function<std::string(const ProgressCallback&)> heldOperation(std::shared_future<void> release,
                                                                  std::function<std::string()> end) {
    return [release, end](const ProgressCallback& progress) {
        progress(Progress{Progress::Step::Checking, 0, 0, 0, 1000});
        progress(Progress{Progress::Step::Patching, 2, 5, 400, 1000});
        release.wait();
        progress(Progress{Progress::Step::Verifying, 0, 0, 1000, 1000});
        return end();
    };
}

}  // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    fs::path game_;

    fs::path makeBundle(const QString& name) {
        return fs::path(morra::test::makeFolder(root_.filePath(name)).toStdString());
    }

private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        game_ = makeBundle(QStringLiteral("Steam/morra.app"));
    }

    // The game's state is found out in the background and decides the status and the default
    // action; the check box shows the installed variant, and changing it makes install the default.
    void launchStates_data() {
        QTest::addColumn<int>("state");  // -1: no game found; 5: the bundle is refused
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("idle");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("actionAfterToggle");
        const auto text = [](InstallationState state) { return AppDelegate::stateText(state); };
        QTest::newRow("no game") << -1 << QStringLiteral("Укажите morra.app вручную") << kNoGame << "choose" << true << "choose";
        QTest::newRow("not installed") << 0 << text(InstallationState::NotInstalled) << kAllEnabled << "install" << true << "install";
        QTest::newRow("translated cards") << 1 << text(InstallationState::TranslatedCards) << kAllEnabled << "none" << true << "install";
        QTest::newRow("english cards") << 2 << text(InstallationState::EnglishCards) << kAllEnabled << "none" << false << "install";
        QTest::newRow("earlier release") << 3 << text(InstallationState::EarlierOrIncomplete) << kAllEnabled << "install" << true << "install";
        QTest::newRow("unsupported") << 4 << text(InstallationState::Unsupported) << kAllEnabled << "none" << true << "none";
        QTest::newRow("not the game") << 5 << kNotTheGame << kAllEnabled << "none" << true << "none";
    }

    void launchStates() {
        QFETCH(int, state);
        QFETCH(QString, status);
        QFETCH(QString, idle);
        QFETCH(QString, action);
        QFETCH(bool, checked);
        QFETCH(QString, actionAfterToggle);
        const bool found = state >= 0;
        auto engine = std::make_shared<FakeEngine>();
        engine->state = [state] {
            if (state == 5) throw morra::InstallerError("Выбранный файл не является Morra Vellant для macOS.");
            return static_cast<InstallationState>(state);
        };
        std::promise<void> checkRelease;
        engine->checkGate = checkRelease.get_future().share();
        Launched app(found ? std::optional(game_) : std::nullopt, engine, false);
        QVERIFY(engine->discoveredOnMainThread);
        QVERIFY(app.window().isVisible());
        QCOMPARE(app.path(), found ? QString::fromStdString(game_.string()) : QStringLiteral("Morra Vellant не найдена автоматически"));

        if (found) {
            // While the check runs off the main thread, nothing can be installed or removed.
            QTRY_COMPARE(engine->recorded(QStringLiteral("check")), QStringList{QStringLiteral("check ") + app.path()});
            QCOMPARE(app.status(), kChecking);
            QCOMPARE(controls(app.window()), kNoGame);
            QCOMPARE(defaultAction(app.window()), QStringLiteral("none"));
        }
        checkRelease.set_value();
        QVERIFY(app.waitForCheck());
        QCOMPARE(app.status(), status);
        QVERIFY(app.window().statusLabel()->showsAll());
        QVERIFY(!app.window().detailsShown());
        QCOMPARE(controls(app.window()), idle);
        QCOMPARE(defaultAction(app.window()), action);
        QCOMPARE(app.window().skillCardsCheckbox()->isChecked(), checked);
        QVERIFY(!app.window().progressShown());

        app.window().skillCardsCheckbox()->click();
        QCOMPARE(defaultAction(app.window()), actionAfterToggle);

        // Pressing a disabled operation by hand does nothing either.
        if (!found) {
            app.delegate->installPressed();
            app.delegate->removePressed();
            QVERIFY(app.dialogs->shown().empty());
            QVERIFY(engine->recorded(QString()).isEmpty());
        }
    }

    // Install and remove, succeeding or failing with the program's own check or a platform error.
    void operationShowsProgressAndEndsInItsAlert_data() {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<int>("failure");  // 0 none, 1 own check, 2 platform error
        for (bool remove : {false, true}) {
            const char* operation = remove ? "remove" : "install";
            QTest::addRow("%s", operation) << remove << 0;
            QTest::addRow("%s, own check", operation) << remove << 1;
            QTest::addRow("%s, file error", operation) << remove << 2;
        }
    }

    void operationShowsProgressAndEndsInItsAlert() {
        QFETCH(bool, remove);
        QFETCH(int, failure);
        Launched app(game_);
        std::promise<void> release;
        const std::string ownText = "Выбранная папка не похожа на Morra Vellant для macOS.";
        const std::system_error fileError(std::make_error_code(std::errc::permission_denied),
                                          "/Игры/morra.app/Contents/Resources/Data/level2");
        app.engine->outcome = heldOperation(release.get_future().share(), [failure, ownText, fileError]() -> std::string {
            if (failure == 1) throw morra::InstallerError(ownText);
            if (failure == 2) throw fileError;
            return "Сделано.";
        });
        const QString result = QString::fromUtf8(failure == 0 ? "Сделано." : failure == 1 ? ownText.c_str()
                                                                                             : fileError.what());
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);

        if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
        QString whenAlertShown;
        app.dialogs->expect([&](QDialog& dialog) {
            whenAlertShown = controls(app.window()) + app.status();
            dialog.accept();
        });
        QTest::mouseClick(remove ? app.window().removeButton() : app.window().installButton(), Qt::LeftButton);

        // While the operation runs, its progress shows and nothing can start another one.
        const QString busyStatus = remove ? QStringLiteral("Восстанавливаю оригинал…") : QStringLiteral("Устанавливаю…");
        QCOMPARE(app.status(), busyStatus);
        QCOMPARE(controls(app.window()), kAllDisabled);
        QCOMPARE(defaultAction(app.window()), QStringLiteral("none"));
        QTRY_COMPARE(app.window().progressLabel()->text(), QStringLiteral("Патч 2 из 5… 40\u00a0%"));
        QCOMPARE(app.window().progressBar()->value(), app.window().progressBar()->maximum() * 2 / 5);
        QVERIFY(app.window().progressShown());
        const std::size_t dialogsBefore = app.dialogs->shown().size();
        QTest::mouseClick(app.window().installButton(), Qt::LeftButton);
        QTest::keyClick(&app.window(), Qt::Key_Return);
        app.delegate->installPressed();
        app.delegate->removePressed();
        app.delegate->choosePressed();
        QCOMPARE(app.status(), busyStatus);
        QCOMPARE(app.dialogs->shown().size(), dialogsBefore);

        release.set_value();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(app.waitForCheck());
        const QString game = QString::fromStdString(game_.string());
        QCOMPARE(app.engine->recorded(remove ? QStringLiteral("remove") : QStringLiteral("install")),
                 QStringList{remove ? QStringLiteral("remove ") + game : QStringLiteral("install ") + game + " cards"});
        // The game's state is found out again afterwards, without replacing the result.
        QCOMPARE(app.engine->recorded(QStringLiteral("check")).size(), 2);

        const auto& shown = app.dialogs->shown();
        QCOMPARE(shown.size(), std::size_t(remove ? 2 : 1));
        if (remove) {
            // Return confirms, Escape cancels.
            QCOMPARE(shown[0].text, QStringLiteral("Удалить Русский (Lumen)?"));
            QCOMPARE(shown[0].defaultButton, QStringLiteral("Удалить"));
            QCOMPARE(shown[0].escapeButton, QStringLiteral("Отмена"));
        }
        const ShownDialog& alert = shown.back();
        QVERIFY(alert.onMainThread);
        QCOMPARE(alert.text, failure ? QStringLiteral("Установка остановлена") : QStringLiteral("Готово"));
        QCOMPARE(alert.icon, failure ? QMessageBox::Critical : QMessageBox::Information);
        QCOMPARE(alert.informativeText, result);
        // The window is already idle, showing the result, when the alert comes up.
        QCOMPARE(whenAlertShown, kAllEnabled + result);
        QCOMPARE(app.status(), result);
        QCOMPARE(controls(app.window()), kAllEnabled);
        QVERIFY(!app.window().progressShown());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // A result of forty lines on a game with a long path: the status line sums the result up and
    // the path line cuts the path, the whole texts are in the scrollable details, the alert's
    // details and the path's description, and nothing in the window moves or leaves it, whatever
    // the fonts.
    void longTextsStayInsideTheWindow() {
        QString nested = QStringLiteral("Library/Application Support/Steam/steamapps/common");
        for (int i = 0; i < 6; ++i) nested += QStringLiteral("/Папка с длинным именем %1").arg(i);
        const fs::path game = makeBundle(nested + QStringLiteral("/morra.app"));
        Launched app(game);
        QVERIFY(QTest::qWaitForWindowExposed(&app.window()));
        QStringList lines = {QStringLiteral("Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:")};
        for (int i = 1; i < 40; ++i) lines << QString::fromStdString(game.string()) + QStringLiteral("/bundle-%1").arg(i);
        const QString message = lines.join(QLatin1Char('\n'));
        std::promise<void> release;
        app.engine->outcome = heldOperation(release.get_future().share(), [message] { return message.toStdString(); });

        morra::MainWindow& window = app.window();
        const QWidgetList watched = {window.headingLabel(),       window.descriptionLabel(), window.pathLabel(),
                                     window.chooseButton(),       window.statusLabel(),      window.detailsView()->parentWidget(),
                                     window.skillCardsCheckbox(), window.installButton(),    window.removeButton()};
        const auto places = [&] {
            QList<QRect> rects;
            for (QWidget* widget : watched) rects << QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
            return rects;
        };
        const QList<QRect> before = places();
        const QSize sizeBefore = window.size();
        QVERIFY(!window.pathLabel()->showsAll());
        QVERIFY(!window.pathLabel()->text().contains(QLatin1Char('\n')));
        QVERIFY(window.pathLabel()->text().endsWith(QStringLiteral("/morra.app")));
        QCOMPARE(window.pathLabel()->accessibleDescription(), QString::fromStdString(game.string()));

        app.dialogs->pressButton(QStringLiteral("OK"));
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        window.installButton()->click();
        QTRY_VERIFY(window.progressBar()->value() > 0);
        QCOMPARE(places(), before);
        release.set_value();
        QTRY_COMPARE(finished.count(), 1);

        QCOMPARE(app.status(), message);
        QVERIFY(!window.statusLabel()->showsAll());
        QVERIFY(window.statusLabel()->text().startsWith(QStringLiteral("Реестр языка восстановлен.")));
        QVERIFY(window.detailsShown());
        QCOMPARE(window.detailsView()->toPlainText(), message);
        QVERIFY(window.detailsView()->verticalScrollBar()->maximum() > 0);
        QCOMPARE(window.size(), sizeBefore);
        QCOMPARE(places(), before);
        for (int i = 0; i < watched.size(); ++i) {
            QVERIFY(window.rect().contains(before[i]));
            if (i > 0) QVERIFY(before[i].top() >= before[i - 1].top());
        }
        // Every line shown fits its label.
        for (auto* label : {window.pathLabel(), window.statusLabel()}) {
            const QFontMetrics metrics(label->font());
            const QStringList shown = label->text().split(QLatin1Char('\n'));
            QVERIFY(label->contentsRect().height() >= metrics.lineSpacing() * shown.size());
            for (const QString& line : shown) QVERIFY(metrics.horizontalAdvance(line) <= label->contentsRect().width());
        }

        const ShownDialog& alert = app.dialogs->shown().back();
        QCOMPARE(alert.detailedText, message);
        QVERIFY(alert.informativeText.startsWith(QStringLiteral("Реестр языка восстановлен.")));
        QVERIFY(alert.informativeText.size() < message.size() / 10);
    }

    // Result alerts are as wide as a sentence of theirs, a word that cannot be broken, and the
    // window's title.
    void alertsAreWideEnough_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("widest");
        QTest::addColumn<int>("lines");
        const QString sentence = QStringLiteral("Другая операция с этой игрой ещё идёт. Дождитесь её окончания.");
        const QString digest = QStringLiteral("b198be44836ee1622ec2d52f40fc077c5c8178dbd554069d3d8cc7bf27f0a1c2");
        QTest::newRow("sentence") << sentence << sentence << 1;
        QTest::newRow("digest") << QStringLiteral("Эта версия игры не поддерживается.\nsharedassets1.assets: ") + digest
                                << digest << 3;
    }

    void alertsAreWideEnough() {
        QFETCH(QString, message);
        QFETCH(QString, widest);
        QFETCH(int, lines);
        Launched app(game_);
        app.engine->outcome = [message](const ProgressCallback&) -> std::string {
            throw morra::InstallerError(message.toStdString());
        };
        int labelWidth = 0, textWidth = 0, labelHeight = 0, lineHeight = 0, alertWidth = 0, titleWidth = 0;
        app.dialogs->expect([&](QDialog& dialog) {
            dialog.show();
            if (!QTest::qWaitForWindowExposed(&dialog)) return dialog.reject();
            auto* label = dialog.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
            if (label == nullptr) return dialog.reject();
            const QFontMetrics metrics(label->font());
            labelWidth = label->width();
            textWidth = metrics.horizontalAdvance(widest);
            labelHeight = label->contentsRect().height();
            lineHeight = metrics.lineSpacing();
            alertWidth = dialog.width();
            titleWidth = metrics.horizontalAdvance(dialog.windowTitle());
            dialog.accept();
        });
        QVERIFY(app.runAndWait(app.window().installButton()));
        QVERIFY(labelWidth >= textWidth);
        QVERIFY(labelHeight < (lines + 1) * lineHeight);
        QVERIFY(alertWidth > titleWidth);
    }

    // Closing the window while work runs keeps it open, saying so, and closes it when the work is
    // done: after an operation once its result has been shown.
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

    // Return and the keypad's Enter press the focused button, or the default action; never an
    // install from the remove button, whose confirmation always comes first.
    void keys_data() {
        QTest::addColumn<QString>("focus");  // none, install, remove, choose, checkbox
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("game");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("outcome");  // install, confirmation, chooser, nothing
        const int enter = Qt::Key_Enter, ret = Qt::Key_Return, notInstalled = 0, installed = 1;
        QTest::newRow("no focus, Return") << "none" << ret << true << notInstalled << "install";
        QTest::newRow("no focus, keypad Enter") << "none" << enter << true << notInstalled << "install";
        QTest::newRow("install, keypad Enter") << "install" << enter << true << notInstalled << "install";
        QTest::newRow("remove, Return") << "remove" << ret << true << notInstalled << "confirmation";
        QTest::newRow("remove, keypad Enter") << "remove" << enter << true << notInstalled << "confirmation";
        QTest::newRow("choose, Return") << "choose" << ret << true << notInstalled << "chooser";
        QTest::newRow("check box, Return") << "checkbox" << ret << true << notInstalled << "install";
        QTest::newRow("installed, no focus") << "none" << ret << true << installed << "nothing";
        QTest::newRow("no game, Return") << "none" << ret << false << notInstalled << "chooser";
    }

    void keys() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, game);
        QFETCH(int, state);
        QFETCH(QString, outcome);
        auto engine = std::make_shared<FakeEngine>();
        engine->state = [state] { return static_cast<InstallationState>(state); };
        Launched app(game ? std::optional(game_) : std::nullopt, engine);
        morra::MainWindow& window = app.window();
        const QHash<QString, QWidget*> targets = {{"install", window.installButton()},
                                                  {"remove", window.removeButton()},
                                                  {"choose", window.chooseButton()},
                                                  {"checkbox", window.skillCardsCheckbox()}};
        QWidget* target = targets.value(focus, &window);
        if (QWidget* focused = window.focusWidget()) focused->clearFocus();
        if (target != &window) target->setFocus();
        const bool checked = window.skillCardsCheckbox()->isChecked();

        if (outcome == "install") app.dialogs->pressButton(QStringLiteral("OK"));
        if (outcome == "confirmation") app.dialogs->pressButton(QStringLiteral("Отмена"));
        if (outcome == "chooser") app.dialogs->reject();
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        const Qt::KeyboardModifiers modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
        if (outcome == "install") QTRY_COMPARE(finished.count(), 1);
        QTest::qWait(20);

        QCOMPARE(engine->recorded(QStringLiteral("install")).size(), outcome == "install" ? 1 : 0);
        QCOMPARE(engine->recorded(QStringLiteral("remove")).size(), 0);
        QCOMPARE(window.skillCardsCheckbox()->isChecked(), checked);
        const auto& shown = app.dialogs->shown();
        QCOMPARE(shown.size(), std::size_t(outcome == "nothing" ? 0 : 1));
        if (outcome == "confirmation") QCOMPARE(shown[0].text, QStringLiteral("Удалить Русский (Lumen)?"));
        if (outcome == "chooser") QCOMPARE(shown[0].kind, ShownDialog::Kind::Chooser);
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // A path that is not UTF-8 shows its stray bytes written out, and the game is still the path as it is.
    void pathWithStrayBytes() {
        const fs::path game = fs::path(root_.path().toStdString()) / "Games\xff" / "morra.app";
        fs::create_directories(game);
        Launched app(game);
        QVERIFY(app.path().endsWith(QStringLiteral("/Games\\xFF/morra.app")));
        QCOMPARE(app.engine->recorded(QStringLiteral("check")).size(), 1);
        QCOMPARE(app.delegate->gameBundle(), std::optional(game));
        // Qt's temporary folder cannot name it to remove it.
        fs::remove_all(game.parent_path());
    }

    // A bundle chosen in the chooser or dropped on the window becomes the game and is checked.
    void choosingOrDroppingABundleMakesItTheGame_data() {
        QTest::addColumn<bool>("drop");
        QTest::newRow("chooser") << false;
        QTest::newRow("drop") << true;
    }

    void choosingOrDroppingABundleMakesItTheGame() {
        QFETCH(bool, drop);
        Launched app(std::nullopt);
        const fs::path chosen = makeBundle(drop ? QStringLiteral("Dropped/morra.app")
                                                : QStringLiteral("GOG Games/Morra Vellant.APP"));
        const QString chosenText = QString::fromStdString(chosen.string());
        if (drop) {
            QVERIFY(morra::test::dropOn(app.window(), {chosenText}));
        } else {
            app.dialogs->chooseFile(chosenText);
            app.window().chooseButton()->click();
            QCOMPARE(app.dialogs->shown().at(0).kind, ShownDialog::Kind::Chooser);
        }
        QVERIFY(app.waitForCheck());
        QCOMPARE(app.delegate->gameBundle(), std::optional(chosen));
        QCOMPARE(app.path(), chosenText);
        QCOMPARE(app.engine->recorded(QStringLiteral("check")), QStringList{QStringLiteral("check ") + chosenText});
        QCOMPARE(app.status(), AppDelegate::stateText(InstallationState::NotInstalled));
        QCOMPARE(controls(app.window()), kAllEnabled);

        // The next install runs on it, with the check box as it is at the press (here by Return).
        app.window().skillCardsCheckbox()->click();
        app.dialogs->pressButton(QStringLiteral("OK"));
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        QTest::keyClick(&app.window(), Qt::Key_Return);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(app.engine->recorded(QStringLiteral("install")), QStringList{QStringLiteral("install ") + chosenText});
    }
};

MORRA_UI_TEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
