#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "FittedLabel.h"
#include "LaunchedWindow.h"
#include "MainWindow.h"
#include "UiTestMain.h"

using morra::MainWindow;
using morra::test::dropOn;
using morra::test::makeFolder;

namespace {

double luminance(const QColor& colour) {
    const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowTextsNamesAndIcon() {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Русский (Lumen) для Morra Vellant"));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(window.minimumSize() == window.maximumSize());
        // The application owns the window: closing it must not delete it.
        QVERIFY(!window.testAttribute(Qt::WA_DeleteOnClose));
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((window.geometry().center() - screenCentre).manhattanLength() <= 2);

        // The controls' texts in order down the window (the path line is empty until a search).
        const QStringList texts = {window.headingLabel()->text(),   window.descriptionLabel()->text(),
                                   window.pathLabel()->text(),      window.chooseButton()->text(),
                                   window.statusText(),             window.skillCardsCheckbox()->text(),
                                   window.installButton()->text(), window.removeButton()->text()};
        QCOMPARE(texts, (QStringList{
                            QStringLiteral("РУССКИЙ (LUMEN)"),
                            QStringLiteral("Отдельный язык для macOS-версии Morra Vellant.\n"
                                           "Подходят Steam, GOG и другие копии с совместимыми файлами.\n"
                                           "Официальный русский, сохранения и исполняемые файлы игры не изменяются."),
                            QString(),
                            QStringLiteral("Выбрать morra.app…"),
                            QStringLiteral("Совместимый профиль macOS 57314208"),
                            QStringLiteral("Русские названия навыков на карточках (снимите галочку для отката)"),
                            QStringLiteral("УСТАНОВИТЬ"),
                            QStringLiteral("Удалить перевод"),
                        }));
        QVERIFY(window.skillCardsCheckbox()->isChecked());

        // Every control, the progress bar and the lines that change have a name and a description
        // for assistive technology.
        QWidgetList described = {window.pathLabel(), window.statusLabel(), window.detailsView(),
                                 window.progressBar(), window.progressLabel()};
        for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) described << button;
        window.showPath(QStringLiteral("/Applications/morra.app"));
        window.showStatus(QStringLiteral("Перевод ещё не установлен."));
        window.showProgress(0.25, QStringLiteral("Проверка файлов… 25\u00a0%"));
        for (QWidget* widget : described) {
            const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible != nullptr);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), widget->metaObject()->className());
            QVERIFY2(!accessible->text(QAccessible::Description).isEmpty(), widget->metaObject()->className());
        }
        // A new status is heard whole, also where the line shows only part of it; the progress as
        // a value with its step as the description.
        const QString longStatus = QStringLiteral("Первое предложение итога. ").repeated(12);
        window.showStatus(longStatus);
        QVERIFY(!window.statusLabel()->showsAll());
        QCOMPARE(QAccessible::queryAccessibleInterface(window.statusLabel())->text(QAccessible::Name), longStatus);
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window.progressBar());
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), window.progressBar()->maximum() / 4);
        QCOMPARE(bar->text(QAccessible::Description), QStringLiteral("Проверка файлов… 25\u00a0%"));
    }

    // The lesser texts follow a light or a dark appearance and stay readable in both.
    void secondaryTextFollowsThePalette() {
        MainWindow window;
        const QPalette original = QApplication::palette();
        for (const bool dark : {true, false}) {
            QPalette palette = original;
            palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(246, 246, 246));
            palette.setColor(QPalette::WindowText, dark ? QColor(235, 235, 235) : QColor(20, 20, 20));
            QApplication::setPalette(palette);
            QCoreApplication::processEvents();
            for (QLabel* label : {window.descriptionLabel(), static_cast<QLabel*>(window.pathLabel())}) {
                const QColor text = label->palette().color(QPalette::WindowText);
                const QColor background = window.palette().color(QPalette::Window);
                QCOMPARE(text.lightnessF() > 0.5, dark);
                QVERIFY(contrast(text, background) >= 4.5);
                QVERIFY(text != palette.color(QPalette::WindowText));
            }
        }
        QApplication::setPalette(original);
    }

    void dropAcceptsExactlyOneApplicationBundle() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString bundle = makeFolder(root.filePath(QStringLiteral("Morra Vellant.APP")));
        MainWindow window;
        QSignalSpy dropped(&window, &MainWindow::bundleDropped);

        QVERIFY(!dropOn(window, {makeFolder(root.filePath(QStringLiteral("Games")))}));
        QVERIFY(!dropOn(window, {morra::test::makeFile(root.filePath(QStringLiteral("fake.app")))}));
        QVERIFY(!dropOn(window, {bundle, makeFolder(root.filePath(QStringLiteral("other.app")))}));
        QVERIFY(!dropOn(window, {root.filePath(QStringLiteral("missing.app"))}));
        QVERIFY(!dropOn(window, {}, bundle));
        QCOMPARE(dropped.count(), 0);

        // A bundle named with a trailing separator, as file managers give folders.
        QVERIFY(dropOn(window, {bundle + QLatin1Char('/')}));
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).value<std::filesystem::path>(), std::filesystem::path(bundle.toStdString()));

        // Not while choosing is not possible.
        window.chooseButton()->setEnabled(false);
        QVERIFY(!dropOn(window, {bundle}));
        QCOMPARE(dropped.count(), 1);
    }
};

MORRA_UI_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
