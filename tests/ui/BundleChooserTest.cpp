#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "BundleChooser.h"
#include "LaunchedWindow.h"
#include "UiTestMain.h"

using morra::BundleChooser;
using morra::enclosingBundle;
using morra::isApplicationBundle;
using morra::test::makeFolder;

class BundleChooserTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;

    QString at(const QString& name) const { return root_.filePath(name); }
    static std::optional<std::filesystem::path> pathOf(const QString& text) {
        return std::filesystem::path(text.toStdString());
    }

private slots:
    void recognisesApplicationBundles() {
        for (const char* name : {"morra.app", "Morra Vellant.APP", "Игра.aPp"})
            QVERIFY(isApplicationBundle(makeFolder(at(QString::fromUtf8(name)))));
        QVERIFY(isApplicationBundle(at(QStringLiteral("morra.app/"))));
        QVERIFY(QFile::link(at(QStringLiteral("morra.app")), at(QStringLiteral("link.app"))));
        QVERIFY(isApplicationBundle(at(QStringLiteral("link.app"))));

        for (const char* name : {".app", "morra.apps", "morra"})
            QVERIFY(!isApplicationBundle(makeFolder(at(QString::fromUtf8(name)))));
        QVERIFY(!isApplicationBundle(morra::test::makeFile(at(QStringLiteral("file.app")))));
        QVERIFY(!isApplicationBundle(at(QStringLiteral("missing.app"))));
        QVERIFY(!isApplicationBundle(QString()));

        // The outermost bundle around a place inside it.
        const QString outer = makeFolder(at(QStringLiteral("Outer.app/Contents/Helpers/Inner.app/Contents")));
        QCOMPARE(enclosingBundle(outer), at(QStringLiteral("Outer.app")));
        QCOMPARE(enclosingBundle(at(QStringLiteral("morra.app/"))), at(QStringLiteral("morra.app")));
        QCOMPARE(enclosingBundle(at(QStringLiteral("morra"))), QString());
    }

    // Qt's own texts in the chooser are Russian, and it opens where the game usually is.
    void russianAndStartsInTheUsualPlaces() {
        const QByteArray home = qgetenv("HOME");
        const QString fakeHome = makeFolder(at(QStringLiteral("home")));
        qputenv("HOME", fakeHome.toUtf8());
        const QString steam = makeFolder(fakeHome + QStringLiteral("/Library/Application Support/Steam/steamapps/common"));
        const QString withSteam = BundleChooser(nullptr).directory().absolutePath();
        QDir(fakeHome + QStringLiteral("/Library")).removeRecursively();
        BundleChooser withoutSteam(nullptr);
        qputenv("HOME", home);

        QCOMPARE(withSteam, steam);
        const QString expected = QFileInfo(QStringLiteral("/Applications")).isDir() ? QStringLiteral("/Applications") : fakeHome;
        QCOMPARE(withoutSteam.directory().absolutePath(), expected);
        QCOMPARE(withoutSteam.windowTitle(), QStringLiteral("Выберите Morra Vellant"));
        QCOMPARE(withoutSteam.labelText(QFileDialog::Accept), QStringLiteral("Выбрать"));
        QCOMPARE(withoutSteam.labelText(QFileDialog::Reject), QStringLiteral("Отмена"));
        QVERIFY(withoutSteam.labelText(QFileDialog::LookIn) != QStringLiteral("Look in:"));
    }

    // A file or a missing name keeps the chooser open; an ordinary folder is opened, with the
    // reason it is not the game; a bundle, or a place inside one, gives the bundle.
    void acceptsOnlyABundle() {
        const QString folder = makeFolder(at(QStringLiteral("Games")));
        makeFolder(at(QStringLiteral("Games/Morra.APP/Contents/Resources")));
        const QString bundle = at(QStringLiteral("Games/Morra.APP"));
        BundleChooser chooser(nullptr, root_.path());
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(root_.path()).canonicalPath());
        QVERIFY(chooser.hint().contains(QStringLiteral("morra.app")));

        for (const QString& refused : {morra::test::makeFile(at(QStringLiteral("fake.app"))),
                                       at(QStringLiteral("missing.app")), folder}) {
            chooser.selectFile(refused);
            chooser.accept();
            QCOMPARE(chooser.result(), int(QDialog::Rejected));
            QCOMPARE(chooser.chosenBundle(), std::nullopt);
        }
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(folder).canonicalPath());
        QVERIFY(chooser.hint().contains(QStringLiteral("«Games» — обычная папка")));

        chooser.selectFile(bundle + QStringLiteral("/Contents"));
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), pathOf(bundle));
    }

    // A double click on a bundle chooses it instead of opening it.
    void doubleClickChoosesABundle() {
        const QString folder = makeFolder(at(QStringLiteral("Library")));
        makeFolder(folder + QStringLiteral("/morra.app/Contents"));
        const QString bundle = folder + QStringLiteral("/morra.app");
        BundleChooser chooser(nullptr, folder);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        // The folder view on show, a list or a table.
        QAbstractItemView* view = nullptr;
        for (const char* name : {"listView", "treeView"}) {
            auto* candidate = chooser.findChild<QAbstractItemView*>(QLatin1String(name));
            if (candidate != nullptr && candidate->isVisible()) view = candidate;
        }
        QVERIFY(view != nullptr);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
        const QModelIndex item = view->model()->index(0, 0, view->rootIndex());
        QCOMPARE(item.data().toString(), QStringLiteral("morra.app"));
        // A click, then the double click the window system makes of a second one.
        const QPoint point = view->visualRect(item).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, point, view->viewport()->mapToGlobal(point), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &doubleClick);
        QTRY_COMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), pathOf(bundle));
        QVERIFY(!chooser.isVisible());
    }

    // Around a chooser, Qt's own file-dialog settings end as they were, where a platform keeps
    // them where the program cannot send them elsewhere (as macOS does).
    void leavesQtsDialogSettingsAsTheyWere() {
        const QString folder = makeFolder(at(QStringLiteral("settings")));
        const QString file = folder + QStringLiteral("/QtProject.conf");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        {
            QSettings settings(file, QSettings::NativeFormat);
            settings.setValue(QStringLiteral("FileDialog/history"), QStringList{QStringLiteral("file:///earlier")});
            settings.setValue(QStringLiteral("Other/kept"), 1);
        }
        const auto keys = [&file] {
            QStringList all = QSettings(file, QSettings::NativeFormat).allKeys();
            all.sort();
            return all;
        };
        const QStringList before = keys();
        {
            const morra::FileDialogMemory memory;
            BundleChooser chooser(nullptr, makeFolder(at(QStringLiteral("Games"))));
            chooser.setDirectory(root_.path());
        }
        const QStringList after = keys();
        const QStringList history =
            QSettings(file, QSettings::NativeFormat).value(QStringLiteral("FileDialog/history")).toStringList();
        // Without it, the chooser leaves what it saw behind (so that this test can fail).
        { BundleChooser chooser(nullptr, makeFolder(at(QStringLiteral("Games")))); }
        const QStringList unguarded = keys();
        morra::keepSettingsNowhere();

        QCOMPARE(after, before);
        QCOMPARE(history, QStringList{QStringLiteral("file:///earlier")});
        QVERIFY(unguarded.contains(QStringLiteral("FileDialog/lastVisited")));
    }
};

MORRA_UI_TEST_MAIN(BundleChooserTest)
#include "BundleChooserTest.moc"
