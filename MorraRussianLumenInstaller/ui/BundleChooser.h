#pragma once

#include <QFileDialog>

#include <filesystem>
#include <optional>

class QLabel;

namespace morra {

// True when the path names one application bundle: on disk a folder whose name ends in ".app"
// in any letter case (and is more than that suffix). A trailing separator is ignored.
bool isApplicationBundle(const QString& path);

// The outermost application bundle that is `path` or holds it; empty when there is none.
QString enclosingBundle(const QString& path);

// The chooser for the game bundle. It gives exactly one application bundle, chosen as one item:
// with the accept button or a double click on it, or from anywhere inside it. An ordinary folder
// is opened instead, with a sentence saying why it cannot be the game.
//
// No Q_OBJECT here on purpose: Qt shows the system's own panel only for a dialog whose class is
// QFileDialog itself, and on macOS that panel is what shows a bundle as one item.
class BundleChooser : public QFileDialog {
public:
    // Opens in `startDirectory`, or when that is empty in the first of the usual places that exists.
    explicit BundleChooser(QWidget* parent = nullptr, const QString& startDirectory = QString());

    // The folders where the game usually is, those that exist: Steam's game folder, the
    // applications folders, then the home folder.
    static QStringList usualPlaces();

    // The chosen bundle; nothing unless the chooser was accepted.
    std::optional<std::filesystem::path> chosenBundle() const;
    // The sentence under the folder view (only where the chooser is drawn by the program).
    QString hint() const;

    void accept() override;

private:
    void choose(const QString& bundle);

    QLabel* hint_ = nullptr;
    QString chosen_;
};

// Keeps what Qt's file dialogs remember from outliving a chooser: it takes the "FileDialog"
// settings of Qt's own settings ("QtProject": recent folders, the last folder, the view) when it
// is made and puts them back as they were when it goes, removing what was not there. A chooser
// must be destroyed before it, because Qt writes them when a file dialog is destroyed. (Where the
// program can send settings files nowhere, it does; on macOS they are the user's preferences.)
class FileDialogMemory {
public:
    FileDialogMemory();
    ~FileDialogMemory();
    FileDialogMemory(const FileDialogMemory&) = delete;
    FileDialogMemory& operator=(const FileDialogMemory&) = delete;

private:
    QVariantMap saved_;
};

}  // namespace morra
