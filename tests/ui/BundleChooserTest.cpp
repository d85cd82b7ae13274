#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "BundleChooser.h"

using morra::BundleChooser;
using morra::isApplicationBundle;

namespace {

QString makeFolder(const QTemporaryDir& root, const QString& name) {
    const QString path = root.filePath(name);
    if (!QDir().mkpath(path)) qFatal("cannot create %s", qPrintable(path));
    return path;
}

std::filesystem::path fsPath(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

}  // namespace

class BundleChooserTest : public QObject {
    Q_OBJECT

private slots:
    void recognisesApplicationBundles() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString lower = makeFolder(root, QStringLiteral("morra.app"));
        const QString upper = makeFolder(root, QStringLiteral("Morra Vellant.APP"));
        const QString mixed = makeFolder(root, QStringLiteral("Игра.aPp"));
        const QString suffixOnly = makeFolder(root, QStringLiteral(".app"));
        const QString longer = makeFolder(root, QStringLiteral("morra.apps"));
        const QString plain = makeFolder(root, QStringLiteral("morra"));
        const QString file = root.filePath(QStringLiteral("file.app"));
        QFile created(file);
        QVERIFY(created.open(QIODevice::WriteOnly));
        created.close();
        const QString link = root.filePath(QStringLiteral("link.app"));
        QVERIFY(QFile::link(lower, link));

        QVERIFY(isApplicationBundle(lower));
        QVERIFY(isApplicationBundle(upper));
        QVERIFY(isApplicationBundle(mixed));
        QVERIFY(isApplicationBundle(lower + QLatin1Char('/')));
        QVERIFY(isApplicationBundle(link));
        QVERIFY(!isApplicationBundle(suffixOnly));
        QVERIFY(!isApplicationBundle(longer));
        QVERIFY(!isApplicationBundle(plain));
        QVERIFY(!isApplicationBundle(file));
        QVERIFY(!isApplicationBundle(root.filePath(QStringLiteral("missing.app"))));
        QVERIFY(!isApplicationBundle(QString()));
    }

    void hasItsTitleAndAcceptLabel() {
        QTemporaryDir root;
        BundleChooser chooser(nullptr, root.path());
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Выберите Morra Vellant"));
        QCOMPARE(chooser.labelText(QFileDialog::Accept), QStringLiteral("Выбрать"));
        QCOMPARE(chooser.acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(root.path()).canonicalPath());
#if !defined(Q_OS_MACOS)
        QCOMPARE(chooser.fileMode(), QFileDialog::Directory);
#endif
    }

    void acceptsOneBundle() {
        QTemporaryDir root;
        const QString bundle = makeFolder(root, QStringLiteral("Morra.APP"));
        BundleChooser chooser(nullptr, root.path());
        chooser.selectFile(bundle);
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), std::optional(fsPath(bundle)));
    }

    void opensAnOrdinaryFolderInsteadOfAcceptingIt() {
        QTemporaryDir root;
        const QString folder = makeFolder(root, QStringLiteral("Games"));
        const QString bundle = makeFolder(root, QStringLiteral("Games/morra.app"));
        BundleChooser chooser(nullptr, root.path());
        chooser.selectFile(folder);
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Rejected));
        QCOMPARE(chooser.chosenBundle(), std::nullopt);
        QCOMPARE(QDir(chooser.directory()).canonicalPath(), QDir(folder).canonicalPath());

        // From there the bundle inside can be chosen.
        chooser.selectFile(bundle);
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), std::optional(fsPath(bundle)));
    }

    void refusesWhatIsNotOneBundle() {
        QTemporaryDir root;
        const QString file = root.filePath(QStringLiteral("fake.app"));
        QFile created(file);
        QVERIFY(created.open(QIODevice::WriteOnly));
        created.close();
        BundleChooser chooser(nullptr, root.path());
        chooser.selectFile(file);
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Rejected));
        QCOMPARE(chooser.chosenBundle(), std::nullopt);

        chooser.selectFile(root.filePath(QStringLiteral("missing.app")));
        chooser.accept();
        QCOMPARE(chooser.result(), int(QDialog::Rejected));
        QCOMPARE(chooser.chosenBundle(), std::nullopt);
    }

    void cancelGivesNothing() {
        QTemporaryDir root;
        const QString bundle = makeFolder(root, QStringLiteral("morra.app"));
        BundleChooser chooser(nullptr, root.path());
        chooser.selectFile(bundle);
        chooser.reject();
        QCOMPARE(chooser.chosenBundle(), std::nullopt);
    }
};

QTEST_MAIN(BundleChooserTest)
#include "BundleChooserTest.moc"
