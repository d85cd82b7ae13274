#include <stdexcept>

#include "InstallerEngine.h"

namespace morra {

namespace fs = std::filesystem;

std::optional<fs::path> InstallerEngine::discoverGame() const {
    throw std::logic_error("not available in this build yet");
}

}  // namespace morra
