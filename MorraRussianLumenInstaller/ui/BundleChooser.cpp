#include "BundleChooser.h"

#include <QDir>
#include <QFileInfo>

#include "PathText.h"

namespace morra {

bool isApplicationBundle(const QString& path) {
    static const QString suffix = QStringLiteral(".app");
    const QFileInfo info(QDir::cleanPath(path));
    const QString name = info.fileName();
    return name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive) && info.isDir();
}

BundleChooser::BundleChooser(QWidget* parent, const QString& startDirectory) : QFileDialog(parent) {
    setWindowTitle(QStringLiteral("Выберите Morra Vellant"));
    setLabelText(QFileDialog::Accept, QStringLiteral("Выбрать"));
    setAcceptMode(QFileDialog::AcceptOpen);
#if defined(Q_OS_MACOS)
    // The system's panel shows an application bundle as one item that can be chosen like a file.
    setFileMode(QFileDialog::ExistingFile);
    setNameFilter(QStringLiteral("*.app"));
#else
    // Elsewhere a bundle is an ordinary folder: show folders only, accept only a bundle.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
#endif
    if (!startDirectory.isEmpty()) setDirectory(startDirectory);
}

void BundleChooser::accept() {
    const QStringList files = selectedFiles();
    if (files.size() == 1 && isApplicationBundle(files.first())) {
        QFileDialog::accept();
        return;
    }
#if defined(Q_OS_MACOS)
    // The system's panel has already closed by now: a choice it should not have offered ends the
    // chooser without a bundle rather than leaving it waiting for a panel that is gone.
    reject();
#else
    if (files.size() == 1 && QFileInfo(files.first()).isDir()) setDirectory(files.first());
#endif
}

std::optional<std::filesystem::path> BundleChooser::chosenBundle() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    const QStringList files = selectedFiles();
    if (files.size() != 1 || !isApplicationBundle(files.first())) return std::nullopt;
    return pathFromText(files.first());
}

}  // namespace morra
