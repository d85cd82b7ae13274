#include <stdexcept>

#include "InstallerEngine.h"

namespace morra {

namespace fs = std::filesystem;

void InstallerEngine::installFile(const fs::path&, const fs::path&, const std::string&, const std::vector<std::string>&) const {
    throw std::logic_error("not available in this build yet");
}

void InstallerEngine::installPatchedFile(const fs::path&, const fs::path&, const fs::path&, const std::string&, const std::string&, const std::vector<std::string>&) const {
    throw std::logic_error("not available in this build yet");
}

void InstallerEngine::patchGameAsset(const fs::path&, const fs::path&, const std::vector<fs::path>&, const std::string&) const {
    throw std::logic_error("not available in this build yet");
}

}  // namespace morra
