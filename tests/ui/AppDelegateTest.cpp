#include <QApplication>
#include <QCheckBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

#include "InstallerError.h"
#include "LaunchedWindow.h"

using morra::AppDelegate;
using morra::test::ShownDialog;
namespace fs = std::filesystem;

namespace {

const QString kFoundStatus = QStringLiteral("Игра найдена. Совместимость проверится при установке.");

// Stands in for the engine: records every call ("install <game> cards", "remove <game>", marked
// "on main thread" if it ran there), answers with a chosen outcome, and can hold an operation
// until the test lets it go.
struct FakeEngine {
    std::function<std::string()> outcome = [] { return std::string("Сделано."); };
    std::shared_future<void> gate;
    std::mutex mutex;
    QStringList calls;
    bool discoveredOnMainThread = false;

    QStringList recorded() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

morra::InstallerOperations operationsFor(const std::shared_ptr<FakeEngine>& engine,
                                         std::optional<fs::path> game) {
    const std::thread::id mainThread = std::this_thread::get_id();
    auto run = [engine, mainThread](QString call) {
        if (std::this_thread::get_id() == mainThread) call += QStringLiteral(" on main thread");
        {
            std::lock_guard lock(engine->mutex);
            engine->calls << call;
        }
        if (engine->gate.valid()) engine->gate.wait();
        return engine->outcome();
    };
    const auto text = [](const fs::path& path) { return QString::fromStdString(path.string()); };
    return {[engine, mainThread, game] {
                engine->discoveredOnMainThread = std::this_thread::get_id() == mainThread;
                return game;
            },
            [run, text](const fs::path& at, bool cards) {
                return run(QStringLiteral("install ") + text(at) + (cards ? QStringLiteral(" cards") : QString()));
            },
            [run, text](const fs::path& at) { return run(QStringLiteral("remove ") + text(at)); }};
}

struct Launched : morra::test::LaunchedWindow {
    std::shared_ptr<FakeEngine> engine;
    explicit Launched(std::optional<fs::path> game, std::shared_ptr<FakeEngine> e = std::make_shared<FakeEngine>())
        : LaunchedWindow(operationsFor(e, std::move(game))), engine(std::move(e)) {}
};

// Enabled state of install, remove, choose and the check box.
QString controls(const morra::MainWindow& window) {
    QString state;
    for (QWidget* control : QWidgetList{window.installButton(), window.removeButton(), window.chooseButton(),
                                        window.skillCardsCheckbox()})
        state += control->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return state;
}

const QString kAllEnabled = QStringLiteral("1111");
const QString kAllDisabled = QStringLiteral("0000");
const QString kNoGame = QStringLiteral("0011");

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

    // With and without a game at launch; busy locks everything, idle again restores the launch state.
    void launchAndBusyStates_data() {
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("idle");
        QTest::newRow("game found") << true << QString::fromStdString(game_.string()) << kFoundStatus << kAllEnabled;
        QTest::newRow("no game") << false << QStringLiteral("Morra Vellant не найдена автоматически")
                                 << QStringLiteral("Укажите morra.app вручную") << kNoGame;
    }

    void launchAndBusyStates() {
        QFETCH(bool, found);
        QFETCH(QString, path);
        QFETCH(QString, status);
        QFETCH(QString, idle);
        Launched app(found ? std::optional(game_) : std::nullopt);
        QVERIFY(app.engine->discoveredOnMainThread);
        QVERIFY(app.window().isVisible());
        QCOMPARE(app.delegate->gameURL(), found ? std::optional(game_) : std::nullopt);
        QCOMPARE(app.path(), path);
        QCOMPARE(app.status(), status);
        QCOMPARE(controls(app.window()), idle);
        QVERIFY(app.window().skillCardsCheckbox()->isChecked());
        QVERIFY(app.window().busyIndicator()->isHidden());

        app.delegate->setBusy(true, QStringLiteral("занят"));
        QCOMPARE(controls(app.window()), kAllDisabled);
        QCOMPARE(app.status(), QStringLiteral("занят"));
        QVERIFY(!app.window().busyIndicator()->isHidden());
        app.delegate->setBusy(false, QStringLiteral("свободен"));
        QCOMPARE(controls(app.window()), idle);
        QVERIFY(app.window().busyIndicator()->isHidden());

        // Pressing a disabled operation by hand does nothing either.
        if (!found) {
            app.delegate->installPressed();
            app.delegate->removePressed();
            QVERIFY(app.dialogs->shown().empty());
            QVERIFY(app.engine->recorded().empty());
        }
    }

    void closingTheWindowEndsTheProgram() {
        Launched app(game_);
        QTimer::singleShot(0, &app.window(), [&app] { app.window().close(); });
        // Should the event loop not end with the window, this ends it with another code.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(2); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!app.window().isVisible());
    }

    // Install and remove, succeeding or failing with the program's own check or a platform error.
    void operationRunsInTheBackgroundAndEndsInItsAlert_data() {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<int>("failure");  // 0 none, 1 own check, 2 platform error
        for (bool remove : {false, true}) {
            const char* operation = remove ? "remove" : "install";
            QTest::addRow("%s", operation) << remove << 0;
            QTest::addRow("%s, own check", operation) << remove << 1;
            QTest::addRow("%s, file error", operation) << remove << 2;
        }
    }

