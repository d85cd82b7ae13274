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
    if (files.size() != 1) return;
    const QString& file = files.first();
    if (isApplicationBundle(file)) {
        QFileDialog::accept();
        return;
    }
    if (QFileInfo(file).isDir()) setDirectory(file);
}

std::optional<std::filesystem::path> BundleChooser::chosenBundle() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    const QStringList files = selectedFiles();
    if (files.size() != 1 || !isApplicationBundle(files.first())) return std::nullopt;
    return pathFromText(files.first());
}

}  // namespace morra
