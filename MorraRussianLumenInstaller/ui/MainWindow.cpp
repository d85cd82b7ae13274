#include "MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "BundleChooser.h"
#include "PathText.h"

namespace morra {

namespace {

constexpr int kWindowWidth = 660;
constexpr int kWindowHeight = 470;
constexpr int kStackMargin = 42;
constexpr int kStackSpacing = 18;
constexpr int kButtonRowWidth = 430;
constexpr int kButtonRowSpacing = 12;
constexpr int kInstallButtonHeight = 46;

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
    font.setFixedPitch(true);
    font.setPixelSize(size);
    font.setWeight(QFont::Normal);
    return font;
}

// A label that wraps its text within the stack's width and never widens the window.
QLabel* wrappingLabel(QWidget* parent, const QString& text, const QFont& font) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    label->setSizePolicy(policy);
    return label;
}

// Text of lesser importance: the window's text colour, half covered.
void useSecondaryColour(QLabel* label) {
    QPalette palette = label->palette();
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.55F);
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Русский (Lumen) для Morra Vellant"));
    setFixedSize(kWindowWidth, kWindowHeight);
    setAcceptDrops(true);

    auto* content = new QVBoxLayout(this);
    content->setContentsMargins(kStackMargin, 0, kStackMargin, 0);
    content->setSpacing(0);

    mainStack_ = new QWidget(this);
    auto* stack = new QVBoxLayout(mainStack_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(kStackSpacing);

    headingLabel_ = new QLabel(QStringLiteral("РУССКИЙ (LUMEN)"), mainStack_);
    headingLabel_->setFont(systemFont(28, QFont::Bold));
    headingLabel_->setAlignment(Qt::AlignCenter);
    headingLabel_->setTextFormat(Qt::PlainText);

    descriptionLabel_ = wrappingLabel(
        mainStack_,
        QStringLiteral("Отдельный язык для macOS-версии Morra Vellant.\n"
                       "Подходят Steam, GOG и другие копии с совместимыми файлами.\n"
                       "Официальный русский, сохранения и исполняемые файлы игры не изменяются."),
        systemFont(14));
    useSecondaryColour(descriptionLabel_);

    pathLabel_ = wrappingLabel(mainStack_, QString(), monospacedFont(11));
    useSecondaryColour(pathLabel_);

    chooseButton_ = new QPushButton(QStringLiteral("Выбрать morra.app…"), mainStack_);
    chooseButton_->setAutoDefault(false);

    // The status line, with the busy indicator under it. The indicator keeps its place while
    // hidden so that nothing in the window moves when an operation starts or ends.
    auto* statusArea = new QWidget(mainStack_);
    auto* statusLayout = new QVBoxLayout(statusArea);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(8);
    statusLabel_ = wrappingLabel(statusArea, QStringLiteral("Совместимый профиль macOS 57314208"),
                                 systemFont(14, QFont::Medium));
    busyIndicator_ = new QProgressBar(statusArea);
    busyIndicator_->setRange(0, 0);
    busyIndicator_->setTextVisible(false);
    busyIndicator_->setFixedSize(kButtonRowWidth, 6);
    QSizePolicy indicatorPolicy = busyIndicator_->sizePolicy();
    indicatorPolicy.setRetainSizeWhenHidden(true);
    busyIndicator_->setSizePolicy(indicatorPolicy);
    busyIndicator_->hide();
    statusLayout->addWidget(statusLabel_);
    statusLayout->addWidget(busyIndicator_, 0, Qt::AlignHCenter);

    skillCardsCheckbox_ = new QCheckBox(
        QStringLiteral("Русские названия навыков на карточках (снимите галочку для отката)"), mainStack_);
    skillCardsCheckbox_->setFont(systemFont(13));
    skillCardsCheckbox_->setChecked(true);

    buttonRow_ = new QWidget(mainStack_);
    buttonRow_->setFixedWidth(kButtonRowWidth);
    auto* row = new QHBoxLayout(buttonRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kButtonRowSpacing);
    installButton_ = new QPushButton(QStringLiteral("УСТАНОВИТЬ"), buttonRow_);
    installButton_->setFont(systemFont(16, QFont::DemiBold));
    installButton_->setFixedHeight(kInstallButtonHeight);
    installButton_->setDefault(true);
    removeButton_ = new QPushButton(QStringLiteral("Удалить перевод"), buttonRow_);
    removeButton_->setAutoDefault(false);
    // Equal widths whatever the texts: neither button's own width counts.
    for (QPushButton* button : {installButton_, removeButton_}) {
        button->setSizePolicy(QSizePolicy::Ignored, button->sizePolicy().verticalPolicy());
        row->addWidget(button, 1);
    }

    stack->addWidget(headingLabel_, 0, Qt::AlignHCenter);
    stack->addWidget(descriptionLabel_);
    stack->addWidget(pathLabel_);
    stack->addWidget(chooseButton_, 0, Qt::AlignHCenter);
    stack->addWidget(statusArea);
    stack->addWidget(skillCardsCheckbox_, 0, Qt::AlignHCenter);
    stack->addWidget(buttonRow_, 0, Qt::AlignHCenter);

    // The stack is centred vertically and spans the width between the margins.
    content->addStretch(1);
    content->addWidget(mainStack_);
    content->addStretch(1);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Return presses the install button wherever the focus is, as long as it can be pressed.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        if (installButton_->isEnabled()) installButton_->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
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
