#include "DialogRunner.h"

#include <QDialog>

namespace morra {

int ModalDialogRunner::run(QDialog& dialog) {
    dialog.setWindowModality(Qt::ApplicationModal);
    return dialog.exec();
}

}  // namespace morra
