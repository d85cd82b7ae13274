#pragma once

#include <filesystem>
#include <optional>

namespace morra {

// The program's resources folder, found from the executable's own path: on Linux
// share/MorraRussianLumenInstaller beside bin/, on macOS the bundle's Contents/Resources.
std::optional<std::filesystem::path> resourcesDirectory();

}  // namespace morra
