#include <QTemporaryDir>
#include <QTest>

#include "BundleChooser.h"
#include "LaunchedWindow.h"

using morra::BundleChooser;
using morra::isApplicationBundle;
using morra::test::makeFolder;

class BundleChooserTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir root_;

    QString at(const QString& name) const { return root_.filePath(name); }

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
    }

    // A file or a missing name keeps the chooser open; an ordinary folder is opened instead of
    // accepted; a bundle is accepted exactly as given.
    void acceptsOnlyOneBundle() {
        const QString folder = makeFolder(at(QStringLiteral("Games")));
        const QString bundle = makeFolder(at(QStringLiteral("Games/Morra.APP")));
        BundleChooser chooser(nullptr, root_.path());
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Выберите Morra Vellant"));
        QCOMPARE(chooser.labelText(QFileDialog::Accept), QStringLiteral("Выбрать"));
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(root_.path()).canonicalPath());

        for (const QString& refused : {morra::test::makeFile(at(QStringLiteral("fake.app"))),
                                       at(QStringLiteral("missing.app")), folder}) {
            chooser.selectFile(refused);
            chooser.accept();
            QCOMPARE(chooser.result(), int(QDialog::Rejected));
            QCOMPARE(chooser.chosenBundle(), std::nullopt);
        }
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(folder).canonicalPath());

        chooser.selectFile(bundle);
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), std::optional(std::filesystem::path(bundle.toStdString())));
    }

    void cancelGivesNothing() {
        BundleChooser chooser(nullptr, root_.path());
        chooser.selectFile(makeFolder(at(QStringLiteral("cancelled.app"))));
        chooser.reject();
        QCOMPARE(chooser.chosenBundle(), std::nullopt);
    }
};

QTEST_MAIN(BundleChooserTest)
#include "BundleChooserTest.moc"
