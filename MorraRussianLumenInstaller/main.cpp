#include "CommandLine.h"

#if defined(MORRA_LUMEN_HAS_UI)
#include "ui/WindowApplication.h"
#endif

int main(int argc, char** argv) {
    morra::runCommandLineIfRequested(argc, argv);
#if defined(MORRA_LUMEN_HAS_UI)
    return morra::runWindowApplication(argc, argv);
#else
    // This build has no window; a command line that names no operation has nothing to do.
    return 1;
#endif
}
