#include "InstallerEngine.h"
#include "InstallerEngineFactory.h"
#include "game/BuildDetection.h"

namespace morra::api {

InstallerEngine::InstallerEngine() : state_(std::make_shared<const State>(State{context::InstallContext(files::FileManager(), game::builtInBuilds())})) {}

std::string knownGameBuilds() { return game::buildNumbers(game::builtInBuilds()); }

bool knowsSeveralGameBuilds() { return game::builtInBuilds().size() > 1; }

}  // namespace morra::api
