// The window and the bundle chooser on their own; the window around a stand-in engine; and the
// window when the system or another installer stands in the way. The program stores nothing: main()
// runs all of it with the home folder in a fresh temporary folder and finds nothing written there.
#include <QtTest>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>

#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <tuple>
#include <vector>

#include "Alert.h"
#include "AppDelegate.h"
#include "BundleChooser.h"
#include "DialogRunner.h"
#include "FittedLabel.h"
#include "InstallerError.h"
#include "MainWindow.h"
#include "TestSupport.h"
#include "WindowApplication.h"
#include "operations/GameLock.h"

using morra::AppDelegate;
using morra::BundleChooser;
using morra::core::InstallationState;
using morra::core::InstallerError;
using morra::MainWindow;
using morra::core::ProgressCallback;
namespace fs = std::filesystem;

namespace {

using Operation = std::function<std::string(const ProgressCallback&)>;

// Names the row of a table that a failed check stopped at (a failed check leaves the test at once).
struct RowTrace {
    QString row;
    ~RowTrace() { if (QTest::currentTestFailed()) qWarning("failed at row: %s", qPrintable(row)); }
};

QString makeFolder(const QString& path) {
    if (!QDir().mkpath(path)) qFatal("cannot create %s", qPrintable(path));
    return path;
}

// Drags `paths` (or, with none, `text`) onto the window and drops them if it accepts the drag;
// returns whether it took the drop.
bool dropOn(QWidget& window, const QStringList& paths, const QString& text = QString()) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    paths.isEmpty() ? data.setText(text) : data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

// Stands in for the engine: records each call ("check <game>", "install <game> cards", "remove
// <game>") and answers with a chosen state and outcome; a test may hold a check at `checkGate`.
struct FakeEngine final : morra::api::InstallerEngine {
    explicit FakeEngine(std::optional<fs::path> game = std::nullopt) : morra::api::InstallerEngine(nullptr), game(game) {}

    std::optional<fs::path> game;
    std::function<InstallationState()> state = [] { return InstallationState::NotInstalled; };
    Operation outcome = [](auto&) { return std::string("Сделано."); };
    std::shared_future<void> checkGate;
    mutable std::mutex mutex;
    mutable QStringList calls;

    QStringList recorded(const QString& kind) const {
        std::lock_guard lock(mutex);
        return calls.filter(QRegularExpression(QLatin1Char('^') + kind));
    }
    void record(const QString& call, const fs::path& at) const {
        std::lock_guard lock(mutex);
        calls << call.arg(QString::fromStdString(at.string()));
    }

    std::optional<fs::path> discoverGame() const override { return game; }
    bool heldByAnotherInstaller(const fs::path&) const override { return false; }
    InstallationState installationState(const fs::path& at) const override {
        record(QStringLiteral("check %1"), at);
        if (checkGate.valid()) checkGate.wait();
        return state();
    }
    std::string install(const fs::path& at, morra::core::SkillCards cards,
                        const ProgressCallback& progress) const override {
        const bool translated = cards == morra::core::SkillCards::Translated;
        record(translated ? QStringLiteral("install %1 cards") : QStringLiteral("install %1"), at);
        return outcome(progress);
    }
    std::string remove(const fs::path& at, const ProgressCallback& progress) const override {
        record(QStringLiteral("remove %1"), at);
        return outcome(progress);
    }
};

// What a dialog showed: for a message box its texts, icon and the buttons Return and Escape press.
struct ShownDialog {
    bool chooser = false;
    QString text, informativeText, detailedText, defaultButton, escapeButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the window's dialogs from a script, in order; a dialog with no answer scripted, or shown
// off the main thread, fails the test.
struct ScriptedDialogs final : morra::DialogRunner {
    using Answer = std::function<void(QDialog&)>;

    int run(QDialog& dialog) override {
        if (QThread::currentThread() != qApp->thread())
            QTest::qFail("a dialog off the main thread", __FILE__, __LINE__);
        ShownDialog seen;
        seen.chooser = qobject_cast<QFileDialog*>(&dialog) != nullptr;
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            seen.text = box->text();
            seen.informativeText = box->informativeText();
            seen.detailedText = box->detailedText();
            seen.icon = box->icon();
            if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text();
            if (box->escapeButton()) seen.escapeButton = box->escapeButton()->text();
        }
        shown.push_back(seen);
        if (answers.empty()) {
            QTest::qFail("a dialog that no answer was scripted for", __FILE__, __LINE__);
            dialog.reject();
        } else {
            Answer answer = std::move(answers.front());
            answers.pop_front();
            answer(dialog);
        }
        return dialog.result();
    }

    void expect(Answer answer) { answers.push_back(std::move(answer)); }
    void pressButton(const QString& text) {
        expect([text](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog))
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == text) return button->click();
            dialog.reject();
        });
    }

    std::deque<Answer> answers;
    std::vector<ShownDialog> shown;
};

