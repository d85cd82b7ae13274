#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace morra {

// The window's title, which its alerts carry too.
inline const QString kWindowTitle = QStringLiteral("Русский (Lumen) для Morra Vellant");

class FittedLabel;

// The program's one window: its controls built in code in one centred vertical stack, of a fixed
// size that fits its fonts. Nothing in it moves when a text changes: the path takes one line, and
// the status an area of fixed height, with its line of two lines and below it a place that shows
// either the progress of an operation or the text of a status too long for the line (alone when
// it fits there, else below the line's first sentences), scrollable and selectable.
// It only shows things and reports what the user does; AppDelegate decides what happens.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

    QWidget* mainStack() const { return mainStack_; }
    QLabel* headingLabel() const { return headingLabel_; }
    QLabel* descriptionLabel() const { return descriptionLabel_; }
    FittedLabel* pathLabel() const { return pathLabel_; }
    QPushButton* chooseButton() const { return chooseButton_; }
    FittedLabel* statusLabel() const { return statusLabel_; }
    QPlainTextEdit* detailsView() const { return detailsView_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QLabel* progressLabel() const { return progressLabel_; }
    QCheckBox* skillCardsCheckbox() const { return skillCardsCheckbox_; }
    QWidget* buttonRow() const { return buttonRow_; }
    QPushButton* installButton() const { return installButton_; }
    QPushButton* removeButton() const { return removeButton_; }

    // The game's path, or a sentence instead of one.
    void showPath(const QString& text);
    // A new status, shown once where it fits (see above; progress on show stays). Assistive
    // technology hears the whole text.
    void showStatus(const QString& text);
    QString statusText() const;
    // Shows the progress place with `fraction` (0 to 1) of the bar filled and `text` under it.
    void showProgress(double fraction, const QString& text);
    // Gives the progress place back to the status's details.
    void hideProgress();
    bool progressShown() const;
    bool detailsShown() const;

    // The button that Return presses when no button has the focus, drawn as the default; none
    // with nullptr.
    void setDefaultAction(QPushButton* button);
    QPushButton* defaultAction() const { return defaultAction_; }

    // Decides whether a request to close the window is followed; without one it always is.
    void setCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

    // The program's icon (a rounded blue square with "Ru" and a star).
    static QIcon programIcon();

    // The application bundle that dropped data names, when it names exactly one.
    static std::optional<std::filesystem::path> droppedBundle(const QMimeData* data);

signals:
    // A single application bundle was dropped onto the window while it could be chosen.
    void bundleDropped(const std::filesystem::path& bundle);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The steps of building the window.
    void buildTexts();
    void buildStatusArea();
    QWidget* buildProgressPage();
    void buildOptionAndButtons();
    void placeOnScreen();

    bool acceptsDrop(const QMimeData* data) const;
    void useSecondaryColours();
    void arrangeStatus();
    bool fitsDetails(const QString& text) const;

    QWidget* mainStack_ = nullptr;
    QLabel* headingLabel_ = nullptr;
    QLabel* descriptionLabel_ = nullptr;
    FittedLabel* pathLabel_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
    QWidget* statusArea_ = nullptr;
    FittedLabel* statusLabel_ = nullptr;
    QStackedWidget* activity_ = nullptr;
    QPlainTextEdit* detailsView_ = nullptr;
    QWidget* progressPage_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* progressLabel_ = nullptr;
    QCheckBox* skillCardsCheckbox_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    QPushButton* installButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* defaultAction_ = nullptr;
    std::function<bool()> closeGuard_;
};

}  // namespace morra
