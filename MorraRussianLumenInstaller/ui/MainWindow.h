#pragma once

#include <QWidget>

#include <filesystem>
#include <optional>

class QCheckBox;
class QLabel;
class QMimeData;
class QProgressBar;
class QPushButton;

namespace morra {

// The program's one window: fixed size, its controls built in code in one centred vertical stack.
// It only shows things and reports what the user does; AppDelegate decides what happens.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);

    QWidget* mainStack() const { return mainStack_; }
    QLabel* headingLabel() const { return headingLabel_; }
    QLabel* descriptionLabel() const { return descriptionLabel_; }
    QLabel* pathLabel() const { return pathLabel_; }
    QPushButton* chooseButton() const { return chooseButton_; }
    QLabel* statusLabel() const { return statusLabel_; }
    QProgressBar* busyIndicator() const { return busyIndicator_; }
    QCheckBox* skillCardsCheckbox() const { return skillCardsCheckbox_; }
    QWidget* buttonRow() const { return buttonRow_; }
    QPushButton* installButton() const { return installButton_; }
    QPushButton* removeButton() const { return removeButton_; }

    // The application bundle that dropped data names, when it names exactly one.
    static std::optional<std::filesystem::path> droppedBundle(const QMimeData* data);

signals:
    // A single application bundle was dropped onto the window while it could be chosen.
    void bundleDropped(const std::filesystem::path& bundle);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool acceptsDrop(const QMimeData* data) const;

    QWidget* mainStack_ = nullptr;
    QLabel* headingLabel_ = nullptr;
    QLabel* descriptionLabel_ = nullptr;
    QLabel* pathLabel_ = nullptr;
    QPushButton* chooseButton_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* busyIndicator_ = nullptr;
    QCheckBox* skillCardsCheckbox_ = nullptr;
    QWidget* buttonRow_ = nullptr;
    QPushButton* installButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
};

}  // namespace morra
