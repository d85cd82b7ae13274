#include "InstallerOperations.h"

#include "InstallerEngine.h"

namespace morra {

InstallerOperations InstallerOperations::forEngine(const InstallerEngine& engine) {
    InstallerOperations operations;
    operations.discoverGame = [engine] { return engine.discoverGame(); };
    operations.install = [engine](const std::filesystem::path& game, bool skillCardsEnabled) {
        return engine.install(game, skillCardsEnabled);
    };
    operations.remove = [engine](const std::filesystem::path& game) { return engine.remove(game); };
    return operations;
}

}  // namespace morra
