// Not a test: opens the program's window with the real engine in one named state and prints
// "READY" when that state is on screen, for tools/screenshot-window.sh to take its picture. The
// game is the one MORRA_LUMEN_INSTALLER_GAME names (or none, as the search finds).
//
//   morra-window-states found|not-found|working|result|error
//
// found, not-found: the window after launch, with the game's state found out. working: an
// install held once the engine has reported a third of its work (or, from an engine that reports
// nothing, held before it returns). result, error: an install and its alert (for error, the game
// should be one the engine refuses).
#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <thread>

#include "AppDelegate.h"
#include "InstallerEngine.h"
#include "WindowApplication.h"

namespace {

void ready() {
    std::printf("READY\n");
    std::fflush(stdout);
}

// Shows each dialog in its own modal loop, as the program does, and says when it is on screen.
class AnnouncingDialogs final : public morra::DialogRunner {
public:
    int run(QDialog& dialog) override {
        dialog.setWindowModality(Qt::ApplicationModal);
        QTimer::singleShot(500, &dialog, &ready);
        return dialog.exec();
    }
};

// Never returns: the operation stays where it is until the process is ended.
[[noreturn]] void holdForever() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// The program's engine, whose install is held once it has reported a third of its work (or, when
// it reports nothing, before it returns).
class HeldInstallEngine final : public morra::api::InstallerEngine {
public:
    std::string install(const std::filesystem::path& game, morra::core::SkillCards cards,
                        const morra::core::ProgressCallback& progress) const override {
        morra::api::InstallerEngine::install(game, cards, [progress](const morra::core::Progress& report) {
            progress(report);
            if (report.total > 0 && report.done * 3 >= report.total) {
                QTimer::singleShot(500, qApp, &ready);
                holdForever();
            }
        });
        QMetaObject::invokeMethod(qApp, [] { QTimer::singleShot(500, qApp, &ready); }, Qt::QueuedConnection);
        holdForever();
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::string state = argc == 2 ? argv[1] : "";
    if (state != "found" && state != "not-found" && state != "working" && state != "result" && state != "error") {
        std::fprintf(stderr, "usage: morra-window-states found|not-found|working|result|error\n");
        return 2;
    }
    QApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("MorraRussianLumenInstaller"));
    morra::prepareApplication(application);

    std::shared_ptr<const morra::api::InstallerEngine> engine;
    if (state == "working") engine = std::make_shared<const HeldInstallEngine>();
    else engine = std::make_shared<const morra::api::InstallerEngine>();
    // The held operation is never let go: end the process without waiting for it.
    morra::AppDelegate* delegate = new morra::AppDelegate(std::move(engine), std::make_unique<AnnouncingDialogs>());
    delegate->applicationDidFinishLaunching();
    QObject::connect(delegate, &morra::AppDelegate::checkFinished, delegate, [delegate, state] {
        static bool started = false;
        if (started) return;
        started = true;
        if (state == "found") QTimer::singleShot(500, qApp, &ready);
        else delegate->installPressed();
    });
    if (state == "not-found") QTimer::singleShot(500, qApp, &ready);
    const int status = application.exec();
    std::_Exit(status);
}
