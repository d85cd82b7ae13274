#pragma once

namespace morra {

// Runs the program as a desktop application with its one window, after the command line has
// named no operation. Returns when the window has been closed (and any operation still running
// has finished its work); the result is the process's exit status.
int runWindowApplication(int argc, char** argv);

}  // namespace morra
