#include <stdexcept>

#include "InstallerEngine.h"

namespace morra {

namespace fs = std::filesystem;

std::string InstallerEngine::install(const fs::path&, bool) const {
    throw std::logic_error("not available in this build yet");
}

}  // namespace morra
