#include <QAccessible>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include "LaunchedWindow.h"
#include "MainWindow.h"

using morra::MainWindow;
using morra::test::dropOn;
using morra::test::makeFolder;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // Every control, the progress and the lines that change have a name and a description for
    // assistive technology; a new status is heard whole, also where the line shows only part of it.
    void accessibleNamesAndDescriptions() {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Русский (Lumen) для Morra Vellant"));
        QWidgetList described = {window.pathLabel(), window.statusLabel(), window.detailsView(),
                                 window.progressBar(), window.progressLabel()};
        for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) described << button;
        window.showPath(QStringLiteral("/Applications/morra.app"));
        window.showProgress(0.25, QStringLiteral("Проверка файлов… 25\u00a0%"));
        const QString longStatus = QStringLiteral("Первое предложение итога. ").repeated(12);
        window.showStatus(longStatus);
        for (QWidget* widget : described) {
            const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible != nullptr);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), widget->metaObject()->className());
            QVERIFY2(!accessible->text(QAccessible::Description).isEmpty(), widget->metaObject()->className());
        }
        QVERIFY(!window.statusLabel()->showsAll());
        QCOMPARE(QAccessible::queryAccessibleInterface(window.statusLabel())->text(QAccessible::Name), longStatus);
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window.progressBar());
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), window.progressBar()->maximum() / 4);
        QCOMPARE(bar->text(QAccessible::Description), QStringLiteral("Проверка файлов… 25\u00a0%"));
    }

    // A status is shown once: in its line when it fits there, else alone in the place below when
    // it fits there (longer ones: AppDelegateTest). The controls under it never move. The description ends no line with a lone word.
    void statusIsShownOnce_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("inLine");
        QTest::addColumn<bool>("inDetails");
        const QString result = QStringLiteral("Готово. Официальный русский не изменён.\n"
                                              "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n"
                                              "Названия навыков на карточках переведены.");
        QTest::newRow("short") << QStringLiteral("Перевод ещё не установлен.") << true << false;
        QTest::newRow("fits the place below") << result << false << true;
    }

    void statusIsShownOnce() {
        QFETCH(QString, text);
        QFETCH(bool, inLine);
        QFETCH(bool, inDetails);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint checkbox = window.skillCardsCheckbox()->mapTo(&window, QPoint(0, 0));
        window.showStatus(text);
        QCOMPARE(window.statusLabel()->isVisible(), inLine);
        QCOMPARE(window.detailsShown(), inDetails);
        QCOMPARE(window.detailsView()->toPlainText(), inDetails ? text : QString());
        QCOMPARE(window.skillCardsCheckbox()->mapTo(&window, QPoint(0, 0)), checkbox);

        const QFontMetrics metrics(window.descriptionLabel()->font());
        for (const QString& line : window.descriptionLabel()->text().split(QLatin1Char('\n'))) {
            QVERIFY2(line.contains(QLatin1Char(' ')), qPrintable(line));
            QVERIFY(metrics.horizontalAdvance(line) <= window.descriptionLabel()->contentsRect().width());
        }
    }

    // One application bundle is one item: exactly one, existing, a folder, and only while choosing is possible.
    void dropAcceptsExactlyOneApplicationBundle() {
        QTemporaryDir root;
        const QString bundle = makeFolder(root.filePath(QStringLiteral("Morra Vellant.APP")));
        MainWindow window;
        QSignalSpy dropped(&window, &MainWindow::bundleDropped);
        QVERIFY(!dropOn(window, {makeFolder(root.filePath(QStringLiteral("Games")))}));
        QVERIFY(!dropOn(window, {morra::test::makeFile(root.filePath(QStringLiteral("fake.app")))}));
        QVERIFY(!dropOn(window, {bundle, makeFolder(root.filePath(QStringLiteral("other.app")))}));
        QVERIFY(!dropOn(window, {root.filePath(QStringLiteral("missing.app"))}));
        QVERIFY(!dropOn(window, {}, bundle));
        QCOMPARE(dropped.count(), 0);
        QVERIFY(dropOn(window, {bundle + QLatin1Char('/')}));  // as file managers name folders
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).value<std::filesystem::path>(), std::filesystem::path(bundle.toStdString()));
        window.chooseButton()->setEnabled(false);
        QVERIFY(!dropOn(window, {bundle}));
        QCOMPARE(dropped.count(), 1);
    }
};

MORRA_UI_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
