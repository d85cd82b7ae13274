#include "WindowApplication.h"

#include <QApplication>

#include <memory>

#include "AppDelegate.h"
#include "InstallerEngine.h"

namespace morra {

int runWindowApplication(int argc, char** argv) {
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("MorraRussianLumenInstaller"));
    // Closing the one window ends the program.
    application.setQuitOnLastWindowClosed(true);

    AppDelegate delegate(InstallerOperations::forEngine(InstallerEngine()),
                         std::make_unique<ModalDialogRunner>());
    delegate.applicationDidFinishLaunching();
    return application.exec();
}

}  // namespace morra
