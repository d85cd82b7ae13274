#pragma once

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <memory>

#include "AppDelegate.h"
#include "FittedLabel.h"
#include "ScriptedDialogs.h"

namespace morra::test {

// The application after launch, its dialogs answered from a script.
struct LaunchedWindow {
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> delegate;

    // With `untilChecked`, returns once the game's state has been found out.
    explicit LaunchedWindow(InstallerOperations operations, bool untilChecked = true) {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        delegate = std::make_unique<AppDelegate>(std::move(operations), std::move(scripted));
        delegate->applicationDidFinishLaunching();
        if (untilChecked && !waitForCheck()) qFatal("the game's state was not found out in time");
    }

    MainWindow& window() const { return *delegate->window(); }
    // The full texts of the status and path lines (the lines show what fits of them).
    QString status() const { return window().statusText(); }
    QString path() const { return window().pathLabel()->fullText(); }

    // Waits until the game's state has been found out.
    bool waitForCheck() const {
        return QTest::qWaitFor([this] { return !delegate->isChecking(); }, 60000);
    }

    // Presses a button and waits until the operation it starts has finished, its alert is
    // answered and the game's new state is known.
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

// Drags `paths` (or, with none, `text`) onto the window and drops them there if the window accepts
// the drag; returns whether it took the drop.
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
