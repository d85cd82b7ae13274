#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

#include "DialogRunner.h"

namespace morra::test {

// What a dialog showed when it was run.
struct ShownDialog {
    enum class Kind { Chooser, MessageBox, Other };
    Kind kind = Kind::Other;
    QString windowTitle;
    QString text;             // message box: main text
    QString informativeText;  // message box: informative text
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;      // message box: button texts, accepting buttons first
    QString defaultButton;    // message box: what Return presses
    QString escapeButton;     // message box: what Escape presses
    QString acceptLabel;      // chooser: the accept button's text
    bool onMainThread = false;
};

// Answers the window's dialogs from a script, in order. A dialog that arrives with no answer
// scripted is recorded and rejected, and counted in `unexpected`.
class ScriptedDialogs final : public DialogRunner {
public:
    using Answer = std::function<void(QDialog&)>;

    int run(QDialog& dialog) override;

    void expect(Answer answer) { answers_.push_back(std::move(answer)); }
    // Accepts the chooser with `path` selected (the chooser's own rules decide whether it closes).
    void chooseFile(const QString& path);
    void cancelChooser();
    // Presses the message box button with this text.
    void pressButton(const QString& text);

    const std::vector<ShownDialog>& shown() const { return shown_; }
    int unexpected() const { return unexpected_; }
    std::size_t pending() const { return answers_.size(); }

private:
    std::deque<Answer> answers_;
    std::vector<ShownDialog> shown_;
    int unexpected_ = 0;
};

}  // namespace morra::test
