#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

#include "AppDelegate.h"
#include "InstallerError.h"
#include "ScriptedDialogs.h"

using morra::AppDelegate;
using morra::InstallerOperations;
using morra::test::ScriptedDialogs;
using morra::test::ShownDialog;
namespace fs = std::filesystem;

namespace {

const QString kFoundStatus = QStringLiteral("Игра найдена. Совместимость проверится при установке.");

// Stands in for the engine: records every call with the thread it ran on, answers with a
// chosen outcome, and can hold an operation until the test lets it go.
struct FakeEngine {
    struct Call {
        std::string operation;
        fs::path game;
        bool skillCardsEnabled = false;
        bool onMainThread = false;
    };

    std::optional<fs::path> discovered;
    std::function<std::string()> outcome = [] { return std::string("Результат операции."); };
    std::shared_future<void> gate;

    std::mutex mutex;
    std::vector<Call> calls;
    int discoverCalls = 0;
    bool discoverOnMainThread = false;

    std::vector<Call> recorded() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

InstallerOperations operationsFor(const std::shared_ptr<FakeEngine>& engine) {
    const std::thread::id mainThread = std::this_thread::get_id();
    auto run = [engine, mainThread](FakeEngine::Call call) {
        call.onMainThread = std::this_thread::get_id() == mainThread;
        {
            std::lock_guard lock(engine->mutex);
            engine->calls.push_back(call);
        }
        if (engine->gate.valid()) engine->gate.wait();
        return engine->outcome();
    };
    InstallerOperations operations;
    operations.discoverGame = [engine, mainThread] {
        ++engine->discoverCalls;
        engine->discoverOnMainThread = std::this_thread::get_id() == mainThread;
        return engine->discovered;
    };
    operations.install = [run](const fs::path& game, bool skillCardsEnabled) {
        return run({"install", game, skillCardsEnabled, false});
    };
    operations.remove = [run](const fs::path& game) { return run({"remove", game, false, false}); };
    return operations;
}

struct Launched {
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> delegate;

    explicit Launched(std::optional<fs::path> game) {
        engine->discovered = std::move(game);
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        delegate = std::make_unique<AppDelegate>(operationsFor(engine), std::move(scripted));
        delegate->applicationDidFinishLaunching();
    }

    morra::MainWindow& window() const { return *delegate->window(); }
    QString status() const { return window().statusLabel()->text(); }
    QString path() const { return window().pathLabel()->text(); }
};

struct ControlState {
    bool install, remove, choose, checkbox;
    bool operator==(const ControlState&) const = default;
};

ControlState controls(const morra::MainWindow& window) {
    return {window.installButton()->isEnabled(), window.removeButton()->isEnabled(),
            window.chooseButton()->isEnabled(), window.skillCardsCheckbox()->isEnabled()};
}

constexpr ControlState kAllEnabled{true, true, true, true};
constexpr ControlState kAllDisabled{false, false, false, false};
constexpr ControlState kNoGame{false, false, true, true};

char* describe(const ControlState& s) {
    return QTest::toString(QStringLiteral("install=%1 remove=%2 choose=%3 checkbox=%4")
                               .arg(s.install).arg(s.remove).arg(s.choose).arg(s.checkbox));
}

}  // namespace

namespace QTest {
template <>
char* toString(const ControlState& state) {
    return describe(state);
}
}  // namespace QTest

class AppDelegateTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;
    fs::path game_;

    fs::path makeBundle(const QString& name) {
        const QString path = root_.filePath(name);
        if (!QDir().mkpath(path)) qFatal("cannot create %s", qPrintable(path));
        return fs::path(path.toStdString());
    }

private slots:
    void initTestCase() {
        QVERIFY(root_.isValid());
        game_ = makeBundle(QStringLiteral("Steam/morra.app"));
    }

    void launchWithoutAGame() {
        Launched app(std::nullopt);
        QCOMPARE(app.engine->discoverCalls, 1);
        QVERIFY(app.engine->discoverOnMainThread);
        QVERIFY(app.window().isVisible());
        QCOMPARE(app.delegate->gameURL(), std::nullopt);
        QCOMPARE(app.path(), QStringLiteral("Morra Vellant не найдена автоматически"));
        QCOMPARE(app.status(), QStringLiteral("Укажите morra.app вручную"));
        QCOMPARE(controls(app.window()), kNoGame);
        QVERIFY(app.window().skillCardsCheckbox()->isChecked());
        QVERIFY(app.window().busyIndicator()->isHidden());

        // Pressing the disabled operations by hand does nothing either.
        app.delegate->installPressed();
        app.delegate->removePressed();
        QVERIFY(app.dialogs->shown().empty());
        QVERIFY(app.engine->recorded().empty());
    }

