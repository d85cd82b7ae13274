#include "InstallerEngine.h"

#include <new>
#include <system_error>

#include "InstallerEngineFactory.h"
#include "game/GameValidation.h"
#include "operations/GameLock.h"
#include "operations/Inspect.h"
#include "operations/Install.h"
#include "operations/Remove.h"
#include "platform/Platform.h"
#include "search/GameSearch.h"
#include "text/SystemErrorText.h"
#include "text/Utf8.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

// The system's description of an error code: ours in Russian for the system's own codes.
std::string describedCode(const std::error_code& code) {
    if (code.category() == std::generic_category() || code.category() == std::system_category())
        return systemErrorText(code.value());
    return validUtf8(code.message());
}

// A system error's text with the system's description (what std::system_error appends to its
// own words) in Russian; a file error is worded so already.
std::string describedInRussian(const std::system_error& error) {
    const std::string text = error.what();
    if (text == error.code().message()) return describedCode(error.code());
    const std::string english = ": " + error.code().message();
    if (text.size() < english.size() || text.compare(text.size() - english.size(), english.size(), english) != 0)
        return validUtf8(text);
    return validUtf8(std::string_view(text).substr(0, text.size() - english.size())) + ": " + describedCode(error.code());
}

// Whatever goes wrong reaches the front ends as one Russian text in valid UTF-8: the program's
// own errors as they are worded, a failed file-system call as its file service words it, and what
// is left with the system's or library's own description after a Russian sentence.
template <typename Operation>
auto readable(Operation operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (const InstallerError& error) {
        throw InstallerError(validUtf8(error.message()), error.kind());
    } catch (const std::bad_alloc&) {
        throw InstallerError("Не хватило памяти, операция остановлена.");
    } catch (const fs::filesystem_error& error) {
        throw InstallerError("Не удалось обратиться к " + validUtf8(error.path1().string()) + ": " +
                             describedCode(error.code()));
    } catch (const std::system_error& error) {
        throw InstallerError("Операция остановлена из-за ошибки: " + describedInRussian(error));
    } catch (const std::exception& error) {
        throw InstallerError("Операция остановлена из-за ошибки: " + validUtf8(error.what()));
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
