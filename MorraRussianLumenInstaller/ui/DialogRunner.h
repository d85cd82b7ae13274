#pragma once

class QDialog;

namespace morra {

// Runs the window's modal dialogs (the bundle chooser, the removal confirmation and the result
// alerts). The window builds each dialog completely and hands it here; the program shows it to
// the user, a test answers it instead. After run() returns, the dialog holds the answer: its
// result(), the file the chooser accepted, or the message box's clicked button.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    // Shows the dialog modally and returns when it has been answered; returns its result code.
    virtual int run(QDialog& dialog) = 0;
};

// The program's runner: the dialog's own modal loop, application-modal.
class ModalDialogRunner final : public DialogRunner {
public:
    int run(QDialog& dialog) override;
};

}  // namespace morra
