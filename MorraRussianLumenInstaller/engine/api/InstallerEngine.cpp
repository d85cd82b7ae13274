#include "InstallerEngine.h"

#include <exception>

#include "InstallerEngineFactory.h"
#include "game/GameValidation.h"
#include "operations/GameLock.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"
#include "platform/Platform.h"
#include "search/GameSearch.h"
#include "text/Utf8.h"
#include "wording/PlayerError.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

// Whatever goes wrong reaches the front ends as one Russian text in valid UTF-8, worded where
// every error that leaves the engine is worded.
template <typename Operation>
auto readable(Operation operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (...) {
        throw playerError(std::current_exception());
    }
}

}  // namespace

std::string readableText(std::string_view text) { return validUtf8(text); }

std::vector<std::string> appManagementSettingsAddresses() { return platform::appManagementSettingsAddresses(); }

bool gameCheckedAtFirstLaunch() { return platform::checksSignatureAtFirstLaunch(); }

InstallerEngine::InstallerEngine(std::shared_ptr<const State> state) : state_(std::move(state)) {}
InstallerEngine::~InstallerEngine() = default;
InstallerEngine::InstallerEngine(const InstallerEngine&) = default;
InstallerEngine& InstallerEngine::operator=(const InstallerEngine&) = default;

bool InstallerEngine::resourcesAvailable() const { return state_->context.resourcesAvailable(); }

std::optional<fs::path> InstallerEngine::discoverGame() const { return morra::discoverGame(state_->context.fileManager()); }

std::string InstallerEngine::inspect(const fs::path& game) const {
    return readable([&] { return validUtf8(morra::inspect(state_->context, game)); });
}

InstallationState InstallerEngine::installationState(const fs::path& game) const {
    return readable([&] { return morra::installationState(state_->context, game); });
}

bool InstallerEngine::heldByAnotherInstaller(const fs::path& game) const {
    return readable([&] {
        const InstallContext& context = state_->context;
        return GameLock::heldElsewhere(context.fileManager(), validateGame(context.fileManager(), game).app,
                                       context.supportDirectory());
    });
}

std::string InstallerEngine::install(const fs::path& game, SkillCards skillCards, const ProgressCallback& progress) const {
    return readable([&] { return validUtf8(morra::install(state_->context, game, skillCards, progress)); });
}

std::string InstallerEngine::remove(const fs::path& game, const ProgressCallback& progress) const {
    return readable([&] { return validUtf8(morra::remove(state_->context, game, progress)); });
}

}  // namespace morra