    void operationRunsInTheBackgroundAndEndsInItsAlert() {
        QFETCH(bool, remove);
        QFETCH(int, failure);
        Launched app(game_);
        std::promise<void> release;
        app.engine->gate = release.get_future().share();
        const std::string ownText = "Выбранная папка не похожа на Morra Vellant для macOS.";
        const std::system_error fileError(std::make_error_code(std::errc::permission_denied),
                                          "/Игры/morra.app/Contents/Resources/Data/level2");
        app.engine->outcome = [failure, ownText, fileError]() -> std::string {
            if (failure == 1) throw morra::InstallerError(ownText);
            if (failure == 2) throw fileError;
            return "Сделано.";
        };
        const QString result = QString::fromUtf8(failure == 0 ? "Сделано." : failure == 1 ? ownText.c_str()
                                                                                             : fileError.what());
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);

        if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
        QString whenAlertShown;
        app.dialogs->expect([&](QDialog& dialog) {
            whenAlertShown = controls(app.window()) + app.status();
            static_cast<QMessageBox&>(dialog).buttons().first()->click();
        });
        QTest::mouseClick(remove ? app.window().removeButton() : app.window().installButton(), Qt::LeftButton);

        // While the operation runs, nothing can start another one.
        const QString busyStatus = remove ? QStringLiteral("Восстанавливаю оригинал…") : QStringLiteral("Устанавливаю…");
        QCOMPARE(app.status(), busyStatus);
        QCOMPARE(controls(app.window()), kAllDisabled);
        QVERIFY(!app.window().busyIndicator()->isHidden());
        QTRY_COMPARE(app.engine->recorded().size(), 1);
        const std::size_t dialogsBefore = app.dialogs->shown().size();
        QTest::mouseClick(app.window().installButton(), Qt::LeftButton);
        QTest::keyClick(&app.window(), Qt::Key_Return);
        app.delegate->installPressed();
        app.delegate->choosePressed();
        QCOMPARE(app.status(), busyStatus);
        QCOMPARE(app.dialogs->shown().size(), dialogsBefore);

        release.set_value();
        QTRY_COMPARE(finished.count(), 1);
        const QString game = QString::fromStdString(game_.string());
        QCOMPARE(app.engine->recorded(),
                 QStringList{remove ? QStringLiteral("remove ") + game : QStringLiteral("install ") + game + " cards"});

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
        QVERIFY(app.window().busyIndicator()->isHidden());
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    // Cancelling the confirmation (by its button or by Escape) or the chooser, or pressing the
    // chooser's accept button on what is not a bundle, leaves the game, status and controls as they were.
    void cancelsChangeNothing() {
        Launched app(game_);
        app.dialogs->pressButton(QStringLiteral("OK"));
        QVERIFY(app.runAndWait(app.window().installButton()));
        const QString statusBefore = app.status();

        app.dialogs->pressButton(QStringLiteral("Отмена"));
        app.window().removeButton()->click();
        app.dialogs->reject();
        app.window().removeButton()->click();
        app.dialogs->reject();
        app.window().chooseButton()->click();
        app.dialogs->chooseFile(morra::test::makeFolder(root_.filePath(QStringLiteral("Documents"))));
        app.window().chooseButton()->click();
        QTest::qWait(50);

        QCOMPARE(app.dialogs->shown().size(), std::size_t(5));
        QCOMPARE(app.dialogs->shown().back().kind, ShownDialog::Kind::Chooser);
        QCOMPARE(app.engine->recorded().size(), 1);
        QCOMPARE(app.delegate->gameURL(), std::optional(game_));
        QCOMPARE(app.path(), QString::fromStdString(game_.string()));
        QCOMPARE(app.status(), statusBefore);
        QCOMPARE(controls(app.window()), kAllEnabled);
        QVERIFY(!app.delegate->isBusy());
    }

    // A bundle chosen in the chooser or dropped on the window becomes the game.
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
        QCOMPARE(app.delegate->gameURL(), std::optional(chosen));
        QCOMPARE(app.path(), chosenText);
        QCOMPARE(app.status(), kFoundStatus);
        QCOMPARE(controls(app.window()), kAllEnabled);

        // The next install runs on it, with the check box as it is at the press (here by Return).
        app.window().skillCardsCheckbox()->click();
        QVERIFY(app.engine->recorded().empty());
        app.dialogs->pressButton(QStringLiteral("OK"));
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        QTest::keyClick(&app.window(), Qt::Key_Return);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(app.engine->recorded(), QStringList{QStringLiteral("install ") + chosenText});
    }

    // Closing the window never cuts off the file work of a running operation.
    void closingWhileAnOperationRunsLetsItFinish() {
        std::atomic<bool> done = false;
        {
            Launched app(game_);
            app.engine->outcome = [&done] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                done = true;
                return std::string("Готово.");
            };
            app.window().installButton()->click();
            QTRY_COMPARE(app.engine->recorded().size(), 1);
            app.window().close();
        }
        QVERIFY(done);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
