#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "DialogRunner.h"
#include "InstallerEngine.h"
#include "InstallerError.h"
#include "MainWindow.h"
#include "ProgressText.h"
#include "SystemFacts.h"

namespace morra {

// The desktop application: owns the window, the chosen game bundle and the engine.
// When a game is found or chosen it finds out, in the background, in which state the game is and
// shows it, with the obvious action as the default (while another installer works on the game it
// says so, offers nothing and looks again every little while); it runs install and remove on a
// worker thread, one at a time, showing their progress; and it keeps the controls' enabled state
// in step with all of that. The window stays open until background work is done.
//
// Everything here runs on the main thread except the engine operations themselves.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // What runs in the background: an operation with its progress callback.
    using Operation = std::function<std::string(const core::ProgressCallback&)>;

    // The engine is called on the main thread (the search at launch) and on the worker thread.
    AppDelegate(std::shared_ptr<const api::InstallerEngine> engine, std::unique_ptr<DialogRunner> dialogs,
                SystemFacts system = SystemFacts::current(), QObject* parent = nullptr);
    // Waits for work that is still running: its file work is never cut off half-way.
    ~AppDelegate() override;

    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Builds the window, looks for the game (on this thread), shows where it is, starts finding out
    // its state, and brings the window to the front.
    void applicationDidFinishLaunching();

    void buildWindow();
    // Shows the game bundle in the path line. With a game it starts finding out the game's state (install
    // and remove wait for it); without one it asks for the bundle.
    void refreshPath();
    // Install and remove are enabled when nothing runs and a game is known, checked, not refused
    // and not held by another installer; choose and the check box when no operation runs. The
    // status line shows `status`.
    void setBusy(bool busy, const QString& status);

    // The user's actions.
    void choosePressed();
    void installPressed();
    void removePressed();
    // Makes `bundle` the chosen game, as the chooser does (used for a bundle dropped on the window).
    void chooseBundle(const std::filesystem::path& bundle);

    // Shows `initialStatus` with the controls locked and the progress bar, runs `operation` on the
    // worker thread and returns at once; progress and then the outcome come back on the main
    // thread, the outcome as the status and an alert. Does nothing while another operation runs.
    void runOperation(const QString& initialStatus, Operation operation, bool removal = false);
    // `details`, when given, goes to the alert's details.
    void showResult(const QString& title, const QString& message, QMessageBox::Icon style,
                    const QString& details = QString());
    // The failure alert for the system's refusal to let the installer change the game, with a
    // button that opens the system's settings where the installer can be allowed, if there are any.
    void showAppManagementRefusal(const QString& title, const QString& message);

    const std::optional<std::filesystem::path>& gameBundle() const { return gameBundle_; }
    MainWindow* window() const { return window_.get(); }
    bool isBusy() const { return busy_; }
    // Whether the game's state is being found out.
    bool isChecking() const { return checking_; }
    // Another installer works on the game: the window waits for it.
    bool heldElsewhere() const { return heldElsewhere_; }

    // The status line for each state of the game.
    static QString stateText(core::InstallationState state);
    // Said while another installer works on the game.
    static const QString kHeldElsewhere;
    // Said before the first change where the system checks the game at its first launch.
    static const QString kLaunchGameFirst;
    // What the window adds to the refusal of a game it does not support.
    static const QString kUnsupportedAdvice;
    // How often the window looks again while another installer works on the game.
    static constexpr int kHeldPollMilliseconds = 1500;

signals:
    // An operation has finished and its result alert has been dismissed.
    void operationFinished();
    // The game's state has been found out (or the bundle refused).
    void checkFinished();

private:
    struct Outcome {
        bool removal = false;
        bool succeeded = false;
        core::InstallerError::Kind kind = core::InstallerError::Kind::General;
        QString message;
    };
    struct Check {
        std::optional<core::InstallationState> state;
        bool heldElsewhere = false;
        QString refusal;
    };
    // Finds out the game's state on the worker. A quiet check, after an operation, leaves the
    // status line and the buttons as they are and only updates the default action and check box.
    void startCheck(bool quiet);
    void finishCheck(unsigned generation, bool quiet, const Check& check);
    // The alert that tells an operation's outcome; its message is the status too.
    struct ResultAlert {
        QString title, message, details;
        QMessageBox::Icon icon;
    };
    QString checkedStatus(const Check& check) const;
    void finishOperation(const Outcome& outcome);
    static ResultAlert resultAlert(const Outcome& outcome);
    void showProgress(unsigned generation, const core::Progress& progress);
    void updateControls();
    void updateDefaultAction();
    bool mayClose();
    void closeIfAsked();

    std::shared_ptr<const api::InstallerEngine> engine_;
    std::unique_ptr<DialogRunner> dialogs_;
    SystemFacts system_;
    std::optional<std::filesystem::path> gameBundle_;
    std::unique_ptr<MainWindow> window_;
    // An operation runs.
    bool busy_ = false;
    // The controls are locked for an operation (setBusy).
    bool locked_ = false;
    bool checking_ = false;
    bool quietCheck_ = false;
    bool closeAsked_ = false;
    std::optional<core::InstallationState> state_;
    bool heldElsewhere_ = false;
    // The bundle was refused as the game.
    bool refused_ = false;
    // Counts the background jobs started: a check or progress report from an earlier job than the
    // latest is stale and dropped.
    unsigned generation_ = 0;
    ProgressEstimate estimate_;
    // Last, so that it is destroyed first: its destructor waits for the running work.
    QThreadPool worker_;
};

}  // namespace morra
