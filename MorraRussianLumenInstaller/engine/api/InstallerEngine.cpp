#include "InstallerEngine.h"

#include "Engine.h"

namespace morra {

InstallerEngine::InstallerEngine() : engine_(std::make_shared<const Engine>()) {}
InstallerEngine::InstallerEngine(std::shared_ptr<const Engine> engine) : engine_(std::move(engine)) {}
InstallerEngine::~InstallerEngine() = default;
InstallerEngine::InstallerEngine(const InstallerEngine&) = default;
InstallerEngine& InstallerEngine::operator=(const InstallerEngine&) = default;

std::optional<std::filesystem::path> InstallerEngine::discoverGame() const { return engine_->discoverGame(); }

std::string InstallerEngine::inspect(const std::filesystem::path& game) const { return engine_->inspect(game); }

InstallationState InstallerEngine::installationState(const std::filesystem::path& game) const {
    return engine_->installationState(game);
}

std::string InstallerEngine::install(const std::filesystem::path& game, bool skillCardsEnabled,
                                     const ProgressCallback& progress) const {
    return engine_->install(game, skillCardsEnabled, progress);
}

std::string InstallerEngine::remove(const std::filesystem::path& game, const ProgressCallback& progress) const {
    return engine_->remove(game, progress);
}

}  // namespace morra
