// What the window does when the system stands in the way: it offers the settings where the
// installer can be allowed to change the game, and it says so when the program's own resources
// are missing instead of vanishing.
#include <QDesktopServices>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "InstallerError.h"
#include "LaunchedWindow.h"

using morra::InstallerError;
using morra::test::ShownDialog;
namespace fs = std::filesystem;

namespace {

const QString kSettings = QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_AppBundles");
const QString kPrivacy = QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy");
const QString kUnopened = QStringLiteral("x-morra-unopened:app-management");
const QString kOpenSettings = QStringLiteral("Открыть настройки");

// Stands in for the system's handler of the settings addresses.
class SettingsOpener : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl& url) { opened << url; }
};

// Finds the game untouched and refuses to install into it with `text` of `kind`.
struct RefusingEngine final : morra::InstallerEngine {
    RefusingEngine(fs::path game, std::string text, InstallerError::Kind kind)
        : InstallerEngine(nullptr), game(std::move(game)), text(std::move(text)), kind(kind) {}
    fs::path game;
    std::string text;
    InstallerError::Kind kind;
    std::optional<fs::path> discoverGame() const override { return game; }
    bool heldByAnotherInstaller(const fs::path&) const override { return false; }
    morra::InstallationState installationState(const fs::path&) const override {
        return morra::InstallationState::NotInstalled;
    }
    std::string install(const fs::path&, morra::SkillCards, const morra::ProgressCallback&) const override {
        throw InstallerError(text, kind);
    }
};

}  // namespace

class SystemRefusalsTest : public QObject {
    Q_OBJECT

private slots:
    // Only the system's refusal, and only where the system has such settings, gets the button
    // that opens them; Return presses it, and an address the system does not open gives way to the
    // next one.
    void refusalOffersTheSettings_data() {
        QTest::addColumn<bool>("refusal");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("opened");
        const QStringList both = {kUnopened, kPrivacy};
        QTest::newRow("refused, settings") << true << QStringList{kSettings} << QStringList{kOpenSettings, "OK"} << kSettings;
        QTest::newRow("refused, first not opened") << true << both << QStringList{kOpenSettings, "OK"} << kPrivacy;
        QTest::newRow("refused, no settings") << true << QStringList{} << QStringList{"OK"} << QString();
        QTest::newRow("another failure") << false << QStringList{kSettings} << QStringList{"OK"} << QString();
    }

    void refusalOffersTheSettings() {
        QFETCH(bool, refusal);
        QFETCH(QStringList, addresses);
        QFETCH(QStringList, buttons);
        QFETCH(QString, opened);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const fs::path game = morra::test::makeFolder(root.filePath(QStringLiteral("morra.app"))).toStdString();
        const std::string text = "Система не разрешила изменить файлы игры: " + game.string() + "/x";
        auto engine = std::make_shared<RefusingEngine>(game, text, refusal ? InstallerError::Kind::AppManagement
                                                                           : InstallerError::Kind::General);
        morra::SystemFacts system;
        for (const QString& address : addresses) system.appManagementSettings.push_back(address.toStdString());
        SettingsOpener opener;
        QDesktopServices::setUrlHandler(QStringLiteral("x-apple.systempreferences"), &opener, "open");
        // A handler that cannot be called: the system did not open the address.
        QDesktopServices::setUrlHandler(QStringLiteral("x-morra-unopened"), &opener, "missing");

        morra::test::LaunchedWindow app(engine, true, system);
        QStringList shownButtons;
        app.dialogs->expect([&](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            for (QAbstractButton* button : box.buttons()) shownButtons << button->text();
            box.defaultButton()->click();
        });
        QVERIFY(app.runAndWait(app.window().installButton()));
        QDesktopServices::unsetUrlHandler(QStringLiteral("x-apple.systempreferences"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("x-morra-unopened"));

        const ShownDialog& alert = app.dialogs->shown().back();
        QCOMPARE(alert.text, QStringLiteral("Установка остановлена"));
        QCOMPARE(alert.informativeText, QString::fromStdString(text));
        QCOMPARE(alert.icon, QMessageBox::Critical);
        shownButtons.sort();
        buttons.sort();
        QCOMPARE(shownButtons, buttons);
        QCOMPARE(alert.escapeButton, QStringLiteral("OK"));
        QCOMPARE(opener.opened, opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(opened)});
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
