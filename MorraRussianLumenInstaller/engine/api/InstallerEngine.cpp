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

namespace morra::api {

namespace fs = std::filesystem;

namespace {

// Whatever goes wrong reaches the front ends as one Russian text in valid UTF-8, worded where
// every error that leaves the engine is worded.
template <typename Operation>
auto readable(Operation operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (...) {
        throw wording::playerError(std::current_exception());
    }
}

}  // namespace

std::string readableText(std::string_view text) { return text::validUtf8(text); }

std::vector<std::string> appManagementSettingsAddresses() { return platform::appManagementSettingsAddresses(); }

bool gameCheckedAtFirstLaunch() { return platform::checksSignatureAtFirstLaunch(); }

InstallerEngine::InstallerEngine(std::shared_ptr<const State> state) : state_(std::move(state)) {}
InstallerEngine::~InstallerEngine() = default;
InstallerEngine::InstallerEngine(const InstallerEngine&) = default;
InstallerEngine& InstallerEngine::operator=(const InstallerEngine&) = default;

bool InstallerEngine::resourcesAvailable() const { return state_->context.resourcesAvailable(); }

std::optional<fs::path> InstallerEngine::discoverGame() const { return morra::search::discoverGame(state_->context.fileManager()); }

std::string InstallerEngine::inspect(const fs::path& game) const {
    return readable([&] { return text::validUtf8(operations::inspect(state_->context, game)); });
}

core::InstallationState InstallerEngine::installationState(const fs::path& game) const {
    return readable([&] { return operations::installationState(state_->context, game); });
}

bool InstallerEngine::heldByAnotherInstaller(const fs::path& game) const {
    return readable([&] {
        const context::InstallContext& context = state_->context;
        return operations::GameLock::heldElsewhere(
            context.fileManager(), game::validateGame(context.fileManager(), game).app, context.supportDirectory());
    });
}

std::string InstallerEngine::install(const fs::path& game, core::SkillCards skillCards, const core::ProgressCallback& progress) const {
    return readable(
        [&] { return text::validUtf8(morra::operations::install(state_->context, game, skillCards, progress)); });
}

std::string InstallerEngine::remove(const fs::path& game, const core::ProgressCallback& progress) const {
    return readable([&] { return text::validUtf8(morra::operations::remove(state_->context, game, progress)); });
}

}  // namespace morra::api
