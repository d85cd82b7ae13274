#include "InstallerEngine.h"
#include "InstallerEngineFactory.h"
#include "game/BuildDetection.h"

namespace morra {

InstallerEngine::InstallerEngine() : state_(std::make_shared<const State>(State{InstallContext(FileManager(), builtInBuilds())})) {}

std::string knownGameBuilds() { return buildNumbers(builtInBuilds()); }

bool knowsSeveralGameBuilds() { return builtInBuilds().size() > 1; }

}  // namespace morra
