// What the window does when the system stands in the way: it offers the settings where the
// installer can be allowed to change the game, and it says so when the program's own resources
// are missing instead of vanishing.
#include <QDesktopServices>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "InstallerError.h"
#include "LaunchedWindow.h"
#include "UiTestMain.h"

using morra::InstallerError;
using morra::test::ShownDialog;
namespace fs = std::filesystem;

namespace {

const QString kSettings = QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_AppBundles");
const QString kOpenSettings = QStringLiteral("Открыть настройки");

// Stands in for the system's handler of the settings addresses.
class SettingsOpener : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl& url) { opened << url; }
};

}  // namespace

class SystemRefusalsTest : public QObject {
    Q_OBJECT

private slots:
    // Only the system's refusal, and only where the system has such settings, gets the button
    // that opens them; Return presses it.
    void refusalOffersTheSettings_data() {
        QTest::addColumn<bool>("refusal");
        QTest::addColumn<bool>("settingsExist");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("refused, settings") << true << true << QStringList{kOpenSettings, QStringLiteral("OK")};
        QTest::newRow("refused, no settings") << true << false << QStringList{QStringLiteral("OK")};
        QTest::newRow("another failure") << false << true << QStringList{QStringLiteral("OK")};
    }

    void refusalOffersTheSettings() {
        QFETCH(bool, refusal);
        QFETCH(bool, settingsExist);
        QFETCH(QStringList, buttons);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const fs::path game = morra::test::makeFolder(root.filePath(QStringLiteral("morra.app"))).toStdString();
        const std::string text = "Система не разрешила изменить файлы игры: " + game.string() + "/x";
        morra::InstallerOperations operations;
        operations.discoverGame = [game] { return std::optional(game); };
        operations.installationState = [](const fs::path&) { return morra::InstallationState::NotInstalled; };
        operations.install = [&](const fs::path&, bool, const morra::ProgressCallback&) -> std::string {
            throw InstallerError(text, refusal ? InstallerError::Kind::AppManagement : InstallerError::Kind::General);
        };
        if (settingsExist) operations.appManagementSettings = kSettings.toStdString();
        SettingsOpener opener;
        QDesktopServices::setUrlHandler(QStringLiteral("x-apple.systempreferences"), &opener, "open");

        morra::test::LaunchedWindow app(operations);
        QStringList shownButtons;
        app.dialogs->expect([&](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            for (QAbstractButton* button : box.buttons()) shownButtons << button->text();
            box.defaultButton()->click();
        });
        QVERIFY(app.runAndWait(app.window().installButton()));
        QDesktopServices::unsetUrlHandler(QStringLiteral("x-apple.systempreferences"));

        const ShownDialog& alert = app.dialogs->shown().back();
        QCOMPARE(alert.text, QStringLiteral("Установка остановлена"));
        QCOMPARE(alert.informativeText, QString::fromStdString(text));
        QCOMPARE(alert.icon, QMessageBox::Critical);
        shownButtons.sort();
        buttons.sort();
        QCOMPARE(shownButtons, buttons);
        QCOMPARE(alert.escapeButton, QStringLiteral("OK"));
        QCOMPARE(opener.opened, buttons.contains(kOpenSettings) ? QList<QUrl>{QUrl(kSettings)} : QList<QUrl>{});
        QCOMPARE(app.status(), QString::fromStdString(text));
        QCOMPARE(app.dialogs->unexpected(), 0);
    }

    void missingResourcesAreToldBeforeQuitting() {
        morra::test::ScriptedDialogs dialogs;
        dialogs.expect([](QDialog& dialog) { dynamic_cast<QMessageBox&>(dialog).defaultButton()->click(); });
        QCOMPARE(morra::reportMissingResources(dialogs), 0);
        QCOMPARE(dialogs.shown().size(), std::size_t(1));
        const ShownDialog& alert = dialogs.shown().front();
        QCOMPARE(alert.text, QStringLiteral("Установщик не может работать"));
        QCOMPARE(alert.informativeText,
                 QStringLiteral("Установщик не нашёл собственных файлов с переводом: его копия неполна или повреждена. "
                                "Скачайте установщик заново и запустите новую копию.\nApplication resources are unavailable"));
        QCOMPARE(alert.icon, QMessageBox::Critical);
        QCOMPARE(alert.defaultButton, QStringLiteral("Завершить"));
        QCOMPARE(alert.escapeButton, QStringLiteral("Завершить"));
    }

    // The program itself, copied away from its resources, waits with that alert instead of ending.
    void programWithoutResourcesWaitsWithTheAlert() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString copy = root.filePath(QStringLiteral("bin/MorraRussianLumenInstaller"));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("bin"))));
        QVERIFY(QFile::copy(QStringLiteral(MORRA_PROGRAM), copy));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.start(copy, {});
        QVERIFY(program.waitForStarted());
        QByteArray error;
        QTRY_VERIFY_WITH_TIMEOUT((error += program.readAllStandardError()).contains("Application resources are unavailable\n"),
                                 20000);
        QVERIFY(!program.waitForFinished(1500));
        program.kill();
        program.waitForFinished();
    }
};

MORRA_UI_TEST_MAIN(SystemRefusalsTest)
#include "SystemRefusalsTest.moc"
