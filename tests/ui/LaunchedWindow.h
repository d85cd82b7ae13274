#pragma once

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QUrl>

#include <memory>

#include "AppDelegate.h"
#include "ScriptedDialogs.h"

namespace morra::test {

// The application after launch, its dialogs answered from a script.
struct LaunchedWindow {
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> delegate;

    explicit LaunchedWindow(InstallerOperations operations) {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        delegate = std::make_unique<AppDelegate>(std::move(operations), std::move(scripted));
        delegate->applicationDidFinishLaunching();
    }

    MainWindow& window() const { return *delegate->window(); }
    QString status() const { return window().statusLabel()->text(); }
    QString path() const { return window().pathLabel()->text(); }

    // Presses a button and waits until the operation it starts has finished and its alert is answered.
    bool runAndWait(QPushButton* button) {
        QSignalSpy finished(delegate.get(), &AppDelegate::operationFinished);
        button->click();
        return finished.count() == 1 || finished.wait(60000);
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
