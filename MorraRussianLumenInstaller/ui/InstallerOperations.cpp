#include "InstallerOperations.h"

namespace morra {

InstallerOperations InstallerOperations::forEngine(const InstallerEngine& engine) {
    InstallerOperations operations;
    operations.discoverGame = [engine] { return engine.discoverGame(); };
    operations.installationState = [engine](const std::filesystem::path& game) {
        return engine.installationState(game);
    };
    operations.install = [engine](const std::filesystem::path& game, bool skillCardsEnabled,
                                  const ProgressCallback& progress) {
        return engine.install(game, skillCardsEnabled ? SkillCards::Translated : SkillCards::English, progress);
    };
    operations.remove = [engine](const std::filesystem::path& game, const ProgressCallback& progress) {
        return engine.remove(game, progress);
    };
    operations.appManagementSettings = appManagementSettingsAddress();
    return operations;
}

}  // namespace morra
