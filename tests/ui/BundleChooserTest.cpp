#include <QAbstractItemView>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>

#include "BundleChooser.h"
#include "LaunchedWindow.h"

using morra::BundleChooser;
using morra::test::makeFolder;

class BundleChooserTest : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    QString at(const QString& name) const { return root_.filePath(name); }
    static std::optional<std::filesystem::path> pathOf(const QString& text) { return std::filesystem::path(text.toStdString()); }

private slots:
    // What the drop and chooser tests leave out: a bare ".app" and the outermost of nested bundles.
    void recognisesApplicationBundles() {
        QVERIFY(!morra::isApplicationBundle(makeFolder(at(QStringLiteral(".app")))));
        QVERIFY(QFile::link(makeFolder(at(QStringLiteral("morra.app"))), at(QStringLiteral("link.app"))));
        QVERIFY(morra::isApplicationBundle(at(QStringLiteral("link.app"))));
        const QString inner = makeFolder(at(QStringLiteral("Outer.app/Contents/Helpers/Inner.app/Contents")));
        QCOMPARE(morra::enclosingBundle(inner), at(QStringLiteral("Outer.app")));
    }

    // Qt's own texts in the chooser are Russian: its translation is loaded.
    void russian() {
        BundleChooser chooser(nullptr, root_.path());
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Выберите Morra Vellant"));
        QCOMPARE(chooser.labelText(QFileDialog::Accept), QStringLiteral("Выбрать"));
        QVERIFY(chooser.labelText(QFileDialog::LookIn) != QStringLiteral("Look in:"));
    }

    // A file, a missing name or a plain folder gives no bundle (elsewhere than on macOS the folder
    // is opened, with the reason it is not the game; macOS's panel has closed by then); a bundle,
    // or a place inside one, gives the bundle.
    void acceptsOnlyABundle() {
        const QString folder = makeFolder(at(QStringLiteral("Games")));
        const QString bundle = makeFolder(at(QStringLiteral("Games/Morra.APP/Contents/Resources"))).section('/', 0, -3);
        BundleChooser chooser(nullptr, root_.path());
        for (const QString& refused : {morra::test::makeFile(at(QStringLiteral("fake.app"))), at(QStringLiteral("missing.app")), folder}) {
            chooser.selectFile(refused);
            chooser.accept();
            QCOMPARE(chooser.result(), int(QDialog::Rejected));
            QCOMPARE(chooser.chosenBundle(), std::nullopt);
        }
#if !defined(Q_OS_MACOS)
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(folder).canonicalPath());
        QVERIFY(chooser.hint().contains(QStringLiteral("«Games» — обычная папка")));
#endif
        chooser.selectFile(bundle + QStringLiteral("/Contents"));
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), pathOf(bundle));
    }

    // A bundle is one item: a double click chooses it instead of opening it.
    void doubleClickChoosesABundle() {
#if defined(Q_OS_MACOS)
        QSKIP("on macOS the system's panel shows a bundle as one item; Qt's own dialog, offscreen, does not");
#endif
        const QString folder = makeFolder(at(QStringLiteral("Library")));
        const QString bundle = makeFolder(folder + QStringLiteral("/morra.app/Contents")).section('/', 0, -2);
        BundleChooser chooser(nullptr, folder);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        QAbstractItemView* view = nullptr;
        for (const char* name : {"listView", "treeView"})
            if (auto* candidate = chooser.findChild<QAbstractItemView*>(QLatin1String(name)); candidate && candidate->isVisible())
                view = candidate;
        QVERIFY(view != nullptr);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
        const QPoint point = view->visualRect(view->model()->index(0, 0, view->rootIndex())).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, point, view->viewport()->mapToGlobal(point), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &doubleClick);
        QTRY_COMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), pathOf(bundle));
    }

    // Around a chooser, Qt's own file-dialog settings (QtProject.conf, which macOS keeps where the
    // program cannot send them elsewhere) end as they were.
    void leavesQtsDialogSettingsAsTheyWere() {
        // Qt's own settings object, wherever the platform keeps it (here: a folder of this test's).
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, makeFolder(at(QStringLiteral("settings"))));
        const auto qt = [] { return std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("QtProject")); };
        qt()->setValue(QStringLiteral("FileDialog/history"), QStringList{"file:///earlier"});
        const auto keys = [&qt] { return qt()->allKeys(); };
        const QStringList before = keys();
        {
            const morra::FileDialogMemory memory;
            BundleChooser chooser(nullptr, makeFolder(at(QStringLiteral("Games"))));
            chooser.setDirectory(root_.path());
        }
        const QStringList after = keys();
        const QVariant history = qt()->value(QStringLiteral("FileDialog/history"));
        { BundleChooser chooser(nullptr, makeFolder(at(QStringLiteral("Games")))); }  // unguarded, so this test can fail
        const QStringList unguarded = keys();
        morra::keepSettingsNowhere();
        QCOMPARE(after, before);
        QCOMPARE(history.toStringList(), QStringList{"file:///earlier"});
        QVERIFY(unguarded.contains(QStringLiteral("FileDialog/lastVisited")));
    }

    // The program's own folder list speaks the window's language: a folder's type and its date
    // are Russian, and neither column is cut.
    void folderListIsRussian() {
#if defined(Q_OS_MACOS)
        QSKIP("the system's own panel, in the system's language");
#endif
        makeFolder(at(QStringLiteral("Dated/Games")));
        BundleChooser chooser(nullptr, at(QStringLiteral("Dated")));
        chooser.setViewMode(QFileDialog::Detail);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(view != nullptr);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
        const QModelIndex row = view->model()->index(0, 0, view->rootIndex());
        QCOMPARE(row.siblingAtColumn(2).data().toString(), QStringLiteral("Папка"));
        const QString date = row.siblingAtColumn(3).data().toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d$")).match(date).hasMatch(), qPrintable(date));
        QVERIFY(view->fontMetrics().horizontalAdvance(date) < view->columnWidth(3));
        QVERIFY(view->fontMetrics().horizontalAdvance(QStringLiteral("Папка")) < view->columnWidth(2));
    }
};

MORRA_UI_TEST_MAIN(BundleChooserTest)
#include "BundleChooserTest.moc"
