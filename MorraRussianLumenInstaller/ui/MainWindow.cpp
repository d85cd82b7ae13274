#include "MainWindow.h"

#include <QAccessible>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

#include "BundleChooser.h"
#include "FittedLabel.h"
#include "InstallerEngine.h"
#include "PathText.h"

// The icon is compiled into this library; a static library's resources are registered by hand.
static void registerWindowIcon() { Q_INIT_RESOURCE(WindowIcon); }

namespace morra {

namespace {

constexpr int kWindowWidth = 660;
constexpr int kWindowHeight = 470;
constexpr int kStackMargin = 42;
constexpr int kStackSpacing = 18;
constexpr int kButtonRowWidth = 430;
constexpr int kButtonRowSpacing = 12;
constexpr int kInstallButtonHeight = 46;
constexpr int kStatusSpacing = 8;
// Lines of the full status text visible at once below the status line; more scroll.
constexpr int kDetailsLines = 4;
constexpr int kProgressSteps = 1000;

// Sizes are in device-independent pixels, the unit of the window's own size, so that text keeps
// its proportion to the window whatever the screen's density (on macOS this is the point).
QFont systemFont(int size, QFont::Weight weight = QFont::Normal) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(int size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(size);
    font.setWeight(QFont::Normal);
    return font;
}

// Relative luminance and contrast ratio as the web's accessibility guidelines define them.
double luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Text of lesser importance: the text colour moved towards the background, but never below the
// contrast that small text needs to stay readable (4.5:1), in a light or a dark appearance.
QColor secondaryColour(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor background = palette.color(QPalette::Window);
    for (double weight = 0.6; weight < 1.0; weight += 0.05) {
        const QColor mixed = QColor::fromRgbF(
            static_cast<float>(text.redF() * weight + background.redF() * (1 - weight)),
            static_cast<float>(text.greenF() * weight + background.greenF() * (1 - weight)),
            static_cast<float>(text.blueF() * weight + background.blueF() * (1 - weight)));
        if (contrast(mixed, background) >= 4.5) return mixed;
    }
    return text;
}

void describe(QWidget* widget, const QString& name, const QString& description) {
    if (!name.isEmpty()) widget->setAccessibleName(name);
    widget->setAccessibleDescription(description);
}

}  // namespace

QIcon MainWindow::programIcon() {
    static const bool registered = (registerWindowIcon(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/morra/WindowIcon.png"));
}

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(kWindowTitle);
    setWindowIcon(programIcon());
    setAcceptDrops(true);

    mainStack_ = new QWidget(this);
    auto* stack = new QVBoxLayout(mainStack_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kStackSpacing);
    buildTexts();
    buildStatusArea();
    buildOptionAndButtons();
    stack->addWidget(headingLabel_, 0, Qt::AlignHCenter);
    stack->addWidget(descriptionLabel_);
    stack->addWidget(pathLabel_);
    stack->addWidget(chooseButton_, 0, Qt::AlignHCenter);
    stack->addWidget(statusArea_);
    stack->addWidget(skillCardsCheckbox_, 0, Qt::AlignHCenter);
    stack->addWidget(buttonRow_, 0, Qt::AlignHCenter);
    useSecondaryColours();
    placeOnScreen();
}

void MainWindow::buildTexts() {
    headingLabel_ = new QLabel(QStringLiteral("РУССКИЙ (LUMEN)"), mainStack_);
    headingLabel_->setFont(systemFont(28, QFont::Bold));
    headingLabel_->setAlignment(Qt::AlignCenter);
    headingLabel_->setTextFormat(Qt::PlainText);

    // Its long line is broken where the halves are even, not before a lone last word.
    const QFont descriptionFont = systemFont(14);
    descriptionLabel_ = new QLabel(FittedLabel::balanced(QStringLiteral("Отдельный язык для macOS-версии Morra Vellant.\n"
                                                                        "Подходят Steam, GOG и другие копии с совместимыми файлами.\n"
                                                                        "Официальный русский, сохранения и исполняемые файлы игры не изменяются."),
                                                         descriptionFont, kWindowWidth - 2 * kStackMargin),
                                   mainStack_);
    descriptionLabel_->setFont(descriptionFont);
    descriptionLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    descriptionLabel_->setWordWrap(true);
    descriptionLabel_->setTextFormat(Qt::PlainText);
    QSizePolicy wrapping(QSizePolicy::Ignored, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    descriptionLabel_->setSizePolicy(wrapping);

    pathLabel_ = new FittedLabel(1, FittedLabel::Cut::Path, mainStack_);
    pathLabel_->setFont(monospacedFont(11));
    pathLabel_->setAlignment(Qt::AlignCenter);
    describe(pathLabel_, QStringLiteral("Путь к игре"), QString());

    chooseButton_ = new QPushButton(QStringLiteral("Выбрать morra.app…"), mainStack_);
    describe(chooseButton_, QStringLiteral("Выбрать morra.app"),
             QStringLiteral("Открывает окно выбора программы игры Morra Vellant (morra.app)."));
}

void MainWindow::buildStatusArea() {
    // The status line, and under it one place for the progress of an operation or the text of a
    // long status. The area keeps its height; what it shows is centred in it.
    statusArea_ = new QWidget(mainStack_);
    auto* statusLayout = new QVBoxLayout(statusArea_);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(kStatusSpacing);
    statusLabel_ = new FittedLabel(2, FittedLabel::Cut::Sentences, statusArea_);
    statusLabel_->setFont(systemFont(14, QFont::Medium));
    statusLabel_->setAlignment(Qt::AlignCenter);
    statusLabel_->setAccessibleDescription(QStringLiteral("Состояние игры и итог последней операции."));

    activity_ = new QStackedWidget(statusArea_);
    detailsView_ = new QPlainTextEdit(activity_);
    detailsView_->setReadOnly(true);
    detailsView_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    detailsView_->setFont(systemFont(13));
    detailsView_->setTabChangesFocus(true);
    describe(detailsView_, QStringLiteral("Полный текст"),
             QStringLiteral("Полный текст последнего сообщения; его можно выделить и скопировать."));
    activity_->addWidget(detailsView_);
    activity_->addWidget(buildProgressPage());
    const QFontMetrics detailsMetrics(detailsView_->font());
    const int detailsHeight = kDetailsLines * detailsMetrics.lineSpacing() + 2 * detailsView_->frameWidth() +
                              2 * static_cast<int>(std::ceil(detailsView_->document()->documentMargin()));
    activity_->setFixedHeight(std::max(detailsHeight, progressPage_->sizeHint().height()));
    activity_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    activity_->hide();
    statusArea_->setFixedHeight(statusLabel_->maximumHeight() + kStatusSpacing + activity_->maximumHeight());
    connect(statusLabel_, &FittedLabel::refitted, this, &MainWindow::arrangeStatus);
    showStatus((api::knowsSeveralGameBuilds() ? QStringLiteral("Совместимые профили macOS ") : QStringLiteral("Совместимый профиль macOS ")) +
               QString::fromStdString(api::knownGameBuilds()));
    statusLayout->addStretch(1);
    statusLayout->addWidget(statusLabel_);
    statusLayout->addWidget(activity_);
    statusLayout->addStretch(1);
}

QWidget* MainWindow::buildProgressPage() {
    progressPage_ = new QWidget(activity_);
    auto* progressLayout = new QVBoxLayout(progressPage_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(6);
    progressBar_ = new QProgressBar(progressPage_);
    progressBar_->setRange(0, kProgressSteps);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedWidth(kButtonRowWidth);
    describe(progressBar_, QStringLiteral("Ход операции"), QString());
    progressLabel_ = new QLabel(progressPage_);
    progressLabel_->setFont(systemFont(13));
    progressLabel_->setAlignment(Qt::AlignCenter);
    progressLabel_->setTextFormat(Qt::PlainText);
    progressLabel_->setAccessibleDescription(QStringLiteral("Шаг операции, доля сделанной работы и оставшееся время."));
    progressLayout->addStretch(1);
    progressLayout->addWidget(progressBar_, 0, Qt::AlignHCenter);
    progressLayout->addWidget(progressLabel_);
    progressLayout->addStretch(1);
    return progressPage_;
}

void MainWindow::buildOptionAndButtons() {
    skillCardsCheckbox_ = new QCheckBox(
        QStringLiteral("Русские названия навыков на карточках (снимите галочку для отката)"), mainStack_);
    skillCardsCheckbox_->setFont(systemFont(13));
    skillCardsCheckbox_->setChecked(true);
    describe(skillCardsCheckbox_, QStringLiteral("Русские названия навыков на карточках"),
             QStringLiteral("Включено: установка переводит названия навыков на карточках. "
                            "Выключено: они остаются английскими."));

    buttonRow_ = new QWidget(mainStack_);
    buttonRow_->setFixedWidth(kButtonRowWidth);
    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kButtonRowSpacing);
    installButton_ = new QPushButton(QStringLiteral("УСТАНОВИТЬ"), buttonRow_);
    installButton_->setFont(systemFont(16, QFont::DemiBold));
    installButton_->setFixedHeight(kInstallButtonHeight);
    describe(installButton_, QStringLiteral("Установить перевод"),
             QStringLiteral("Устанавливает Русский (Lumen) в выбранную игру; названия навыков — как задаёт флажок."));
    removeButton_ = new QPushButton(QStringLiteral("Удалить перевод"), buttonRow_);
    describe(removeButton_, QStringLiteral("Удалить перевод"),
             QStringLiteral("После подтверждения восстанавливает файлы игры из проверенных резервных копий."));
    // Equal widths whatever the texts: neither button's own width counts.
    for (QPushButton* button : {installButton_, removeButton_}) {
        button->setSizePolicy(QSizePolicy::Ignored, button->sizePolicy().verticalPolicy());
        row->addWidget(button, 1);
    }
    for (QPushButton* button : {chooseButton_, installButton_, removeButton_}) button->setAutoDefault(false);
    setDefaultAction(installButton_);
}

void MainWindow::placeOnScreen() {
    // The stack is centred vertically and spans the width between the margins.
    auto* content = new QVBoxLayout(this);
    content->setContentsMargins(kStackMargin, 0, kStackMargin, 0);
    content->setSpacing(0);
    content->addStretch(1);
    content->addWidget(mainStack_);
    content->addStretch(1);

    // The window's size is fixed: its usual size, or taller when its fonts need more room. Every
    // text in it has a fixed number of lines, so nothing changes it later.
    const int needed = std::max(content->totalHeightForWidth(kWindowWidth), content->totalMinimumSize().height()) +
                       2 * kStackSpacing;
    setFixedSize(kWindowWidth, std::max(kWindowHeight, needed));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void MainWindow::showPath(const QString& text) {
    pathLabel_->setFullText(text);
    pathLabel_->setAccessibleDescription(text);
}

void MainWindow::showStatus(const QString& text) {
    statusLabel_->setFullText(text);
    // The name carries the whole text, so that it is read in full and its change is announced.
    statusLabel_->setAccessibleName(text);
}

void MainWindow::arrangeStatus() {
    // Whenever the status line is fitted anew (a new text, or its width known at last), or the
    // progress goes. A status is shown once: in the line when it fits there; else whole in the
    // place below when it fits there without scrolling; else its first sentences in the line and
    // the whole text, scrollable, below.
    if (progressShown()) return;
    const QString text = statusLabel_->fullText();
    const bool inLine = statusLabel_->showsAll();
    const bool inDetailsOnly = !inLine && fitsDetails(text);
    const QString details = inLine ? QString() : text;
    if (detailsView_->toPlainText() != details) detailsView_->setPlainText(details);
    statusLabel_->setVisible(!inDetailsOnly);
    activity_->setCurrentWidget(detailsView_);
    activity_->setVisible(!inLine);
}

bool MainWindow::fitsDetails(const QString& text) const {
    const int margins = 2 * (detailsView_->frameWidth() + static_cast<int>(std::ceil(detailsView_->document()->documentMargin())));
    // The area's width, which the place below takes whole (it is laid out even while that is hidden).
    const int width = statusArea_->contentsRect().width() - margins - detailsView_->verticalScrollBar()->sizeHint().width();
    if (width <= 0) return false;
    bool all = false;
    FittedLabel::fit(text, detailsView_->font(), width, kDetailsLines, FittedLabel::Cut::Sentences, &all);
    return all;
}

QString MainWindow::statusText() const { return statusLabel_->fullText(); }

void MainWindow::showProgress(double fraction, const QString& text) {
    const int value = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kProgressSteps);
    statusLabel_->show();
    activity_->setCurrentWidget(progressPage_);
    activity_->show();
    progressBar_->setValue(value);
    if (progressLabel_->text() != text) {
        progressLabel_->setText(text);
        progressBar_->setAccessibleDescription(text);
    }
}

void MainWindow::hideProgress() {
    activity_->setCurrentWidget(detailsView_);
    arrangeStatus();
}

bool MainWindow::progressShown() const { return !activity_->isHidden() && activity_->currentWidget() == progressPage_; }

bool MainWindow::detailsShown() const { return !activity_->isHidden() && activity_->currentWidget() == detailsView_; }

void MainWindow::setDefaultAction(QPushButton* button) {
    defaultAction_ = button;
    for (QPushButton* each : {chooseButton_, installButton_, removeButton_}) each->setDefault(each == button);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Return and the keypad's Enter press the button that has the focus; with the focus anywhere
    // else, they press the default action's button. A disabled button is never pressed.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        QPushButton* target = qobject_cast<QPushButton*>(focusWidget());
        if (target == nullptr || !isAncestorOf(target)) target = defaultAction_;
        if (target != nullptr && target->isEnabled() && target->isVisible()) target->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // No button takes the focus by itself when the window opens, so that Return is the default
    // action until the user moves the focus onto a button (with Tab or a click).
    if (focusWidget() == nullptr) setFocus(Qt::OtherFocusReason);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closeGuard_ && !closeGuard_()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) useSecondaryColours();
}

void MainWindow::useSecondaryColours() {
    const QColor colour = secondaryColour(palette());
    for (QLabel* label : {descriptionLabel_, static_cast<QLabel*>(pathLabel_)}) {
        QPalette own = label->palette();
        if (own.color(QPalette::WindowText) == colour) continue;
        own.setColor(QPalette::WindowText, colour);
        label->setPalette(own);
    }
}

std::optional<std::filesystem::path> MainWindow::droppedBundle(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return std::nullopt;
    const QString file = QDir::cleanPath(urls.first().toLocalFile());
    if (!isApplicationBundle(file)) return std::nullopt;
    return pathFromText(file);
}

bool MainWindow::acceptsDrop(const QMimeData* data) const {
    // A bundle can be dropped exactly when it could be chosen with the button.
    return chooseButton_->isEnabled() && droppedBundle(data).has_value();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsDrop(event->mimeData())) event->acceptProposedAction();
    else event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (acceptsDrop(event->mimeData())) event->acceptProposedAction();
    else event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (!acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit bundleDropped(*droppedBundle(event->mimeData()));
}

}  // namespace morra
