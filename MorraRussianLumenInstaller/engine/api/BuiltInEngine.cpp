#include "InstallerEngine.h"
#include "operations/Engine.h"

namespace morra {

InstallerEngine::InstallerEngine() : engine_(std::make_shared<const Engine>(FileManager(), builtInProfile())) {}

}  // namespace morra
