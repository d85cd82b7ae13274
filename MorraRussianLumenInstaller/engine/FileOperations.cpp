#include <stdexcept>

#include "InstallerEngine.h"

namespace morra {

namespace fs = std::filesystem;

void InstallerEngine::replaceAtomically(const fs::path&, const fs::path&) const {
    throw std::logic_error("not available in this build yet");
}

void InstallerEngine::replaceAtomically(const fs::path&, const std::string&) const {
    throw std::logic_error("not available in this build yet");
}

}  // namespace morra
