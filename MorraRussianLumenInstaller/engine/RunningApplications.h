#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morra {

struct RunningApplication {
    std::optional<std::filesystem::path> bundle;  // the application bundle it runs from, if any
    std::optional<std::string> localizedName;
};

// The applications running now. On Linux: every process whose executable can be read; its bundle
// is X.app when the executable is X.app/Contents/MacOS/<file>, otherwise it has none and its name
// is the executable's file name.
std::vector<RunningApplication> runningApplications();

// The bundle of an executable path laid out as X.app/Contents/MacOS/<file>, if it is one.
std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable);

}  // namespace morra
