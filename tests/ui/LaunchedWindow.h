#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "AppDelegate.h"
#include "DialogRunner.h"
#include "FittedLabel.h"
#include "WindowApplication.h"

// A test program's main: the application readied as the program readies it (Russian, nothing
// stored), then the test object's slots.
#define MORRA_UI_TEST_MAIN(TestObject)          \
    int main(int argc, char** argv) {           \
        QApplication application(argc, argv);   \
        morra::prepareApplication(application); \
        TestObject test;                        \
        return QTest::qExec(&test, argc, argv); \
    }

namespace morra::test {

// Stands in for the engine: records each call ("check <game>", "install <game> cards", "remove
// <game>") and answers with a chosen state and outcome; a test may hold a check at `checkGate`.
struct FakeEngine final : InstallerEngine {
    using Path = std::filesystem::path;
    explicit FakeEngine(std::optional<Path> game = std::nullopt) : InstallerEngine(nullptr), game(std::move(game)) {}

    std::optional<Path> game;
    std::function<InstallationState()> state = [] { return InstallationState::NotInstalled; };
    std::function<std::string(const ProgressCallback&)> outcome = [](auto&) { return std::string("Сделано."); };
    std::shared_future<void> checkGate;
    mutable std::mutex mutex;
    mutable QStringList calls;

    QStringList recorded(const QString& kind) const {
        std::lock_guard lock(mutex);
        return calls.filter(QRegularExpression(QLatin1Char('^') + kind));
    }
    void record(const QString& call, const Path& at) const {
        std::lock_guard lock(mutex);
        calls << call.arg(QString::fromStdString(at.string()));
    }

    std::optional<Path> discoverGame() const override { return game; }
    bool heldByAnotherInstaller(const Path&) const override { return false; }
    InstallationState installationState(const Path& at) const override {
        record(QStringLiteral("check %1"), at);
        if (checkGate.valid()) checkGate.wait();
        return state();
    }
    std::string install(const Path& at, SkillCards cards, const ProgressCallback& progress) const override {
        record(cards == SkillCards::Translated ? QStringLiteral("install %1 cards") : QStringLiteral("install %1"), at);
        return outcome(progress);
    }
    std::string remove(const Path& at, const ProgressCallback& progress) const override {
        record(QStringLiteral("remove %1"), at);
        return outcome(progress);
    }
};

// What a dialog showed: for a message box its texts, icon and the buttons Return and Escape press.
struct ShownDialog {
    bool chooser = false;
    QString text, informativeText, detailedText, defaultButton, escapeButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onMainThread = false;
};

// Answers the window's dialogs from a script, in order; a dialog with no answer scripted is
// rejected and counted in `unexpected`.
class ScriptedDialogs final : public DialogRunner {
public:
    using Answer = std::function<void(QDialog&)>;

    int run(QDialog& dialog) override {
        ShownDialog seen;
        seen.onMainThread = QThread::currentThread() == qApp->thread();
        seen.chooser = qobject_cast<QFileDialog*>(&dialog) != nullptr;
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            seen.text = box->text();
            seen.informativeText = box->informativeText();
            seen.detailedText = box->detailedText();
            seen.icon = box->icon();
            if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
            if (box->escapeButton()) seen.escapeButton = box->escapeButton()->text();
        }
        shown_.push_back(seen);
        if (answers_.empty()) {
            ++unexpected_;
            dialog.reject();
        } else {
            Answer answer = std::move(answers_.front());
            answers_.pop_front();
            answer(dialog);
        }
        return dialog.result();
    }

    void expect(Answer answer) { answers_.push_back(std::move(answer)); }
    void reject() { expect([](QDialog& dialog) { dialog.reject(); }); }
    // Accepts the chooser with `path` selected (the chooser's own rules decide whether it closes).
    void chooseFile(const QString& path) {
        expect([path](QDialog& dialog) {
            dynamic_cast<QFileDialog&>(dialog).selectFile(path);
            dialog.accept();
        });
    }
    // Presses the message box button with this text.
    void pressButton(const QString& text) {
        expect([text](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog))
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == text) return button->click();
            dialog.reject();
        });
    }

    const std::vector<ShownDialog>& shown() const { return shown_; }
    int unexpected() const { return unexpected_; }

private:
    std::deque<Answer> answers_;
    std::vector<ShownDialog> shown_;
    int unexpected_ = 0;
};

// The application after launch, its dialogs answered from a script.
struct LaunchedWindow {
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> delegate;

    // With `untilChecked`, returns once the game's state has been found out.
    explicit LaunchedWindow(std::shared_ptr<const InstallerEngine> engine, bool untilChecked = true,
                            SystemFacts system = SystemFacts()) {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        delegate = std::make_unique<AppDelegate>(std::move(engine), std::move(scripted), std::move(system));
        delegate->applicationDidFinishLaunching();
        if (untilChecked && !waitForCheck()) qFatal("the game's state was not found out in time");
    }

    MainWindow& window() const { return *delegate->window(); }
    // The full texts of the status and path lines (the lines show what fits of them).
    QString status() const { return window().statusText(); }
    QString path() const { return window().pathLabel()->fullText(); }
    bool waitForCheck() const { return QTest::qWaitFor([this] { return !delegate->isChecking(); }, 60000); }
    // Presses a button and waits until its operation has ended, its alert is answered and the
    // game's new state is known.
    bool runAndWait(QPushButton* button) {
        QSignalSpy finished(delegate.get(), &AppDelegate::operationFinished);
        button->click();
        return (finished.count() == 1 || finished.wait(60000)) && waitForCheck();
    }
};

inline QString makeFolder(const QString& path) {
    if (!QDir().mkpath(path)) qFatal("cannot create %s", qPrintable(path));
    return path;
}

inline QString makeFile(const QString& path) {
    if (QFile file(path); !file.open(QIODevice::WriteOnly)) qFatal("cannot create %s", qPrintable(path));
    return path;
}

// Drags `paths` (or, with none, `text`) onto the window and drops them if it accepts the drag;
// returns whether it took the drop.
inline bool dropOn(QWidget& window, const QStringList& paths, const QString& text = QString()) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    paths.isEmpty() ? data.setText(text) : data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

}  // namespace morra::test
