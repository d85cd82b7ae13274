#include "BundleChooser.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLocale>
#include <QSettings>
#include <QTreeView>
#include <QUrl>

#include <memory>

#include "PathText.h"

namespace morra {

namespace {

const QString kHint = QStringLiteral("Выберите morra.app — программу игры Morra Vellant.");

// The folder list's dates in the window's own (Russian) formats: Qt's file model writes them in
// the system's formats, whatever the program's locale.
class LocalDates final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role == Qt::DisplayRole && index.column() == kDateColumn && files != nullptr)
            return QLocale().toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
        return QIdentityProxyModel::data(index, role);
    }

    static constexpr int kDateColumn = 3;
};

}  // namespace

bool isApplicationBundle(const QString& path) {
    static const QString suffix = QStringLiteral(".app");
    const QFileInfo info(QDir::cleanPath(path));
    const QString name = info.fileName();
    return name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive) && info.isDir();
}

QString enclosingBundle(const QString& path) {
    if (path.isEmpty()) return {};
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList parts = clean.split(QLatin1Char('/'));
    QString prefix;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        prefix = i == 0 ? parts.at(0) : prefix + QLatin1Char('/') + parts.at(i);
        if (!prefix.isEmpty() && isApplicationBundle(prefix)) return prefix;
    }
    return {};
}

QStringList BundleChooser::usualPlaces() {
    const QString home = QDir::homePath();
    QStringList places;
    for (const QString& place : {home + QStringLiteral("/Library/Application Support/Steam/steamapps/common"),
                                 QStringLiteral("/Applications"), home + QStringLiteral("/Applications"), home}) {
        if (QFileInfo(place).isDir() && !places.contains(place)) places << place;
    }
    return places;
}

BundleChooser::BundleChooser(QWidget* parent, const QString& startDirectory) : QFileDialog(parent) {
    setWindowTitle(QStringLiteral("Выберите Morra Vellant"));
    setLabelText(QFileDialog::Accept, QStringLiteral("Выбрать"));
    setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList places = usualPlaces();
#if defined(Q_OS_MACOS)
    // The system's panel shows an application bundle as one item that can be chosen like a file,
    // and does not open it.
    setFileMode(QFileDialog::ExistingFile);
    setNameFilter(QStringLiteral("*.app"));
#else
    // Elsewhere a bundle is an ordinary folder: show folders only; entering a bundle chooses it.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    QList<QUrl> sidebar;
    for (const QString& place : places) sidebar << QUrl::fromLocalFile(place);
    setSidebarUrls(sidebar);
    setProxyModel(new LocalDates(this));
    // The name takes the room the size, type and date leave; those are never cut.
    if (auto* view = findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column <= LocalDates::kDateColumn; ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        hint_ = new QLabel(kHint, this);
        hint_->setWordWrap(true);
        hint_->setTextFormat(Qt::PlainText);
        grid->addWidget(hint_, grid->rowCount(), 0, 1, grid->columnCount());
    }
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& folder) {
        if (const QString bundle = enclosingBundle(folder); !bundle.isEmpty()) choose(bundle);
    });
#endif
    if (!startDirectory.isEmpty()) setDirectory(startDirectory);
    else if (!places.isEmpty()) setDirectory(places.first());
}

void BundleChooser::accept() {
    const QStringList files = selectedFiles();
    const QString bundle = files.size() == 1 ? enclosingBundle(files.first()) : QString();
    if (!bundle.isEmpty()) {
        choose(bundle);
        return;
    }
#if defined(Q_OS_MACOS)
    // The system's panel has already closed by now: a choice it should not have offered ends the
    // chooser without a bundle rather than leaving it waiting for a panel that is gone.
    reject();
#else
    if (files.size() == 1 && QFileInfo(files.first()).isDir()) {
        if (hint_ != nullptr) {
            hint_->setText(QStringLiteral("«%1» — обычная папка, а не программа игры. "
                                          "Откройте папку с игрой и выберите в ней morra.app.")
                               .arg(QFileInfo(QDir::cleanPath(files.first())).fileName()));
        }
        setDirectory(files.first());
    } else if (hint_ != nullptr) {
        hint_->setText(kHint);
    }
#endif
}

void BundleChooser::choose(const QString& bundle) {
    chosen_ = bundle;
    QDialog::accept();
}

std::optional<std::filesystem::path> BundleChooser::chosenBundle() const {
    if (result() != QDialog::Accepted || chosen_.isEmpty()) return std::nullopt;
    return pathFromText(chosen_);
}

namespace {

// Qt's own settings, where its file dialogs keep what they remember; only what is written there.
std::unique_ptr<QSettings> fileDialogSettings() {
    auto settings = std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("QtProject"));
    settings->setFallbacksEnabled(false);
    settings->beginGroup(QStringLiteral("FileDialog"));
    return settings;
}

}  // namespace

FileDialogMemory::FileDialogMemory() {
    const auto settings = fileDialogSettings();
    for (const QString& key : settings->allKeys()) saved_.insert(key, settings->value(key));
}

FileDialogMemory::~FileDialogMemory() {
    const auto settings = fileDialogSettings();
    for (const QString& key : settings->allKeys()) {
        if (!saved_.contains(key)) settings->remove(key);
    }
    for (auto it = saved_.cbegin(); it != saved_.cend(); ++it) {
        if (settings->value(it.key()) != it.value()) settings->setValue(it.key(), it.value());
    }
}

QString BundleChooser::hint() const { return hint_ != nullptr ? hint_->text() : QString(); }

}  // namespace morra
