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
#include "InstallerOperations.h"
#include "MainWindow.h"

namespace morra {

// The desktop application: owns the window, the chosen game bundle and the engine operations,
// keeps the controls' enabled state in step with whether a game is known and whether an
// operation runs, and runs install and remove on a worker thread, one at a time.
//
// Everything here runs on the main thread except the engine operations themselves.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    AppDelegate(InstallerOperations operations, std::unique_ptr<DialogRunner> dialogs,
                QObject* parent = nullptr);
    // Waits for an operation that is still running: its file work is never cut off half-way.
    ~AppDelegate() override;

    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Builds the window, looks for the game (on this thread), shows where it is, and brings the
    // window to the front.
    void applicationDidFinishLaunching();

    void buildWindow();
    // Shows the state of gameURL in the path and status lines and enables the operation buttons
    // exactly when a game is known.
    void refreshPath();
    // Install and remove are enabled when nothing runs and a game is known; choose and the
    // check box when nothing runs. The status line shows `status`.
    void setBusy(bool busy, const QString& status);

    // The user's actions.
    void choosePressed();
    void installPressed();
    void removePressed();
    // Makes `bundle` the chosen game, as the chooser does (used for a bundle dropped on the window).
    void chooseBundle(const std::filesystem::path& bundle);

    // Shows `initialStatus` with the controls locked, runs `operation` on the worker thread and
    // returns at once; the outcome comes back on the main thread as the status line and an alert.
    // Does nothing while another operation runs.
    void runOperation(const QString& initialStatus, std::function<std::string()> operation);
    void showResult(const QString& title, const QString& message, QMessageBox::Icon style);

    const std::optional<std::filesystem::path>& gameURL() const { return gameURL_; }
    MainWindow* window() const { return window_.get(); }
    bool isBusy() const { return busy_; }

signals:
    // An operation has finished and its result alert has been dismissed.
    void operationFinished();

private:
    struct Outcome {
        bool succeeded = false;
        QString message;
    };
    void finishOperation(const Outcome& outcome);

    InstallerOperations operations_;
    std::unique_ptr<DialogRunner> dialogs_;
    std::optional<std::filesystem::path> gameURL_;
    std::unique_ptr<MainWindow> window_;
    bool busy_ = false;
    // Last, so that it is destroyed first: its destructor waits for the running operation.
    QThreadPool worker_;
};

}  // namespace morra
