#pragma once

#include <optional>
#include <string>
#include <vector>

#include "InstallerEngine.h"

namespace morra {

// What one command-line run prints and how it ends.
struct CommandLineOutcome {
    int exitStatus = 0;
    std::string standardOutput;
    std::string standardError;
};

// Runs the operation named by the arguments (element 0 is the program path) and returns its
// outcome, or nothing when the arguments are not one of the five command-line forms. Install and
// remove report their progress to `progress` when it is set.
std::optional<CommandLineOutcome> runCommandLine(const std::vector<std::string>& arguments,
                                                 const core::ProgressCallback& progress = {});

// Runs the command line when it is recognised, prints the outcome and ends the process with its
// status; returns only when the window should start instead. While install or remove runs, its
// progress is shown on standard error when that is a terminal, and blanked before the outcome.
void runCommandLineIfRequested(int argc, char** argv);

}  // namespace morra
