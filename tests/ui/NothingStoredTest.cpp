// The program stores nothing: with home and configuration folders in a fresh temporary folder (set
// before the application exists), the window is launched, its chooser shown, moved about and
// accepted, the window closed; nothing may have been written under that folder.
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "LaunchedWindow.h"

namespace {

// Shows each dialog in its own modal loop: the chooser visits a few folders and gives the bundle;
// anything else is rejected.
class ShowingDialogs final : public morra::DialogRunner {
public:
    explicit ShowingDialogs(QString bundle) : bundle_(std::move(bundle)) {}

    int run(QDialog& dialog) override {
        QTimer::singleShot(200, &dialog, [this, &dialog] {
            auto* chooser = qobject_cast<QFileDialog*>(&dialog);
            if (chooser == nullptr) return dialog.reject();
            chooser->setDirectory(QDir::homePath());
            chooser->setDirectory(QFileInfo(bundle_).absolutePath());
            chooser->setDirectory(bundle_);
            QMetaObject::invokeMethod(chooser, "accept");
        });
        ++shown;
        return dialog.exec();
    }

    int shown = 0;

private:
    QString bundle_;
};

QStringList everythingUnder(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) found << it.next();
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    const QString config = home.filePath(QStringLiteral(".config"));
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir games;
    const QString bundle = morra::test::makeFolder(games.filePath(QStringLiteral("Games/morra.app")));

    int failures = 0;
    {
        QApplication application(argc, argv);
        morra::prepareApplication(application);
        auto dialogs = std::make_unique<ShowingDialogs>(bundle);
        ShowingDialogs* shown = dialogs.get();
        {
            morra::AppDelegate delegate(std::make_shared<const morra::test::FakeEngine>(), std::move(dialogs));
            delegate.applicationDidFinishLaunching();
            delegate.choosePressed();
            if (shown->shown != 1 || delegate.gameBundle() != std::optional(std::filesystem::path(bundle.toStdString()))) {
                std::fprintf(stderr, "FAIL: the chooser did not give the bundle\n");
                ++failures;
            }
            if (!QTest::qWaitFor([&delegate] { return !delegate.isChecking(); }, 10000)) ++failures;
            delegate.window()->close();
        }
    }
    const QStringList written = everythingUnder(home.path());
    for (const QString& file : written) std::fprintf(stderr, "FAIL: written under the home folder: %s\n", qPrintable(file));
    failures += static_cast<int>(written.size());
    if (failures == 0) std::printf("PASS: nothing written under the home folder\n");
    return failures == 0 ? 0 : 1;
}
