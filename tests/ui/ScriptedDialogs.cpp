#include "ScriptedDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QThread>

namespace morra::test {

int ScriptedDialogs::run(QDialog& dialog) {
    ShownDialog seen;
    seen.windowTitle = dialog.windowTitle();
    seen.onMainThread = QThread::currentThread() == qApp->thread();
    if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
        seen.kind = ShownDialog::Kind::MessageBox;
        seen.text = box->text();
        seen.informativeText = box->informativeText();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) seen.buttons << button->text();
        if (box->defaultButton() != nullptr) seen.defaultButton = box->defaultButton()->text();
        if (box->escapeButton() != nullptr) seen.escapeButton = box->escapeButton()->text();
    } else if (auto* chooser = qobject_cast<QFileDialog*>(&dialog)) {
        seen.kind = ShownDialog::Kind::Chooser;
        seen.acceptLabel = chooser->labelText(QFileDialog::Accept);
    }
    shown_.push_back(seen);

    if (answers_.empty()) {
        ++unexpected_;
        dialog.reject();
        return dialog.result();
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    answer(dialog);
    return dialog.result();
}

void ScriptedDialogs::chooseFile(const QString& path) {
    expect([path](QDialog& dialog) {
        auto& chooser = dynamic_cast<QFileDialog&>(dialog);
        chooser.selectFile(path);
        dialog.accept();
    });
}

void ScriptedDialogs::cancelChooser() {
    expect([](QDialog& dialog) { dialog.reject(); });
}

void ScriptedDialogs::pressButton(const QString& text) {
    expect([text](QDialog& dialog) {
        auto& box = dynamic_cast<QMessageBox&>(dialog);
        for (QAbstractButton* button : box.buttons()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        box.reject();
    });
}

}  // namespace morra::test
