#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

#include <deque>
#include <functional>
#include <vector>

#include "DialogRunner.h"

namespace morra::test {

// What a dialog showed when it was run.
struct ShownDialog {
    enum class Kind { Chooser, MessageBox, Other };
    Kind kind = Kind::Other;
    // Message boxes only: the texts, the icon, and the buttons that Return and Escape press.
    QString text, informativeText, detailedText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString defaultButton, escapeButton;
    bool onMainThread = false;
};

// Answers the window's dialogs from a script, in order. A dialog that arrives with no answer
// scripted is recorded and rejected, and counted in `unexpected`.
class ScriptedDialogs final : public DialogRunner {
public:
    using Answer = std::function<void(QDialog&)>;

    int run(QDialog& dialog) override {
        ShownDialog seen;
        seen.onMainThread = QThread::currentThread() == qApp->thread();
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            seen = {ShownDialog::Kind::MessageBox, box->text(), box->informativeText(), box->detailedText(), box->icon(),
                    box->defaultButton() ? box->defaultButton()->text() : QString(),
                    box->escapeButton() ? box->escapeButton()->text() : QString(), seen.onMainThread};
        } else if (qobject_cast<QFileDialog*>(&dialog) != nullptr) {
            seen.kind = ShownDialog::Kind::Chooser;
        }
        shown_.push_back(seen);
        if (answers_.empty()) {
            ++unexpected_;
            dialog.reject();
        } else {
            Answer answer = std::move(answers_.front());
            answers_.pop_front();
            answer(dialog);
        }
        return dialog.result();
    }

    void expect(Answer answer) { answers_.push_back(std::move(answer)); }
    void reject() {
        expect([](QDialog& dialog) { dialog.reject(); });
    }
    // Accepts the chooser with `path` selected (the chooser's own rules decide whether it closes).
    void chooseFile(const QString& path) {
        expect([path](QDialog& dialog) {
            dynamic_cast<QFileDialog&>(dialog).selectFile(path);
            dialog.accept();
        });
    }
    // Presses the message box button with this text.
    void pressButton(const QString& text) {
        expect([text](QDialog& dialog) {
            auto& box = dynamic_cast<QMessageBox&>(dialog);
            for (QAbstractButton* button : box.buttons()) {
                if (button->text() == text) return button->click();
            }
            box.reject();
        });
    }

    const std::vector<ShownDialog>& shown() const { return shown_; }
    int unexpected() const { return unexpected_; }

private:
    std::deque<Answer> answers_;
    std::vector<ShownDialog> shown_;
    int unexpected_ = 0;
};

}  // namespace morra::test
