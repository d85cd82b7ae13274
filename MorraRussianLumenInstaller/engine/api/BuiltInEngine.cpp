#include "InstallerEngine.h"
#include "InstallerEngineFactory.h"

namespace morra {

InstallerEngine::InstallerEngine() : state_(std::make_shared<const State>(State{InstallContext(FileManager(), builtInBuilds())})) {}

}  // namespace morra
