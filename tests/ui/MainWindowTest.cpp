#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "LaunchedWindow.h"
#include "MainWindow.h"

using morra::MainWindow;
using morra::test::dropOn;
using morra::test::makeFolder;

namespace {

int top(const QWidget* widget, const QWidget* window) { return widget->mapTo(window, QPoint(0, 0)).y(); }
int bottom(const QWidget* widget, const QWidget* window) { return top(widget, window) + widget->height(); }

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowAndItsTexts() {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Русский (Lumen) для Morra Vellant"));
        QCOMPARE(window.minimumSize(), QSize(660, 470));
        QCOMPARE(window.maximumSize(), QSize(660, 470));
        // The application owns the window: closing it must not delete it.
        QVERIFY(!window.testAttribute(Qt::WA_DeleteOnClose));
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((window.geometry().center() - screenCentre).manhattanLength() <= 2);

        // The controls' texts in order down the window (the path line is empty until a search).
        const QStringList texts = {window.headingLabel()->text(),   window.descriptionLabel()->text(),
                                   window.pathLabel()->text(),      window.chooseButton()->text(),
                                   window.statusLabel()->text(),    window.skillCardsCheckbox()->text(),
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
        // The path is shown in a fixed-pitch font; the labels are centred.
        QVERIFY(QFontInfo(window.pathLabel()->font()).fixedPitch());
        for (QLabel* label : {window.headingLabel(), window.descriptionLabel(), window.pathLabel(),
                              window.statusLabel()})
            QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }

    void stackIsLaidOutCentredWithoutOverlaps() {
        MainWindow window;
        window.pathLabel()->setText(QStringLiteral("/Applications/morra.app"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QRect stack = window.mainStack()->geometry();
        QCOMPARE(stack.left(), 42);
        QCOMPARE(stack.width(), 660 - 2 * 42);
        QVERIFY(qAbs(stack.center().y() - window.rect().center().y()) <= 1);

        // Full-width labels; natural-width heading, choose button and check box, centred.
        for (QWidget* full : QWidgetList{window.descriptionLabel(), window.pathLabel(), window.statusLabel()})
            QCOMPARE(full->width(), stack.width());
        for (QWidget* natural : QWidgetList{window.headingLabel(), window.chooseButton(), window.skillCardsCheckbox()}) {
            QCOMPARE(natural->width(), natural->sizeHint().width());
            QVERIFY(qAbs(natural->geometry().center().x() - stack.width() / 2) <= 1);
        }

        // The busy indicator is indeterminate and shows below the status without moving anything.
        QCOMPARE(window.busyIndicator()->maximum(), 0);
        const int checkboxTop = top(window.skillCardsCheckbox(), &window);
        window.busyIndicator()->show();
        QCoreApplication::processEvents();
        QVERIFY(top(window.busyIndicator(), &window) >= bottom(window.statusLabel(), &window));
        QVERIFY(bottom(window.busyIndicator(), &window) <= checkboxTop);
        QCOMPARE(top(window.skillCardsCheckbox(), &window), checkboxTop);

        const QWidgetList order = {window.headingLabel(), window.descriptionLabel(), window.pathLabel(),
                                       window.chooseButton(), window.statusLabel(),
                                       window.skillCardsCheckbox(), window.buttonRow()};
        for (int i = 1; i < order.size(); ++i) QVERIFY(top(order[i], &window) >= bottom(order[i - 1], &window));
        QVERIFY(bottom(window.buttonRow(), &window) <= 470);

        // Two equal buttons 12 apart fill a centred row 430 wide.
        const QRect row = window.buttonRow()->geometry();
        const QRect install = window.installButton()->geometry();
        const QRect remove = window.removeButton()->geometry();
        QCOMPARE(row.width(), 430);
        QVERIFY(qAbs(row.center().x() - stack.width() / 2) <= 1);
        QCOMPARE(install.width(), remove.width());
        QCOMPARE(remove.left() - install.right() - 1, 12);
        QCOMPARE(install.height(), 46);
    }

    void returnPressesInstallWhileItIsEnabled() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy installs(window.installButton(), &QPushButton::clicked);
        QSignalSpy removes(window.removeButton(), &QPushButton::clicked);

        // Even with the focus on remove or on the check box.
        window.removeButton()->setFocus();
        QTest::keyClick(window.removeButton(), Qt::Key_Return);
        window.skillCardsCheckbox()->setFocus();
        QTest::keyClick(window.skillCardsCheckbox(), Qt::Key_Enter);
        QCOMPARE(installs.count(), 2);
        QCOMPARE(removes.count(), 0);
        QVERIFY(window.skillCardsCheckbox()->isChecked());

        window.installButton()->setEnabled(false);
        QTest::keyClick(&window, Qt::Key_Return);
        QCOMPARE(installs.count(), 2);
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

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