// The application after launch, its dialogs answered from a script.
struct Launched {
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<AppDelegate> delegate;

    explicit Launched(std::shared_ptr<const morra::api::InstallerEngine> engine, bool untilChecked = true,
                      morra::SystemFacts system = {}) {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        delegate = std::make_unique<AppDelegate>(std::move(engine), std::move(scripted), std::move(system));
        delegate->applicationDidFinishLaunching();
        if (untilChecked && !waitForCheck()) qFatal("the game's state was not found out in time");
    }

    morra::MainWindow& window() const { return *delegate->window(); }
    // The full texts of the status and path lines (the lines show what fits of them).
    QString status() const { return window().statusText(); }
    QString path() const { return window().pathLabel()->fullText(); }
    bool waitForCheck() const { return QTest::qWaitFor([this] { return !delegate->isChecking(); }, 60000); }
};

// Enabled state of install, remove, choose and the check box, then the button Return presses.
QString controls(const morra::MainWindow& window) {
    QString state;
    for (QWidget* control : QWidgetList{window.installButton(), window.removeButton(), window.chooseButton(),
                                        window.skillCardsCheckbox()})
        state += control->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    const QPushButton* action = window.defaultAction();
    return state + (action == window.installButton()  ? " install"
                    : action == window.chooseButton() ? " choose"
                                                      : (action ? " other" : " none"));
}

// An operation that reports "patch 2 of 5" at 40 % and then waits for `release`.
Operation heldOperation(std::shared_future<void> release, std::function<std::string()> end) {
    return [release, end](const ProgressCallback& progress) {
        progress(morra::core::Progress{morra::core::Progress::Step::Patching, 2, 5, 400, 1000});
        release.wait();
        progress(morra::core::Progress{morra::core::Progress::Step::Verifying, 0, 0, 1000, 1000});
        return end();
    };
}

const std::string kPrivacy = "x-apple.systempreferences:com.apple.preference.security?Privacy";
const std::string kSettings = kPrivacy + "_AppBundles";
const std::string kUnopened = "x-morra-unopened:app-management";

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir root_;
    const fs::path game_ = makeBundle(QStringLiteral("Steam/morra.app"));

    QString at(const QString& name) const { return root_.filePath(name); }
    fs::path makeBundle(const QString& name) const { return makeFolder(at(name)).toStdString(); }
    static fs::path pathOf(const QString& text) { return text.toStdString(); }

public:
    // Stands in for the system's handler of the settings addresses.
    QList<QUrl> openedAddresses;
    Q_INVOKABLE void open(const QUrl& url) { openedAddresses << url; }

