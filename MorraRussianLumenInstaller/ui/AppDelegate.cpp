#include "AppDelegate.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <exception>

#include "Alert.h"
#include "BundleChooser.h"
#include "FittedLabel.h"
#include "PathText.h"
#include "ProgressRelay.h"

namespace morra {

namespace {

const QString kChecking = QStringLiteral("Игра найдена. Проверяю её файлы…");
const QString kPreparing = QStringLiteral("Подготовка…");
const QString kClosingAfterOperation =
    QStringLiteral("Завершаю операцию: окно закроется само, как только файлы игры будут в порядке.");
const QString kClosingAfterCheck = QStringLiteral("Заканчиваю проверку игры, затем окно закроется.");
const QString kUnknownError = QStringLiteral("Операция прервана неизвестной ошибкой.");
const QString kInstallStopped = QStringLiteral("Установка остановлена");
const QString kRemovalStopped = QStringLiteral("Удаление остановлено");
const QString kChangedFilesLeftTitle = QStringLiteral("Перевод удалён не полностью");

// The text of whatever an operation or a check threw.
QString errorText() {
    try {
        throw;
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return kUnknownError;
    }
}

}  // namespace

const QString AppDelegate::kHeldElsewhere =
    QStringLiteral("С этой игрой сейчас работает другая копия установщика. Окно проверит игру снова, "
                   "когда та закончит.");
const QString AppDelegate::kLaunchGameFirst =
    QStringLiteral("Перед установкой перевода один раз запустите игру. Если macOS потом назовёт игру повреждённой, "
                   "удалите перевод (или проверьте целостность файлов игры в Steam), запустите игру, "
                   "затем установите перевод снова.");
const QString AppDelegate::kUnsupportedAdvice =
    QStringLiteral("Что делать: проверьте целостность файлов игры в Steam или дождитесь выпуска перевода "
                   "для этой версии игры.");

QString AppDelegate::stateText(core::InstallationState state) {
    switch (state) {
        case core::InstallationState::NotInstalled: return QStringLiteral("Перевод ещё не установлен.");
        case core::InstallationState::TranslatedCards:
            return QStringLiteral("Перевод установлен, названия навыков на карточках переведены.");
        case core::InstallationState::EnglishCards:
            return QStringLiteral("Перевод установлен, названия навыков на карточках оставлены английскими.");
        case core::InstallationState::EarlierOrIncomplete:
            return QStringLiteral("Установлена предыдущая или неполная версия перевода; установка обновит её.");
        case core::InstallationState::Unsupported:
            return QStringLiteral("Эта сборка игры не поддерживается или её файлы изменены: ") +
                   (api::knowsSeveralGameBuilds() ? QStringLiteral("нужен один из совместимых профилей macOS ")
                                             : QStringLiteral("нужен совместимый профиль macOS ")) +
                   QString::fromStdString(api::knownGameBuilds()) + QStringLiteral(".");
        case core::InstallationState::GameUpdated:
            return QStringLiteral("Игра обновлена до версии, которую этот выпуск перевода ещё не знает (") +
                   (api::knowsSeveralGameBuilds() ? QStringLiteral("он знает совместимые профили macOS ")
                                             : QStringLiteral("он знает совместимый профиль macOS ")) +
                   QString::fromStdString(api::knownGameBuilds()) +
                   QStringLiteral("). Удалить перевод можно: файлы с резервными копиями будут восстановлены.");
    }
    return {};
}

AppDelegate::AppDelegate(std::shared_ptr<const api::InstallerEngine> engine, std::unique_ptr<DialogRunner> dialogs,
                         SystemFacts system, QObject* parent)
    : QObject(parent), engine_(std::move(engine)), dialogs_(std::move(dialogs)), system_(std::move(system)) {
    worker_.setMaxThreadCount(1);
    worker_.setExpiryTimeout(-1);
    // The stack of a main thread, not the small default of other threads (512 KiB on macOS).
    worker_.setStackSize(8U << 20);
}

AppDelegate::~AppDelegate() {
    worker_.waitForDone();
}

void AppDelegate::applicationDidFinishLaunching() {
    buildWindow();
    gameBundle_ = engine_->discoverGame();
    refreshPath();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void AppDelegate::buildWindow() {
    window_ = std::make_unique<MainWindow>();
    connect(window_->chooseButton(), &QPushButton::clicked, this, &AppDelegate::choosePressed);
    connect(window_->installButton(), &QPushButton::clicked, this, &AppDelegate::installPressed);
    connect(window_->removeButton(), &QPushButton::clicked, this, &AppDelegate::removePressed);
    connect(window_->skillCardsCheckbox(), &QCheckBox::toggled, this, &AppDelegate::updateDefaultAction);
    connect(window_.get(), &MainWindow::bundleDropped, this, &AppDelegate::chooseBundle);
    window_->setCloseGuard([this] { return mayClose(); });
}

void AppDelegate::refreshPath() {
    if (gameBundle_) {
        // Shown as every path the program shows: bytes that are not UTF-8 written out, not lost.
        window_->showPath(QString::fromStdString(api::readableText(gameBundle_->string())));
        startCheck(false);
        return;
    }
    window_->showPath(QStringLiteral("Morra Vellant не найдена автоматически"));
    window_->showStatus(QStringLiteral("Укажите morra.app вручную"));
    state_.reset();
    updateControls();
    updateDefaultAction();
}

void AppDelegate::setBusy(bool busy, const QString& status) {
    // Locking the controls moves the focus off the button that had it to wherever it falls;
    // unlocking gives it to the window, so that Return presses the button drawn as the default.
    const bool unlocking = locked_ && !busy;
    locked_ = busy;
    window_->showStatus(status);
    if (busy) window_->showProgress(0, kPreparing);
    else window_->hideProgress();
    updateControls();
    updateDefaultAction();
    if (unlocking) window_->setFocus(Qt::OtherFocusReason);
}

void AppDelegate::updateControls() {
    const bool operationsAllowed = !locked_ && gameBundle_.has_value() && !(checking_ && !quietCheck_) &&
                                   !heldElsewhere_ && !refused_;
    window_->installButton()->setEnabled(operationsAllowed);
    window_->removeButton()->setEnabled(operationsAllowed);
    window_->chooseButton()->setEnabled(!locked_);
    window_->skillCardsCheckbox()->setEnabled(!locked_);
}

void AppDelegate::updateDefaultAction() {
    // Return does what is obvious in the game's state, and nothing where nothing is: it never
    // switches the installed variant unless the check box has been changed to the other one.
    QPushButton* action = nullptr;
    const bool translatedCards = window_->skillCardsCheckbox()->isChecked();
    if (!gameBundle_) {
        action = window_->chooseButton();
    } else if (!locked_ && !checking_ && !heldElsewhere_ && state_) {
        switch (*state_) {
            case core::InstallationState::NotInstalled:
            case core::InstallationState::EarlierOrIncomplete: action = window_->installButton(); break;
            case core::InstallationState::TranslatedCards: action = translatedCards ? nullptr : window_->installButton(); break;
            case core::InstallationState::EnglishCards:
                action = translatedCards ? window_->installButton() : nullptr;
                break;
            case core::InstallationState::Unsupported:
            case core::InstallationState::GameUpdated: break;
        }
    }
    window_->setDefaultAction(action);
}

void AppDelegate::startCheck(bool quiet) {
    const unsigned generation = ++generation_;
    checking_ = true;
    quietCheck_ = quiet;
    state_.reset();
    if (!quiet) window_->showStatus(kChecking);
    updateControls();
    updateDefaultAction();
    worker_.start([this, generation, quiet, engine = engine_, game = *gameBundle_] {
        Check result;
        try {
            // Looked at again after the files: another installer may have started meanwhile.
            result.heldElsewhere = engine->heldByAnotherInstaller(game);
            if (!result.heldElsewhere) result.state = engine->installationState(game);
            if (!result.heldElsewhere && engine->heldByAnotherInstaller(game)) {
                result.heldElsewhere = true;
                result.state.reset();
            }
        } catch (...) {
            result.refusal = errorText();
        }
        QMetaObject::invokeMethod(
            this, [this, generation, quiet, result] { finishCheck(generation, quiet, result); }, Qt::QueuedConnection);
    });
}

void AppDelegate::finishCheck(unsigned generation, bool quiet, const Check& check) {
    // A later choice or an operation has made this answer stale.
    if (generation != generation_) return;
    checking_ = false;
    // A quiet check keeps the status, unless the game was or now is held by another installer.
    const bool showStatus = !quiet || heldElsewhere_ || check.heldElsewhere;
    state_ = check.state;
    heldElsewhere_ = check.heldElsewhere;
    refused_ = !check.refusal.isEmpty();
    // The check box shows the variant that is installed, so that install does not switch it unasked.
    if (state_ == core::InstallationState::TranslatedCards) window_->skillCardsCheckbox()->setChecked(true);
    if (state_ == core::InstallationState::EnglishCards) window_->skillCardsCheckbox()->setChecked(false);
    if (showStatus && !closeAsked_) window_->showStatus(checkedStatus(check));
    updateControls();
    updateDefaultAction();
    if (heldElsewhere_) {
        // Looked at again until the other installer is done (not after a later choice or operation).
        QTimer::singleShot(kHeldPollMilliseconds, this, [this, generation] {
            if (generation == generation_ && !busy_ && !closeAsked_) startCheck(true);
        });
    }
    emit checkFinished();
    closeIfAsked();
}

QString AppDelegate::checkedStatus(const Check& check) const {
    if (check.heldElsewhere) return kHeldElsewhere;
    if (!check.state) return check.refusal;
    // Before the first change, where the system checks the game at its first launch.
    if (*check.state == core::InstallationState::NotInstalled && system_.gameCheckedAtFirstLaunch)
        return stateText(*check.state) + QLatin1Char(' ') + kLaunchGameFirst;
    return stateText(*check.state);
}

void AppDelegate::choosePressed() {
    if (busy_) return;
    QString startDirectory;
    if (gameBundle_) startDirectory = QFileInfo(textFromPath(*gameBundle_)).absolutePath();
    // Made first, so that it goes last: after the chooser has written what it remembers.
    const FileDialogMemory memory;
    BundleChooser chooser(window_.get(), startDirectory);
    if (dialogs_->run(chooser) != QDialog::Accepted) return;
    if (const std::optional<std::filesystem::path> bundle = chooser.chosenBundle()) chooseBundle(*bundle);
}

void AppDelegate::chooseBundle(const std::filesystem::path& bundle) {
    if (busy_) return;
    gameBundle_ = bundle;
    refreshPath();
}

void AppDelegate::installPressed() {
    if (!gameBundle_ || busy_) return;
    const std::filesystem::path game = *gameBundle_;
    const core::SkillCards skillCards = window_->skillCardsCheckbox()->isChecked() ? core::SkillCards::Translated : core::SkillCards::English;
    runOperation(QStringLiteral("Устанавливаю…"), [engine = engine_, game, skillCards](const core::ProgressCallback& progress) {
        return engine->install(game, skillCards, progress);
    });
}

void AppDelegate::removePressed() {
    // No confirmation for an operation that could not start: one is already running.
    if (!gameBundle_ || busy_) return;
    const std::filesystem::path game = *gameBundle_;

    QMessageBox confirmation(window_.get());
    prepareAlert(confirmation, QStringLiteral("Удалить Русский (Lumen)?"),
                 QStringLiteral("Изменённые файлы игры будут восстановлены из проверенных резервных копий."),
                 QMessageBox::NoIcon);
    QPushButton* removeButton = confirmation.addButton(QStringLiteral("Удалить"), QMessageBox::AcceptRole);
    QPushButton* cancelButton = confirmation.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    confirmation.setDefaultButton(removeButton);
    confirmation.setEscapeButton(cancelButton);
    dialogs_->run(confirmation);
    if (confirmation.clickedButton() != removeButton) return;

    runOperation(
        QStringLiteral("Восстанавливаю оригинал…"),
        [engine = engine_, game](const core::ProgressCallback& progress) { return engine->remove(game, progress); },
        true);
}

void AppDelegate::runOperation(const QString& initialStatus, Operation operation, bool removal) {
    if (busy_) return;
    busy_ = true;
    // A check still running is superseded: the operation checks the game itself.
    checking_ = false;
    const unsigned generation = ++generation_;
    estimate_ = ProgressEstimate();
    setBusy(true, initialStatus);
    const ProgressRelay relay(this, [this, generation](const core::Progress& progress) { showProgress(generation, progress); });
    worker_.start([this, removal, operation = std::move(operation), progress = relay.callback()] {
        Outcome outcome;
        outcome.removal = removal;
        try {
            outcome.message = QString::fromStdString(operation(progress));
            outcome.succeeded = true;
        } catch (const core::InstallerError& error) {
            outcome.message = QString::fromUtf8(error.what());
            outcome.kind = error.kind();
        } catch (...) {
            outcome.message = errorText();
        }
        QMetaObject::invokeMethod(this, [this, outcome] { finishOperation(outcome); }, Qt::QueuedConnection);
    });
}

void AppDelegate::showProgress(unsigned generation, const core::Progress& progress) {
    if (generation != generation_ || !busy_) return;
    const double fraction = progress.total == 0 ? 0.0 : static_cast<double>(progress.done) / static_cast<double>(progress.total);
    window_->showProgress(fraction, QString::fromStdString(progressLineText(progress, estimate_.remaining(progress))));
}

void AppDelegate::finishOperation(const Outcome& outcome) {
    // Nothing supersedes an operation: no check or other operation can start while it runs.
    busy_ = false;
    const ResultAlert alert = resultAlert(outcome);
    setBusy(false, alert.message);
    // What the game holds now decides the next default action; the result stays in the status.
    if (!closeAsked_) startCheck(true);
    if (!outcome.succeeded && outcome.kind == core::InstallerError::Kind::AppManagement)
        showAppManagementRefusal(alert.title, alert.message);
    else
        showResult(alert.title, alert.message, alert.icon, alert.details);
    emit operationFinished();
    closeIfAsked();
}

AppDelegate::ResultAlert AppDelegate::resultAlert(const Outcome& outcome) {
    if (outcome.succeeded) {
        // A removal that had to leave files that something else changed is not a plain success.
        if (outcome.removal && outcome.message.startsWith(QString::fromUtf8(core::kChangedFilesLeft)))
            return {kChangedFilesLeftTitle, outcome.message, QString(), QMessageBox::Warning};
        return {QStringLiteral("Готово"), outcome.message, QString(), QMessageBox::Information};
    }
    ResultAlert alert{outcome.removal ? kRemovalStopped : kInstallStopped, outcome.message, QString(), QMessageBox::Critical};
    if (outcome.kind == core::InstallerError::Kind::UnsupportedGame) {
        // The refusal's last line is a file's digest: it goes to the details, and what to do
        // takes its place.
        alert.details = outcome.message;
        const qsizetype lastLine = alert.message.lastIndexOf(QLatin1Char('\n'));
        if (lastLine > 0) alert.message.truncate(lastLine);
        alert.message += QStringLiteral("\n\n") + kUnsupportedAdvice;
    }
    return alert;
}

void AppDelegate::showResult(const QString& title, const QString& message, QMessageBox::Icon style,
                             const QString& details) {
    QMessageBox alert(window_.get());
    prepareAlert(alert, title, message, style);
    if (!details.isEmpty()) alert.setDetailedText(details);
    QPushButton* ok = alert.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert.setDefaultButton(ok);
    alert.setEscapeButton(ok);
    dialogs_->run(alert);
}

void AppDelegate::showAppManagementRefusal(const QString& title, const QString& message) {
    if (system_.appManagementSettings.empty()) {
        showResult(title, message, QMessageBox::Critical);
        return;
    }
    QMessageBox alert(window_.get());
    prepareAlert(alert, title, message, QMessageBox::Critical);
    QPushButton* settings = alert.addButton(QStringLiteral("Открыть настройки"), QMessageBox::ActionRole);
    QPushButton* ok = alert.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    // Allowing the installer is the way on, so Return opens the settings.
    alert.setDefaultButton(settings);
    alert.setEscapeButton(ok);
    dialogs_->run(alert);
    if (alert.clickedButton() != settings) return;
    // The first address that the system opens: the permission itself, or else the settings that
    // hold it.
    for (const std::string& address : system_.appManagementSettings)
        if (QDesktopServices::openUrl(QUrl(QString::fromStdString(address)))) return;
}

bool AppDelegate::mayClose() {
    if (!busy_ && !checking_) return true;
    // The window stays while work runs: closing it must not leave the work running unseen, nor
    // cut it off. It closes by itself when the work is done (after an operation's result).
    if (!closeAsked_) {
        closeAsked_ = true;
        window_->showStatus(busy_ ? kClosingAfterOperation : kClosingAfterCheck);
    }
    return false;
}

void AppDelegate::closeIfAsked() {
    if (closeAsked_ && !busy_ && !checking_) window_->close();
}

}  // namespace morra
