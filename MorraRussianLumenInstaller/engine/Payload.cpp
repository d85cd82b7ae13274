#include <stdexcept>

#include "InstallerEngine.h"

namespace morra {

namespace fs = std::filesystem;

void InstallerEngine::validatePayload() const {
    throw std::logic_error("not available in this build yet");
}

}  // namespace morra