    void launchWithAGame() {
        Launched app(game_);
        QVERIFY(app.window().isVisible());
        QCOMPARE(app.delegate->gameURL(), std::optional(game_));
        QCOMPARE(app.path(), QString::fromStdString(game_.string()));
        QCOMPARE(app.status(), kFoundStatus);
        QCOMPARE(controls(app.window()), kAllEnabled);
        QVERIFY(app.window().skillCardsCheckbox()->isChecked());
    }

    void closingTheWindowEndsTheProgram() {
        Launched app(game_);
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, &app.window(), [&app] { app.window().close(); });
        // Should the event loop not end with the window, this ends it with another code.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(2); });
        watchdog.start(5000);
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(lastClosed.count(), 1);
        QVERIFY(!app.window().isVisible());
    }

    void setBusyGovernsTheControls() {
        Launched app(game_);
        app.delegate->setBusy(true, QStringLiteral("занят"));
        QCOMPARE(controls(app.window()), kAllDisabled);
        QCOMPARE(app.status(), QStringLiteral("занят"));
        QVERIFY(!app.window().busyIndicator()->isHidden());
        app.delegate->setBusy(false, QStringLiteral("свободен"));
        QCOMPARE(controls(app.window()), kAllEnabled);
        QCOMPARE(app.status(), QStringLiteral("свободен"));
        QVERIFY(app.window().busyIndicator()->isHidden());

        Launched none(std::nullopt);
        none.delegate->setBusy(true, QStringLiteral("занят"));
        QCOMPARE(controls(none.window()), kAllDisabled);
        none.delegate->setBusy(false, QStringLiteral("свободен"));
        QCOMPARE(controls(none.window()), kNoGame);
    }

    void installRunsInTheBackgroundAndEndsInDone() {
        Launched app(game_);
        std::promise<void> release;
        app.engine->gate = release.get_future().share();
        app.engine->outcome = [] { return std::string("Русский (Lumen) установлен."); };
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);

        ControlState whenAlertShown{};
        QString statusWhenAlertShown;
        app.dialogs->expect([&](QDialog& dialog) {
            whenAlertShown = controls(app.window());
            statusWhenAlertShown = app.status();
            static_cast<QMessageBox&>(dialog).buttons().first()->click();
        });

        QTest::mouseClick(app.window().installButton(), Qt::LeftButton);

        // While the operation runs, nothing can start another one.
        QCOMPARE(app.status(), QStringLiteral("Устанавливаю…"));
        QCOMPARE(controls(app.window()), kAllDisabled);
        QVERIFY(!app.window().busyIndicator()->isHidden());
        QTRY_COMPARE(app.engine->recorded().size(), std::size_t(1));
        QTest::mouseClick(app.window().installButton(), Qt::LeftButton);
        QTest::keyClick(&app.window(), Qt::Key_Return);
        app.delegate->installPressed();
        app.delegate->choosePressed();
        QCOMPARE(app.status(), QStringLiteral("Устанавливаю…"));
        QVERIFY(app.dialogs->shown().empty());

        release.set_value();
        QTRY_COMPARE(finished.count(), 1);

        const auto calls = app.engine->recorded();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].operation, std::string("install"));
        QCOMPARE(calls[0].game, game_);
        QVERIFY(calls[0].skillCardsEnabled);
        QVERIFY(!calls[0].onMainThread);

        QCOMPARE(app.dialogs->shown().size(), std::size_t(1));
        const ShownDialog& alert = app.dialogs->shown()[0];
        QCOMPARE(alert.kind, ShownDialog::Kind::MessageBox);
        QVERIFY(alert.onMainThread);
        QCOMPARE(alert.text, QStringLiteral("Готово"));
        QCOMPARE(alert.informativeText, QStringLiteral("Русский (Lumen) установлен."));
        QCOMPARE(alert.icon, QMessageBox::Information);
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(whenAlertShown, kAllEnabled);
        QCOMPARE(statusWhenAlertShown, QStringLiteral("Русский (Lumen) установлен."));

        QCOMPARE(app.status(), QStringLiteral("Русский (Lumen) установлен."));
        QCOMPARE(controls(app.window()), kAllEnabled);
        QVERIFY(app.window().busyIndicator()->isHidden());
        QCOMPARE(app.delegate->gameURL(), std::optional(game_));
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    void checkboxIsReadAtThePress() {
        Launched app(game_);
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);

        app.window().skillCardsCheckbox()->click();
        QVERIFY(!app.window().skillCardsCheckbox()->isChecked());
        QVERIFY(app.engine->recorded().empty());  // toggling does nothing by itself
        app.dialogs->pressButton(QStringLiteral("OK"));
        app.window().installButton()->click();
        QTRY_COMPARE(finished.count(), 1);

        app.window().skillCardsCheckbox()->click();
        app.dialogs->pressButton(QStringLiteral("OK"));
        QTest::keyClick(&app.window(), Qt::Key_Return);
        QTRY_COMPARE(finished.count(), 2);

        const auto calls = app.engine->recorded();
        QCOMPARE(calls.size(), std::size_t(2));
        QVERIFY(!calls[0].skillCardsEnabled);
        QVERIFY(calls[1].skillCardsEnabled);
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    void removeAfterConfirmation() {
        Launched app(game_);
        std::promise<void> release;
        app.engine->gate = release.get_future().share();
        app.engine->outcome = [] { return std::string("Русский (Lumen) удалён."); };
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);

        app.dialogs->pressButton(QStringLiteral("Удалить"));
        app.dialogs->pressButton(QStringLiteral("OK"));
        app.window().removeButton()->click();

        QCOMPARE(app.status(), QStringLiteral("Восстанавливаю оригинал…"));
        QCOMPARE(controls(app.window()), kAllDisabled);
        release.set_value();
        QTRY_COMPARE(finished.count(), 1);

        const auto calls = app.engine->recorded();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].operation, std::string("remove"));
        QCOMPARE(calls[0].game, game_);
        QVERIFY(!calls[0].onMainThread);

        QCOMPARE(app.dialogs->shown().size(), std::size_t(2));
        const ShownDialog& confirmation = app.dialogs->shown()[0];
        QCOMPARE(confirmation.kind, ShownDialog::Kind::MessageBox);
        QCOMPARE(confirmation.text, QStringLiteral("Удалить Русский (Lumen)?"));
        QCOMPARE(confirmation.informativeText,
                 QStringLiteral("Изменённые файлы игры будут восстановлены из проверенных резервных копий."));
        QCOMPARE(confirmation.icon, QMessageBox::NoIcon);
        QCOMPARE(confirmation.buttons, (QStringList{QStringLiteral("Удалить"), QStringLiteral("Отмена")}));
        QCOMPARE(confirmation.defaultButton, QStringLiteral("Удалить"));
        QCOMPARE(confirmation.escapeButton, QStringLiteral("Отмена"));

        const ShownDialog& alert = app.dialogs->shown()[1];
        QCOMPARE(alert.text, QStringLiteral("Готово"));
        QCOMPARE(alert.informativeText, QStringLiteral("Русский (Lumen) удалён."));
        QCOMPARE(alert.icon, QMessageBox::Information);
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(app.status(), QStringLiteral("Русский (Lumen) удалён."));
        QCOMPARE(controls(app.window()), kAllEnabled);
    }

    void cancelInTheConfirmationChangesNothing() {
        Launched app(game_);
        app.dialogs->pressButton(QStringLiteral("Отмена"));
        app.window().removeButton()->click();
        // Closing the confirmation without a button (Escape) is a cancel too.
        app.dialogs->expect([](QDialog& dialog) { dialog.reject(); });
        app.window().removeButton()->click();
        QTest::qWait(50);

        QCOMPARE(app.dialogs->shown().size(), std::size_t(2));
        QVERIFY(app.engine->recorded().empty());
        QCOMPARE(app.status(), kFoundStatus);
        QCOMPARE(controls(app.window()), kAllEnabled);
        QVERIFY(!app.delegate->isBusy());
    }

    void failingOperationEndsInTheCriticalAlert_data() {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<bool>("platformError");
        QTest::newRow("install, own check") << false << false;
        QTest::newRow("install, file error") << false << true;
        QTest::newRow("remove, own check") << true << false;
        QTest::newRow("remove, file error") << true << true;
    }

    void failingOperationEndsInTheCriticalAlert() {
        QFETCH(bool, remove);
        QFETCH(bool, platformError);
        Launched app(game_);
        const std::string ownText = "Выбранная папка не похожа на Morra Vellant для macOS.";
        const std::system_error fileError(std::make_error_code(std::errc::permission_denied),
                                          "/Игры/morra.app/Contents/Resources/Data/level2");
        const QString expected = QString::fromUtf8(platformError ? fileError.what() : ownText.c_str());
        app.engine->outcome = [&]() -> std::string {
            if (platformError) throw fileError;
            throw morra::InstallerError(ownText);
        };
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);

        if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
        app.dialogs->pressButton(QStringLiteral("OK"));
        (remove ? app.window().removeButton() : app.window().installButton())->click();
        QTRY_COMPARE(finished.count(), 1);

        const ShownDialog& alert = app.dialogs->shown().back();
        QCOMPARE(alert.text, QStringLiteral("Установка остановлена"));
        QCOMPARE(alert.informativeText, expected);
        QCOMPARE(alert.icon, QMessageBox::Critical);
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(app.status(), expected);
        QCOMPARE(controls(app.window()), kAllEnabled);
        QCOMPARE(app.delegate->gameURL(), std::optional(game_));
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    void choosingABundleMakesItTheGame() {
        Launched app(std::nullopt);
        const fs::path chosen = makeBundle(QStringLiteral("GOG Games/Morra Vellant.APP"));
        app.dialogs->chooseFile(QString::fromStdString(chosen.string()));
        app.window().chooseButton()->click();

        QCOMPARE(app.dialogs->shown().size(), std::size_t(1));
        QCOMPARE(app.dialogs->shown()[0].kind, ShownDialog::Kind::Chooser);
        QCOMPARE(app.dialogs->shown()[0].windowTitle, QStringLiteral("Выберите Morra Vellant"));
        QCOMPARE(app.dialogs->shown()[0].acceptLabel, QStringLiteral("Выбрать"));
        QCOMPARE(app.delegate->gameURL(), std::optional(chosen));
        QCOMPARE(app.path(), QString::fromStdString(chosen.string()));
        QCOMPARE(app.status(), kFoundStatus);
        QCOMPARE(controls(app.window()), kAllEnabled);

        // The next install runs on the chosen bundle.
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        app.dialogs->pressButton(QStringLiteral("OK"));
        app.window().installButton()->click();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(app.engine->recorded().at(0).game, chosen);
    }

    void cancelInTheChooserChangesNothing() {
        Launched app(game_);
        // A finished operation leaves its text in the status line; a cancel keeps it there.
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        app.dialogs->pressButton(QStringLiteral("OK"));
        app.window().installButton()->click();
        QTRY_COMPARE(finished.count(), 1);
        const QString statusBefore = app.status();

        app.dialogs->cancelChooser();
        app.window().chooseButton()->click();
        // Pressing the accept button on something that is not a bundle does not choose it.
        const fs::path folder = makeBundle(QStringLiteral("Documents"));
        app.dialogs->chooseFile(QString::fromStdString(folder.string()));
        app.window().chooseButton()->click();

        QCOMPARE(app.dialogs->shown().size(), std::size_t(3));
        QCOMPARE(app.delegate->gameURL(), std::optional(game_));
        QCOMPARE(app.path(), QString::fromStdString(game_.string()));
        QCOMPARE(app.status(), statusBefore);
        QCOMPARE(controls(app.window()), kAllEnabled);
    }

    void droppingABundleChoosesIt() {
        Launched app(std::nullopt);
        const fs::path dropped = makeBundle(QStringLiteral("Dropped/morra.app"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.string()))});
        const QPointF inside(100, 100);
        QDragEnterEvent enter(inside.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&app.window(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&app.window(), &drop);

        QCOMPARE(app.delegate->gameURL(), std::optional(dropped));
        QCOMPARE(app.path(), QString::fromStdString(dropped.string()));
        QCOMPARE(app.status(), kFoundStatus);
        QCOMPARE(controls(app.window()), kAllEnabled);
    }

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
            QTRY_COMPARE(app.engine->recorded().size(), std::size_t(1));
            app.window().close();
        }
        QVERIFY(done);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
