#include "AppDelegate.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <exception>

#include "BundleChooser.h"
#include "PathText.h"

namespace morra {

namespace {

const QString kWindowTitle = QStringLiteral("Русский (Lumen) для Morra Vellant");

}  // namespace

AppDelegate::AppDelegate(InstallerOperations operations, std::unique_ptr<DialogRunner> dialogs,
                         QObject* parent)
    : QObject(parent), operations_(std::move(operations)), dialogs_(std::move(dialogs)) {
    worker_.setMaxThreadCount(1);
    worker_.setExpiryTimeout(-1);
}

AppDelegate::~AppDelegate() {
    worker_.waitForDone();
}

void AppDelegate::applicationDidFinishLaunching() {
    buildWindow();
    gameURL_ = operations_.discoverGame();
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
    connect(window_.get(), &MainWindow::bundleDropped, this, &AppDelegate::chooseBundle);
}

void AppDelegate::refreshPath() {
    if (gameURL_) {
        window_->pathLabel()->setText(textFromPath(*gameURL_));
        window_->pathLabel()->setToolTip(textFromPath(*gameURL_));
        window_->statusLabel()->setText(QStringLiteral("Игра найдена. Совместимость проверится при установке."));
    } else {
        window_->pathLabel()->setText(QStringLiteral("Morra Vellant не найдена автоматически"));
        window_->pathLabel()->setToolTip(QString());
        window_->statusLabel()->setText(QStringLiteral("Укажите morra.app вручную"));
    }
    window_->installButton()->setEnabled(gameURL_.has_value());
    window_->removeButton()->setEnabled(gameURL_.has_value());
}

void AppDelegate::setBusy(bool busy, const QString& status) {
    const bool operationsAllowed = !busy && gameURL_.has_value();
    window_->installButton()->setEnabled(operationsAllowed);
    window_->removeButton()->setEnabled(operationsAllowed);
    window_->chooseButton()->setEnabled(!busy);
    window_->skillCardsCheckbox()->setEnabled(!busy);
    window_->statusLabel()->setText(status);
    window_->busyIndicator()->setVisible(busy);
}

void AppDelegate::choosePressed() {
    if (busy_) return;
    QString startDirectory;
    if (gameURL_) startDirectory = QFileInfo(textFromPath(*gameURL_)).absolutePath();
    BundleChooser chooser(window_.get(), startDirectory);
    if (dialogs_->run(chooser) != QDialog::Accepted) return;
    if (const std::optional<std::filesystem::path> bundle = chooser.chosenBundle()) chooseBundle(*bundle);
}

void AppDelegate::chooseBundle(const std::filesystem::path& bundle) {
    if (busy_) return;
    gameURL_ = bundle;
    refreshPath();
}

void AppDelegate::installPressed() {
    if (!gameURL_) return;
    const std::filesystem::path game = *gameURL_;
    const bool skillCardsEnabled = window_->skillCardsCheckbox()->isChecked();
    auto install = operations_.install;
    runOperation(QStringLiteral("Устанавливаю…"),
                 [install, game, skillCardsEnabled] { return install(game, skillCardsEnabled); });
}

void AppDelegate::removePressed() {
    // No confirmation for an operation that could not start: one is already running.
    if (!gameURL_ || busy_) return;
    const std::filesystem::path game = *gameURL_;

    QMessageBox confirmation(window_.get());
    confirmation.setWindowTitle(kWindowTitle);
    confirmation.setText(QStringLiteral("Удалить Русский (Lumen)?"));
    confirmation.setInformativeText(
        QStringLiteral("Изменённые файлы игры будут восстановлены из проверенных резервных копий."));
    QPushButton* removeButton = confirmation.addButton(QStringLiteral("Удалить"), QMessageBox::AcceptRole);
    QPushButton* cancelButton = confirmation.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    confirmation.setDefaultButton(removeButton);
    confirmation.setEscapeButton(cancelButton);
    dialogs_->run(confirmation);
    if (confirmation.clickedButton() != removeButton) return;

    auto remove = operations_.remove;
    runOperation(QStringLiteral("Восстанавливаю оригинал…"), [remove, game] { return remove(game); });
}

void AppDelegate::runOperation(const QString& initialStatus, std::function<std::string()> operation) {
    if (busy_) return;
    busy_ = true;
    setBusy(true, initialStatus);
    worker_.start([this, operation = std::move(operation)] {
        Outcome outcome;
        try {
            outcome.message = QString::fromStdString(operation());
            outcome.succeeded = true;
        } catch (const std::exception& error) {
            outcome.message = QString::fromUtf8(error.what());
        } catch (...) {
            outcome.message = QStringLiteral("Операция прервана неизвестной ошибкой.");
        }
        QMetaObject::invokeMethod(this, [this, outcome] { finishOperation(outcome); }, Qt::QueuedConnection);
    });
}

void AppDelegate::finishOperation(const Outcome& outcome) {
    busy_ = false;
    setBusy(false, outcome.message);
    if (outcome.succeeded) showResult(QStringLiteral("Готово"), outcome.message, QMessageBox::Information);
    else showResult(QStringLiteral("Установка остановлена"), outcome.message, QMessageBox::Critical);
    emit operationFinished();
}

void AppDelegate::showResult(const QString& title, const QString& message, QMessageBox::Icon style) {
    QMessageBox alert(window_.get());
    alert.setWindowTitle(kWindowTitle);
    alert.setIcon(style);
    alert.setText(title);
    alert.setInformativeText(message);
    QPushButton* ok = alert.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert.setDefaultButton(ok);
    alert.setEscapeButton(ok);
    dialogs_->run(alert);
}

}  // namespace morra