private slots:
    // A status is shown once: in its line when it fits there, else alone in the place below when it
    // fits there, else its first sentences in the line and the whole, scrollable, below. A long
    // path is cut only between folders, the bundle's name whole. Neither moves the controls nor
    // resizes the window; a long alert keeps the whole text in its details. The description ends
    // no line with a lone word. Every control, the progress and the lines that change have a name
    // and a description for assistive technology; a new status is heard whole, also where the line
    // shows only part of it.
    void textsAndNamesStayInsideTheWindow() {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Русский (Lumen) для Morra Vellant"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QSize size = window.size();
        const QPoint checkbox = window.skillCardsCheckbox()->mapTo(&window, QPoint(0, 0));
        QString path = QStringLiteral("/Users/Игрок/Library/Application Support/Steam/steamapps/common");
        for (int i = 0; i < 6; ++i) path += QStringLiteral("/Папка с длинным именем %1").arg(i);
        path += QStringLiteral("/morra.app");
        window.showPath(path);
        const QString introduction = QStringLiteral("Неизвестные изменённые файлы оставлены:");
        QStringList lines = {QStringLiteral("Реестр языка восстановлен. ") + introduction};
        for (int i = 1; i < 40; ++i) lines << path + QStringLiteral("/bundle-%1").arg(i);
        const QString longResult = lines.join(QLatin1Char('\n'));
        const QString result =
            QStringLiteral("Готово. Официальный русский не изменён.\n"
                           "Запустите игру и выберите «Русский (Lumen)» в настройках языка.\n"
                           "Названия навыков на карточках переведены.");
        const std::pair<QString, QString> statuses[] = {
            {QStringLiteral("Перевод ещё не установлен."), "line"}, {result, "below"}, {longResult, "both"}};
        for (const auto& [text, place] : statuses) {
            window.showStatus(text);
            QCOMPARE(window.statusLabel()->isVisible(), place != "below");
            QCOMPARE(window.detailsShown(), place != "line");
            QCOMPARE(window.detailsView()->toPlainText(), place == "line" ? QString() : text);
            QCOMPARE(window.skillCardsCheckbox()->mapTo(&window, QPoint(0, 0)), checkbox);
        }
        // The line says that files were left: the list's introduction, not only the sentence before it.
        QVERIFY(window.statusLabel()->text().simplified().endsWith(introduction));
        QVERIFY(window.detailsView()->verticalScrollBar()->maximum() > 0);
        QVERIFY(window.pathLabel()->text().endsWith(QStringLiteral("/morra.app")));
        const QStringList folders = path.split(QLatin1Char('/'));
        for (const QString& part : window.pathLabel()->text().split(QLatin1Char('/')))
            QVERIFY2(part == QStringLiteral("\u2026") || folders.contains(part), qPrintable(part));
        QCOMPARE(window.pathLabel()->accessibleDescription(), path);
        QCOMPARE(window.size(), size);
        for (morra::FittedLabel* label : {window.pathLabel(), window.statusLabel()}) {
            QVERIFY(!label->showsAll());
            const qsizetype shownLines = label->text().count(QLatin1Char('\n')) + 1;
            QVERIFY(label->contentsRect().height() >= label->fontMetrics().lineSpacing() * shownLines);
        }
        QLabel* description = window.descriptionLabel();
        for (QLabel* label : QList<QLabel*>{window.pathLabel(), window.statusLabel(), description}) {
            for (const QString& line : label->text().split(QLatin1Char('\n'))) {
                QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->contentsRect().width(),
                         qPrintable(line));
                QVERIFY2(label != description || line.contains(QLatin1Char(' ')), qPrintable(line));
            }
        }
        QMessageBox alert;
        morra::prepareAlert(alert, QStringLiteral("Готово"), longResult, QMessageBox::Information);
        QCOMPARE(alert.detailedText(), longResult);
        QVERIFY(alert.informativeText().size() < longResult.size() / 10);

        QWidgetList described = {window.pathLabel(), window.statusLabel(), window.detailsView(),
                                 window.progressBar(), window.progressLabel()};
        for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) described << button;
        window.showProgress(0.25, QStringLiteral("Проверка файлов… 25\u00a0%"));
        for (QWidget* widget : described) {
            const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible != nullptr);
            const char* name = widget->metaObject()->className();
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), name);
            QVERIFY2(!accessible->text(QAccessible::Description).isEmpty(), name);
        }
        const QAccessibleInterface* status = QAccessible::queryAccessibleInterface(window.statusLabel());
        QCOMPARE(status->text(QAccessible::Name), longResult);
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window.progressBar());
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), window.progressBar()->maximum() / 4);
        QCOMPARE(bar->text(QAccessible::Description), QStringLiteral("Проверка файлов… 25\u00a0%"));
    }

    // One application bundle is one item: exactly one, existing, a folder (or a link to one), not a
    // bare ".app"; it is dropped only while choosing is possible. The chooser gives no bundle for
    // the others either (elsewhere than on macOS it opens a plain folder, saying why it is not the
    // game; macOS's panel has closed by then); a bundle, or a place inside one, gives the bundle,
    // the outermost of nested ones.
    void onlyABundleIsTaken() {
        const QString folder = makeFolder(at(QStringLiteral("Games")));
        const QString bundle = at(QStringLiteral("Games/Morra Vellant.APP"));
        makeFolder(bundle + QStringLiteral("/Contents/Resources"));
        QFile file(at(QStringLiteral("fake.app")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        MainWindow window;
        QSignalSpy dropped(&window, &MainWindow::bundleDropped);
        BundleChooser chooser(nullptr, root_.path());
        for (const QString& refused : {file.fileName(), at(QStringLiteral("missing.app")),
                                       makeFolder(at(QStringLiteral(".app"))), folder}) {
            QVERIFY2(!dropOn(window, {refused}), qPrintable(refused));
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
        QCOMPARE(chooser.chosenBundle(), std::optional(pathOf(bundle)));
        QVERIFY(!dropOn(window, {bundle, makeFolder(at(QStringLiteral("other.app")))}));
        QVERIFY(!dropOn(window, {}, bundle));
        QCOMPARE(dropped.count(), 0);
        QVERIFY(dropOn(window, {bundle + QLatin1Char('/')}));  // as file managers name folders
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).value<fs::path>(), pathOf(bundle));
        window.chooseButton()->setEnabled(false);
        QVERIFY(!dropOn(window, {bundle}));
        QCOMPARE(dropped.count(), 1);
        QVERIFY(QFile::link(bundle, at(QStringLiteral("link.app"))));
        QVERIFY(morra::isApplicationBundle(at(QStringLiteral("link.app"))));
        const QString inner = makeFolder(at(QStringLiteral("Outer.app/Contents/Helpers/Inner.app/Contents")));
        QCOMPARE(morra::enclosingBundle(inner), at(QStringLiteral("Outer.app")));
    }

    // The chooser speaks the window's language, Qt's own texts included. Its folder list (the
    // program's own, not macOS's panel) shows a folder's type and date in Russian, cuts neither,
    // and shows a bundle as one item: a double click chooses it instead of opening it.
    void chooserIsRussianAndChoosesABundleWhole() {
        const QString folder = makeFolder(at(QStringLiteral("Library")));
        const QString bundle = makeFolder(folder + QStringLiteral("/morra.app/Contents")).section('/', 0, -2);
        BundleChooser chooser(nullptr, folder);
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Выберите Morra Vellant"));
        QCOMPARE(chooser.labelText(QFileDialog::Accept), QStringLiteral("Выбрать"));
        QVERIFY(chooser.labelText(QFileDialog::LookIn) != QStringLiteral("Look in:"));
#if defined(Q_OS_MACOS)
        QSKIP("the system's own panel, in the system's language, shows a bundle as one item");
#endif
        chooser.setViewMode(QFileDialog::Detail);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        auto* view = chooser.findChild<QTreeView*>(QStringLiteral("treeView"));
        QVERIFY(view != nullptr);
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 1);
        const QModelIndex row = view->model()->index(0, 0, view->rootIndex());
        QCOMPARE(row.siblingAtColumn(2).data().toString(), QStringLiteral("Папка"));
        const QString date = row.siblingAtColumn(3).data().toString();
        const QRegularExpression dateFormat(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d$"));
        QVERIFY2(dateFormat.match(date).hasMatch(), qPrintable(date));
        QVERIFY(view->fontMetrics().horizontalAdvance(date) < view->columnWidth(3));
        QVERIFY(view->fontMetrics().horizontalAdvance(QStringLiteral("Папка")) < view->columnWidth(2));

        const QPoint point = view->visualRect(row).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
        QMouseEvent doubleClick(QEvent::MouseButtonDblClick, point, view->viewport()->mapToGlobal(point),
                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &doubleClick);
        QTRY_COMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenBundle(), std::optional(pathOf(bundle)));
    }

    // Around a chooser, Qt's own file-dialog settings (QtProject.conf, which macOS keeps where the
    // program cannot send them elsewhere) end as they were.
    void leavesQtsDialogSettingsAsTheyWere() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, makeFolder(at("settings")));
        const auto qt = [] { return std::make_unique<QSettings>(QSettings::UserScope, "QtProject"); };
        qt()->setValue(QStringLiteral("FileDialog/history"), QStringList{"file:///earlier"});
        const QStringList before = qt()->allKeys();
        {
            const morra::FileDialogMemory memory;
            BundleChooser chooser(nullptr, makeFolder(at(QStringLiteral("Games"))));
            chooser.setDirectory(root_.path());
        }
        const QStringList after = qt()->allKeys();
        const QVariant history = qt()->value(QStringLiteral("FileDialog/history"));
        { BundleChooser chooser(nullptr, at(QStringLiteral("Games"))); }  // unguarded, so this can fail
        const QStringList unguarded = qt()->allKeys();
        morra::keepSettingsNowhere();
        QCOMPARE(after, before);
        QCOMPARE(history.toStringList(), QStringList{"file:///earlier"});
        QVERIFY(unguarded.contains(QStringLiteral("FileDialog/lastVisited")));
    }

    // The state is found out in the background before any click and decides the status, the
    // controls, the check box and the default action; changing the check box makes install the default.
    void launchStates() {
        const auto text = [](int state) { return AppDelegate::stateText(InstallationState(state)); };
        const QString notTheGame = QStringLiteral("Выбранный файл не является Morra Vellant для macOS.");
        const QString launchFirst = text(0) + QLatin1Char(' ') + AppDelegate::kLaunchGameFirst;
        // The state (-1: no game; 5: the bundle is refused; 6: not installed, macOS), the status, the
        // controls when idle, whether the check box is ticked, and the controls after it is changed.
        const std::tuple<int, QString, QString, bool, QString> rows[] = {
            {-1, QStringLiteral("Укажите morra.app вручную"), "0011 choose", true, "0011 choose"},
            {0, text(0), "1111 install", true, "1111 install"},
            {1, text(1), "1111 none", true, "1111 install"},
            {2, text(2), "1111 none", false, "1111 install"},
            {3, text(3), "1111 install", true, "1111 install"},
            {4, text(4), "1111 none", true, "1111 none"},
            {5, notTheGame, "0011 none", true, "0011 none"},
            {6, launchFirst, "1111 install", true, "1111 install"}};
        for (const auto& [state, status, idle, checked, afterToggle] : rows) {
            const RowTrace trace{QStringLiteral("state %1").arg(state)};
            auto engine = std::make_shared<FakeEngine>(state >= 0 ? std::optional(game_) : std::nullopt);
            engine->state = [state = state, status = status] {
                if (state == 5) throw InstallerError(status.toStdString());
                return static_cast<InstallationState>(state % 6);
            };
            std::promise<void> checkRelease;
            engine->checkGate = checkRelease.get_future().share();
            Launched app(engine, false,
                         {.appManagementSettings = {}, .gameCheckedAtFirstLaunch = state == 6});
            QVERIFY(app.window().isVisible());
            if (state >= 0) {
                // While the check runs off the main thread, nothing can be installed or removed.
                QTRY_COMPARE(engine->recorded(QStringLiteral("check")),
                             QStringList{QStringLiteral("check ") + app.path()});
                QCOMPARE(app.status(), QStringLiteral("Игра найдена. Проверяю её файлы…"));
                QCOMPARE(controls(app.window()), QStringLiteral("0011 none"));
            } else {
                QCOMPARE(app.path(), QStringLiteral("Morra Vellant не найдена автоматически"));
            }
            checkRelease.set_value();
            QVERIFY(app.waitForCheck());
            QCOMPARE(app.status(), status);
            QCOMPARE(controls(app.window()), idle);
            QCOMPARE(app.window().skillCardsCheckbox()->isChecked(), checked);
            QVERIFY(!app.window().progressShown());
            app.window().skillCardsCheckbox()->click();
            QCOMPARE(controls(app.window()), afterToggle);
            if (state < 0) {
                app.delegate->installPressed();
                app.delegate->removePressed();
                QVERIFY(app.dialogs->shown.empty() && engine->calls.isEmpty());
            }
        }
    }

    // Install and remove, succeeding or failing: the progress shows, nothing else can start, and the
    // alert comes once the window is idle. A refusal of an unsupported game shows what to do instead
    // of its digest, which goes to the details; a removal that left changed files behind is a
    // warning, not a plain success. Only the system's refusal, and only where the system has such
    // settings, gets the button that opens them; Return presses it, and it opens the first address
    // that the system opens.
    void operationEndsInItsAlert() {
        const QString done = QStringLiteral("Готово"), stopped = QStringLiteral("Установка остановлена");
        const int information = QMessageBox::Information, critical = QMessageBox::Critical;
        // Remove or install; how it fails (0 none, 1 platform error, 2 unsupported game, 3 files left,
        // 4 own check, 5 refused by the system, 6 refused where the system has no such settings);
        // the alert's title and icon.
        const std::tuple<bool, int, QString, int> rows[] = {
            {false, 0, done, information}, {false, 2, stopped, critical}, {false, 4, stopped, critical},
            {false, 5, stopped, critical}, {false, 6, stopped, critical}, {true, 0, done, information},
            {true, 1, QStringLiteral("Удаление остановлено"), critical},
            {true, 3, QStringLiteral("Перевод удалён не полностью"), int(QMessageBox::Warning)}};
        const std::system_error fileError(std::make_error_code(std::errc::permission_denied),
                                          "/Игры/morra.app/level2");
        const std::string shownPart = "Эта версия игры не поддерживается.\nМагазин значения не имеет.\n";
        const std::string unsupported = shownPart + "level2: " + std::string(64, 'a');
        const std::string filesLeft =
            morra::core::kChangedFilesLeft + std::string("\n/Игры/morra.app/fonts/blind");
        const std::string refused = "Система не разрешила изменить файлы игры: /Игры/morra.app/x";
        const QStringList results = {
            QStringLiteral("Сделано."), QString::fromUtf8(fileError.what()),
            QString::fromStdString(shownPart + '\n') + AppDelegate::kUnsupportedAdvice,
            QString::fromStdString(filesLeft), QString::fromStdString(refused)};
        QDesktopServices::setUrlHandler(QStringLiteral("x-apple.systempreferences"), this, "open");
        // A handler that cannot be called: the system did not open the address.
        QDesktopServices::setUrlHandler(QStringLiteral("x-morra-unopened"), this, "missing");
        for (const auto& [remove, failure, title, icon] : rows) {
            const RowTrace trace{QStringLiteral("%1, failure %2").arg(remove ? "remove" : "install").arg(failure)};
            auto engine = std::make_shared<FakeEngine>(game_);
            morra::SystemFacts system;
            if (failure != 6) system.appManagementSettings = {kUnopened, kSettings, kPrivacy};
            Launched app(engine, true, system);
            morra::MainWindow& window = app.window();
            std::promise<void> release;
            engine->outcome = heldOperation(release.get_future().share(), [=, failure = failure] {
                if (failure == 1) throw fileError;
                if (failure == 2) throw InstallerError(unsupported, InstallerError::Kind::UnsupportedGame);
                if (failure == 4) throw InstallerError(refused);
                if (failure >= 5) throw InstallerError(refused, InstallerError::Kind::AppManagement);
                return failure == 3 ? filesLeft : "Сделано.";
            });
            const QString result = results.at(std::min(failure, 4));
            openedAddresses.clear();
            QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
            if (remove) app.dialogs->pressButton(QStringLiteral("Удалить"));
            QString whenAlertShown;
            QStringList buttons;
            app.dialogs->expect([&](QDialog& dialog) {
                whenAlertShown = controls(window) + app.status();
                auto& box = dynamic_cast<QMessageBox&>(dialog);
                for (QAbstractButton* button : box.buttons()) buttons << button->text();
                box.defaultButton()->click();
            });
            QTest::mouseClick(remove ? window.removeButton() : window.installButton(), Qt::LeftButton);

            QCOMPARE(app.status(), QString::fromUtf8(remove ? "Восстанавливаю оригинал…" : "Устанавливаю…"));
            QCOMPARE(controls(window), QStringLiteral("0000 none"));
            QTRY_COMPARE(window.progressLabel()->text(), QStringLiteral("Патч 2 из 5… 40\u00a0%"));
            QCOMPARE(window.progressBar()->value(), window.progressBar()->maximum() * 2 / 5);
            QVERIFY(window.progressShown());
            const std::size_t dialogsBefore = app.dialogs->shown.size();
            QTest::keyClick(&window, Qt::Key_Return);
            app.delegate->installPressed();
            app.delegate->removePressed();
            app.delegate->choosePressed();
            QCOMPARE(app.dialogs->shown.size(), dialogsBefore);

            release.set_value();
            QTRY_COMPARE(finished.count(), 1);
            QVERIFY(app.waitForCheck());
            const QString kind = remove ? QStringLiteral("remove") : QStringLiteral("install");
            const QString game = QString::fromStdString(game_.string());
            QCOMPARE(engine->recorded(kind), QStringList{kind + ' ' + game + (remove ? "" : " cards")});
            // The state is found out again afterwards, without replacing the result.
            QCOMPARE(engine->recorded(QStringLiteral("check")).size(), 2);
            const auto& shown = app.dialogs->shown;
            QCOMPARE(shown.size(), std::size_t(remove ? 2 : 1));
            if (remove) {
                QCOMPARE(shown[0].text, QStringLiteral("Удалить Русский (Lumen)?"));
                QCOMPARE(shown[0].defaultButton + shown[0].escapeButton, QStringLiteral("УдалитьОтмена"));
            }
            QCOMPARE(shown.back().text, title);
            QCOMPARE(shown.back().icon, QMessageBox::Icon(icon));
            QCOMPARE(shown.back().informativeText, result);
            QCOMPARE(shown.back().detailedText, QString::fromStdString(failure == 2 ? unsupported : ""));
            QCOMPARE(buttons.contains(QStringLiteral("Открыть настройки")), failure == 5);
            // OK, and the button that opens the settings or the one that shows the details
            QCOMPARE(buttons.size(), failure == 5 || failure == 2 ? 2 : 1);
            QCOMPARE(shown.back().escapeButton, QStringLiteral("OK"));
            QCOMPARE(openedAddresses, QList<QUrl>(failure == 5 ? 1 : 0, QUrl(kSettings.c_str())));
            QCOMPARE(whenAlertShown, QStringLiteral("1111 none") + result);
            QCOMPARE(app.status(), result);
            QVERIFY(!window.progressShown());
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("x-apple.systempreferences"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("x-morra-unopened"));
    }

    // Closing while work runs keeps the window open, saying so, and closes it when the work is
    // done: after an operation, once its result has been shown.
    void closingWaitsForTheWork() {
        for (const bool operation : {true, false}) {
            auto engine = std::make_shared<FakeEngine>(game_);
            std::promise<void> release;
            const std::shared_future<void> released = release.get_future().share();
            if (!operation) engine->checkGate = released;
            engine->outcome = heldOperation(released, [] { return std::string("Готово."); });
            Launched app(engine, operation);
            if (operation) app.window().installButton()->click();
            QTRY_COMPARE(engine->recorded(operation ? "install" : "check").size(), 1);
            QVERIFY(!app.window().close());
            QVERIFY(app.window().isVisible());
            QVERIFY(app.status().contains(QStringLiteral("окно закроется")));
            if (operation) app.dialogs->pressButton(QStringLiteral("OK"));
            release.set_value();
            QTRY_VERIFY(!app.window().isVisible());
            QCOMPARE(app.dialogs->shown.size(), std::size_t(operation ? 1 : 0));
            if (operation) QCOMPARE(app.dialogs->shown.back().informativeText, QStringLiteral("Готово."));
        }
    }

    // Return and the keypad's Enter press the focused button, or else the default action; never an
    // install from the remove button, whose confirmation always comes first. After an operation
    // they press the default action.
    void keys() {
        const std::tuple<QString, Qt::Key, int, QString> rows[] = {
            {"none", Qt::Key_Return, 0, "install"}, {"none", Qt::Key_Enter, 0, "install"},
            {"remove", Qt::Key_Return, 0, "confirmation"}, {"choose", Qt::Key_Return, 0, "chooser"},
            {"checkbox", Qt::Key_Return, 0, "install"}, {"none", Qt::Key_Return, 1, "nothing"}};
        for (const auto& [focus, key, state, outcome] : rows) {
            const RowTrace trace{QStringLiteral("focus %1, key %2, state %3").arg(focus).arg(int(key)).arg(state)};
            auto engine = std::make_shared<FakeEngine>(game_);
            engine->state = [state = state] { return InstallationState(state); };
            Launched app(engine);
            morra::MainWindow& window = app.window();
            const QHash<QString, QWidget*> targets = {{"remove", window.removeButton()},
                                                      {"choose", window.chooseButton()},
                                                      {"checkbox", window.skillCardsCheckbox()}};
            QWidget* target = targets.value(focus, &window);
            if (QWidget* focused = window.focusWidget()) focused->clearFocus();
            if (target != &window) target->setFocus();
            const bool checked = window.skillCardsCheckbox()->isChecked();
            // The result alert takes the activation, as a modal alert does, and gives it back on OK.
            if (outcome == "install") app.dialogs->expect([&window](QDialog& dialog) {
                dialog.show();
                QVERIFY(QTest::qWaitForWindowActive(&dialog));
                dialog.accept();
                window.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&window));
            });
            if (outcome == "confirmation") app.dialogs->pressButton(QStringLiteral("Отмена"));
            if (outcome == "chooser") app.dialogs->expect([](QDialog& dialog) { dialog.reject(); });
            QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
            QTest::keyClick(target, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
            if (outcome == "install") {
                QTRY_COMPARE(finished.count(), 1);
                QVERIFY(app.waitForCheck());
                // Afterwards Return does what the window shows, wherever the focus was: install again.
                app.dialogs->pressButton(QStringLiteral("OK"));
                QWidget* focused = window.focusWidget();
                QTest::keyClick(focused ? focused : &window, Qt::Key_Return);
                QTRY_COMPARE(finished.count(), 2);
            }
            QTest::qWait(20);

            QCOMPARE(engine->recorded(QStringLiteral("install")).size(), outcome == "install" ? 2 : 0);
            QCOMPARE(engine->recorded(QStringLiteral("remove")).size(), 0);
            QCOMPARE(window.skillCardsCheckbox()->isChecked(), checked);
            const auto& shown = app.dialogs->shown;
            QCOMPARE(shown.size(), std::size_t(outcome == "nothing" ? 0 : outcome == "install" ? 2 : 1));
            if (outcome == "confirmation") QCOMPARE(shown[0].text, QString("Удалить Русский (Lumen)?"));
            if (outcome == "chooser") QVERIFY(shown[0].chooser);
        }
    }

    // A bundle chosen, and then one dropped, becomes the game and is checked; the next install runs
    // on it. The chooser runs in its own modal loop and is moved about, as a player would: main()
    // then finds nothing stored under the home folder.
    void choosingOrDroppingABundleMakesItTheGame() {
        auto engine = std::make_shared<FakeEngine>();
        Launched app(engine);
        const fs::path chosen = makeBundle(QStringLiteral("GOG/Morra Vellant.APP"));
        const fs::path dropped = makeBundle(QStringLiteral("Dropped/morra.app"));
        app.dialogs->expect([bundle = QString::fromStdString(chosen.string())](QDialog& chooser) {
            QTimer::singleShot(200, &chooser, [&chooser, bundle] {
                auto& files = dynamic_cast<QFileDialog&>(chooser);
                files.setDirectory(QDir::homePath());
                files.setDirectory(QFileInfo(bundle).absolutePath());
                files.setDirectory(bundle);
                QMetaObject::invokeMethod(&files, "accept");
                if (files.isVisible()) files.reject();
            });
            chooser.exec();
        });
        app.window().chooseButton()->click();
        QVERIFY(app.dialogs->shown.at(0).chooser);
        for (const fs::path& game : {chosen, dropped}) {
            const QString path = QString::fromStdString(game.string());
            if (game == dropped) QVERIFY(dropOn(app.window(), {path}));
            QVERIFY(app.waitForCheck());
            QCOMPARE(app.delegate->gameBundle(), std::optional(game));
            QCOMPARE(app.path(), path);
            QCOMPARE(controls(app.window()), QStringLiteral("1111 install"));
        }
        QCOMPARE(engine->recorded(QStringLiteral("check")).size(), 2);
        app.window().skillCardsCheckbox()->click();
        app.dialogs->pressButton(QStringLiteral("OK"));
        QSignalSpy finished(app.delegate.get(), &AppDelegate::operationFinished);
        app.window().installButton()->click();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(app.waitForCheck());
        const QString install = QStringLiteral("install ") + QString::fromStdString(dropped.string());
        QCOMPARE(engine->recorded(QStringLiteral("install")), QStringList{install});
    }

    // A path that is not UTF-8 shows its stray bytes written out; the game is the path as it is.
    void pathWithStrayBytes() {
        const fs::path game = fs::path(root_.path().toStdString()) / "Games\xff" / "morra.app";
        if (std::error_code error; fs::create_directories(game, error), error)
            QSKIP("this file system refuses names that are not UTF-8 (as APFS does)");
        Launched app(std::make_shared<FakeEngine>(game));
        QVERIFY(app.path().endsWith(QStringLiteral("/Games\\xFF/morra.app")));
        QCOMPARE(app.delegate->gameBundle(), std::optional(game));
        fs::remove_all(game.parent_path());  // Qt's temporary folder cannot name it
    }

    // Without its resources the program says so in an alert instead of vanishing; the program
    // itself, copied away from them, waits with that alert instead of ending.
    void missingResourcesAreToldBeforeQuitting() {
        ScriptedDialogs dialogs;
        dialogs.expect([](QDialog& dialog) { dynamic_cast<QMessageBox&>(dialog).defaultButton()->click(); });
        QCOMPARE(morra::reportMissingResources(dialogs), 0);
        QCOMPARE(dialogs.shown.size(), std::size_t(1));
        const ShownDialog& alert = dialogs.shown.front();
        QCOMPARE(alert.text, QStringLiteral("Установщик не может работать"));
        QCOMPARE(alert.informativeText,
                 QStringLiteral("Установщик не нашёл собственных файлов с переводом: его копия неполна или "
                                "повреждена. Скачайте установщик заново и запустите новую копию.\n"
                                "Application resources are unavailable"));
        QCOMPARE(alert.icon, QMessageBox::Critical);
        QCOMPARE(alert.defaultButton + alert.escapeButton, QStringLiteral("ЗавершитьЗавершить"));

        const QString copy = makeFolder(at("bin")) + "/MorraRussianLumenInstaller";
        QVERIFY(QFile::copy(QStringLiteral(MORRA_PROGRAM), copy));
        QProcess program;
        program.start(copy, {});
        QVERIFY(program.waitForStarted());
        QByteArray error;
        const char* const unavailable = "Application resources are unavailable\n";
        QTRY_VERIFY_WITH_TIMEOUT((error += program.readAllStandardError()).contains(unavailable), 20000);
        QVERIFY(!program.waitForFinished(1500));
        program.kill();
        program.waitForFinished();
    }

    // While another installer holds the game or only the backups, the window on the program's own
    // engine says so, offers nothing, and shows the game's state by itself once the lock is gone.
    void anotherInstallerHoldsTheGame() {
        morra::test::GameFixture game;
        fs::create_directories(game.support);
        Launched app(std::make_shared<const morra::api::InstallerEngine>());
        for (const bool heldOnGame : {true, false}) {
            std::optional<morra::operations::GameLock> whole;
            std::optional<morra::files::FileHandle> storeOnly;
            if (heldOnGame) whole.emplace(morra::files::FileManager(), game.app, game.support);
            else storeOnly = morra::files::FileManager().tryLockExclusive(game.support);
            app.delegate->chooseBundle(game.app);
            QVERIFY(app.waitForCheck());
            QCOMPARE(app.status(), AppDelegate::kHeldElsewhere);
            QCOMPARE(controls(app.window()), QStringLiteral("0011 none"));
            QTest::qWait(AppDelegate::kHeldPollMilliseconds + 500);  // looked at again, still held
            QCOMPARE(app.status(), AppDelegate::kHeldElsewhere);

            whole.reset();
            storeOnly.reset();
            const QString notInstalled = AppDelegate::stateText(InstallationState::NotInstalled);
            QTRY_COMPARE_WITH_TIMEOUT(app.status(), notInstalled, 20000);
            QCOMPARE(controls(app.window()), QStringLiteral("1111 install"));
        }
    }
};

// The test object, with the home and configuration folders in a fresh temporary folder (set before
// the application exists): the program stores nothing, so nothing may be under it at the end.
int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toUtf8());
    int failures = 0;
    {
        QApplication application(argc, argv);
        morra::prepareApplication(application);
        WindowTest test;
        failures = QTest::qExec(&test, argc, argv);
    }
    QDirIterator written(home.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    for (; written.hasNext(); ++failures)
        std::fprintf(stderr, "FAIL: written under the home folder: %s\n", qPrintable(written.next()));
    return failures == 0 ? 0 : 1;
}

#include "WindowTest.moc"
