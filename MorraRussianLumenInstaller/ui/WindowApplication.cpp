#include "WindowApplication.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

#include <cstdio>
#include <memory>

#include "Alert.h"
#include "AppDelegate.h"
#include "InstallerEngine.h"

namespace morra {

namespace {

// A folder that can never be created (its parent is a device, not a folder): settings files put
// under it are never written.
const QString kNowhere = QStringLiteral("/dev/null/MorraRussianLumenInstaller");

// Qt's Russian translation still has some texts under the names their classes had before Qt 6
// (the file list's "Folder" is QFileDialog's there, QAbstractFileIconProvider's in Qt 6): they
// are looked up under the old name as well.
class EarlierContexts final : public QTranslator {
public:
    explicit EarlierContexts(const QTranslator& qt, QObject* parent) : QTranslator(parent), qt_(qt) {}

    QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
        Q_UNUSED(disambiguation)
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        return qt_.translate("QFileDialog", source, nullptr, n);
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator& qt_;
};

}  // namespace

QStringList qtTranslationFolders() {
    QStringList folders;
#if defined(Q_OS_MACOS)
    folders << QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources/translations"));
#endif
    folders << QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    return folders;
}

void keepSettingsNowhere() {
    // Qt's file dialog keeps its recent folders in a "QtProject" settings file in the user's home.
    // The program stores nothing: settings files of the user's scope go where they cannot be
    // written. (On macOS the native settings are the user's preferences, which no path moves:
    // there FileDialogMemory puts them back as they were after each chooser.)
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, kNowhere);
}

void prepareApplication(QApplication& application) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto* translator = new QTranslator(&application);
    for (const QString& folder : qtTranslationFolders()) {
        if (translator->load(QStringLiteral("qtbase_ru"), folder)) {
            QCoreApplication::installTranslator(new EarlierContexts(*translator, &application));
            QCoreApplication::installTranslator(translator);
            break;
        }
    }

    keepSettingsNowhere();

    application.setWindowIcon(MainWindow::programIcon());
}

int reportMissingResources(DialogRunner& dialogs) {
    std::fprintf(stderr, "%s\n", core::kResourcesUnavailable);
    QMessageBox alert;
    prepareAlert(alert, QStringLiteral("Установщик не может работать"),
                 QString::fromUtf8(core::resourcesUnavailableText()), QMessageBox::Critical);
    QPushButton* quit = alert.addButton(QStringLiteral("Завершить"), QMessageBox::AcceptRole);
    alert.setDefaultButton(quit);
    alert.setEscapeButton(quit);
    dialogs.run(alert);
    return 0;
}

int runWindowApplication(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("MorraRussianLumenInstaller"));
    // Closing the one window ends the program.
    application.setQuitOnLastWindowClosed(true);
    prepareApplication(application);

    auto engine = std::make_shared<const api::InstallerEngine>();
    if (!engine->resourcesAvailable()) {
        ModalDialogRunner dialogs;
        return reportMissingResources(dialogs);
    }
    AppDelegate delegate(std::move(engine), std::make_unique<ModalDialogRunner>());
    delegate.applicationDidFinishLaunching();
    return application.exec();
}

}  // namespace morra
