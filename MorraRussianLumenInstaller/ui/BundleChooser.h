#pragma once

#include <QFileDialog>

#include <filesystem>
#include <optional>

namespace morra {

// True when the path names one application bundle: on disk a folder whose name ends in ".app"
// in any letter case (and is more than that suffix). A trailing separator is ignored.
bool isApplicationBundle(const QString& path);

// The chooser for the game bundle. It accepts exactly one application bundle; pressing the
// accept button on an ordinary folder opens that folder instead, and anything else keeps the
// chooser open.
class BundleChooser : public QFileDialog {
    Q_OBJECT

public:
    // Opens in `startDirectory` when it is not empty.
    explicit BundleChooser(QWidget* parent = nullptr, const QString& startDirectory = QString());

    // The accepted bundle, exactly as the chooser gives it; nothing unless the chooser was accepted.
    std::optional<std::filesystem::path> chosenBundle() const;

public slots:
    void accept() override;
};

}  // namespace morra
