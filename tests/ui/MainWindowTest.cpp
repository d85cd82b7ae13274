#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>

#include "MainWindow.h"

using morra::MainWindow;

namespace {

QString makeFolder(const QTemporaryDir& root, const QString& name) {
    const QString path = root.filePath(name);
    if (!QDir().mkpath(path)) qFatal("cannot create %s", qPrintable(path));
    return path;
}

QString makeFile(const QTemporaryDir& root, const QString& name) {
    const QString path = root.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot create %s", qPrintable(path));
    return path;
}

std::unique_ptr<QMimeData> urlsData(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// Sends a drag-enter and, when it is accepted, the drop; returns whether the window took the drop.
bool dragAndDrop(MainWindow& window, const QMimeData* data) {
    const QPoint inside(window.width() / 2, window.height() / 2);
    QDragEnterEvent enter(inside, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(inside), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void windowHasFixedSizeAndTitle() {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Русский (Lumen) для Morra Vellant"));
        QCOMPARE(window.size(), QSize(660, 470));
        QCOMPARE(window.minimumSize(), QSize(660, 470));
        QCOMPARE(window.maximumSize(), QSize(660, 470));
        QVERIFY(!window.testAttribute(Qt::WA_DeleteOnClose));
        const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((window.geometry().center() - screenCentre).manhattanLength() <= 2);
    }

    void sevenControlsInOrderWithTheirTexts() {
        MainWindow window;
        auto* stack = qobject_cast<QVBoxLayout*>(window.mainStack()->layout());
        QVERIFY(stack != nullptr);
        QCOMPARE(stack->count(), 7);
        QCOMPARE(stack->itemAt(0)->widget(), window.headingLabel());
        QCOMPARE(stack->itemAt(1)->widget(), window.descriptionLabel());
        QCOMPARE(stack->itemAt(2)->widget(), window.pathLabel());
        QCOMPARE(stack->itemAt(3)->widget(), window.chooseButton());
        QVERIFY(stack->itemAt(4)->widget()->isAncestorOf(window.statusLabel()));
        QVERIFY(stack->itemAt(4)->widget()->isAncestorOf(window.busyIndicator()));
        QCOMPARE(stack->itemAt(5)->widget(), window.skillCardsCheckbox());
        QCOMPARE(stack->itemAt(6)->widget(), window.buttonRow());
        QVERIFY(window.buttonRow()->isAncestorOf(window.installButton()));
        QVERIFY(window.buttonRow()->isAncestorOf(window.removeButton()));

        QCOMPARE(window.headingLabel()->text(), QStringLiteral("РУССКИЙ (LUMEN)"));
        QCOMPARE(window.descriptionLabel()->text(),
                 QStringLiteral("Отдельный язык для macOS-версии Morra Vellant.\n"
                                "Подходят Steam, GOG и другие копии с совместимыми файлами.\n"
                                "Официальный русский, сохранения и исполняемые файлы игры не изменяются."));
        QCOMPARE(window.pathLabel()->text(), QString());
        QCOMPARE(window.chooseButton()->text(), QStringLiteral("Выбрать morra.app…"));
        QCOMPARE(window.statusLabel()->text(), QStringLiteral("Совместимый профиль macOS 57314208"));
        QCOMPARE(window.skillCardsCheckbox()->text(),
                 QStringLiteral("Русские названия навыков на карточках (снимите галочку для отката)"));
        QVERIFY(window.skillCardsCheckbox()->isChecked());
        QCOMPARE(window.installButton()->text(), QStringLiteral("УСТАНОВИТЬ"));
        QCOMPARE(window.removeButton()->text(), QStringLiteral("Удалить перевод"));

        for (QLabel* label : {window.headingLabel(), window.descriptionLabel(), window.pathLabel(),
                              window.statusLabel()}) {
            QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        }
        for (QLabel* label : {window.descriptionLabel(), window.pathLabel(), window.statusLabel()})
            QVERIFY(label->wordWrap());
    }

    void fontsHaveTheirSizesAndWeights() {
        MainWindow window;
        struct Expected {
            QWidget* widget;
            int size;
            int weight;
        };
        const Expected expected[] = {
            {window.headingLabel(), 28, QFont::Bold},
            {window.descriptionLabel(), 14, QFont::Normal},
            {window.pathLabel(), 11, QFont::Normal},
            {window.statusLabel(), 14, QFont::Medium},
            {window.skillCardsCheckbox(), 13, QFont::Normal},
            {window.installButton(), 16, QFont::DemiBold},
        };
        for (const Expected& e : expected) {
            QCOMPARE(e.widget->font().pixelSize(), e.size);
            QCOMPARE(e.widget->font().weight(), e.weight);
        }
        QVERIFY(QFontInfo(window.pathLabel()->font()).fixedPitch());
        QVERIFY(!QFontInfo(window.statusLabel()->font()).fixedPitch());
        // The choose and remove buttons keep the default font.
        QCOMPARE(window.chooseButton()->font(), QApplication::font(window.chooseButton()));
        QCOMPARE(window.removeButton()->font(), QApplication::font(window.removeButton()));
    }

    void stackIsLaidOutWithItsMarginsAndSpacing() {
        MainWindow window;
        window.pathLabel()->setText(QStringLiteral("/Applications/morra.app"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QRect stack = window.mainStack()->geometry();
        QCOMPARE(stack.left(), 42);
        QCOMPARE(stack.width(), 660 - 2 * 42);
        QVERIFY(qAbs(stack.center().y() - window.rect().center().y()) <= 1);
        QCOMPARE(window.mainStack()->layout()->spacing(), 18);

        // Full-width labels; natural-width heading, choose button and check box, centred.
        for (QWidget* full : {static_cast<QWidget*>(window.descriptionLabel()),
                              static_cast<QWidget*>(window.pathLabel()),
                              static_cast<QWidget*>(window.statusLabel())})
            QCOMPARE(full->width(), stack.width());
        for (QWidget* natural : {static_cast<QWidget*>(window.headingLabel()),
                                 static_cast<QWidget*>(window.chooseButton()),
                                 static_cast<QWidget*>(window.skillCardsCheckbox())}) {
            QCOMPARE(natural->width(), natural->sizeHint().width());
            QVERIFY(qAbs(natural->geometry().center().x() - stack.width() / 2) <= 1);
        }

        // Controls follow one another top to bottom without overlapping.
        const QList<QWidget*> order = {window.headingLabel(), window.descriptionLabel(), window.pathLabel(),
                                       window.chooseButton(), window.statusLabel(),
                                       window.skillCardsCheckbox(), window.buttonRow()};
        for (int i = 1; i < order.size(); ++i) {
            const int previousBottom = order[i - 1]->mapTo(&window, QPoint(0, order[i - 1]->height())).y();
            QVERIFY(order[i]->mapTo(&window, QPoint(0, 0)).y() >= previousBottom);
        }
        QVERIFY(window.buttonRow()->mapTo(&window, QPoint(0, window.buttonRow()->height())).y() <= 470);

        const QRect row = window.buttonRow()->geometry();
        QCOMPARE(row.width(), 430);
        QVERIFY(qAbs(row.center().x() - stack.width() / 2) <= 1);
        const QRect install = window.installButton()->geometry();
        const QRect remove = window.removeButton()->geometry();
        QCOMPARE(install.width(), remove.width());
        QCOMPARE(remove.left() - install.right() - 1, 12);
        QCOMPARE(install.left(), 0);
        QCOMPARE(remove.right(), 429);
        QCOMPARE(install.height(), 46);
    }

    void busyIndicatorIsIndeterminateAndHoldsItsPlace() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.busyIndicator()->isHidden());
        QCOMPARE(window.busyIndicator()->minimum(), 0);
        QCOMPARE(window.busyIndicator()->maximum(), 0);

        const QPoint checkboxBefore = window.skillCardsCheckbox()->mapTo(&window, QPoint(0, 0));
        window.busyIndicator()->show();
        QCoreApplication::processEvents();
        const QPoint indicator = window.busyIndicator()->mapTo(&window, QPoint(0, 0));
        QVERIFY(indicator.y() >= window.statusLabel()->mapTo(&window, QPoint(0, window.statusLabel()->height())).y());
        QVERIFY(indicator.y() + window.busyIndicator()->height() <= checkboxBefore.y());
        QCOMPARE(window.skillCardsCheckbox()->mapTo(&window, QPoint(0, 0)), checkboxBefore);
    }

    void returnPressesInstallWhileItIsEnabled() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy installs(window.installButton(), &QPushButton::clicked);
        QSignalSpy removes(window.removeButton(), &QPushButton::clicked);

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
        const QString bundle = makeFolder(root, QStringLiteral("Morra Vellant.APP"));
        const QString other = makeFolder(root, QStringLiteral("other.app"));
        const QString folder = makeFolder(root, QStringLiteral("Games"));
        const QString plainFile = makeFile(root, QStringLiteral("fake.app"));

        MainWindow window;
        QSignalSpy dropped(&window, &MainWindow::bundleDropped);

        QVERIFY(!dragAndDrop(window, urlsData({folder}).get()));
        QVERIFY(!dragAndDrop(window, urlsData({plainFile}).get()));
        QVERIFY(!dragAndDrop(window, urlsData({bundle, other}).get()));
        QVERIFY(!dragAndDrop(window, urlsData({root.filePath(QStringLiteral("missing.app"))}).get()));
        auto text = std::make_unique<QMimeData>();
        text->setText(bundle);
        QVERIFY(!dragAndDrop(window, text.get()));
        QCOMPARE(dropped.count(), 0);

        // A bundle named with a trailing separator, as file managers give folders.
        auto withSlash = std::make_unique<QMimeData>();
        withSlash->setUrls({QUrl::fromLocalFile(bundle + QLatin1Char('/'))});
        QVERIFY(dragAndDrop(window, withSlash.get()));
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).value<std::filesystem::path>(), std::filesystem::path(bundle.toStdString()));

        // Not while choosing is not possible.
        window.chooseButton()->setEnabled(false);
        QVERIFY(!dragAndDrop(window, urlsData({bundle}).get()));
        QCOMPARE(dropped.count(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
