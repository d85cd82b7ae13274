#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BuildNumber.h"
#include "InstallationState.h"
#include "InstallerError.h"
#include "Progress.h"
#include "ResourcesUnavailable.h"
#include "SkillCards.h"

namespace morra {

// Where the system lets the user allow the installer to change the game's application (App
// Management), as an address the system opens; nothing where the system has no such setting.
std::optional<std::string> appManagementSettingsAddress();

// A text as the program shows it: bytes that are not UTF-8 (a path may hold any) written as "\xNN".
// Every text the engine returns or throws is already so; front ends use this for paths.
std::string readableText(std::string_view text);

// The installer's game-side operations, as the command line and the window use them. Every
// operation is synchronous and keeps nothing between calls: what lasts is on disk. Each returns
// its finished Russian text or throws InstallerError with the complete Russian text to show.
class InstallerEngine {
public:
    // The program's own engine: the profile compiled into it, its own payload, the real disk.
    // (Defined beside the compiled-in profile.)
    InstallerEngine();
    ~InstallerEngine();
    InstallerEngine(const InstallerEngine&);
    InstallerEngine& operator=(const InstallerEngine&);

    // Whether the program's resources folder, which holds the payload, can be found. The front
    // ends check it once at start; an operation that needs it and does not find it throws an
    // InstallerError that says so in Russian and ends with kResourcesUnavailable.
    bool resourcesAvailable() const;
    // The first of the usual places that holds the game; never throws for a file-system reason.
    std::optional<std::filesystem::path> discoverGame() const;
    // The report of --inspect: the state and the digests of the five assets.
    std::string inspect(const std::filesystem::path& game) const;
    // The state that inspect reports, for a front end to word it its own way.
    InstallationState installationState(const std::filesystem::path& game) const;
    std::string install(const std::filesystem::path& game, SkillCards skillCards,
                        const ProgressCallback& progress = {}) const;
    std::string remove(const std::filesystem::path& game, const ProgressCallback& progress = {}) const;

private:
    // What the operations work with, private to the engine; tests and benchmarks make an engine
    // over their own through the engine's internal factory.
    struct State;
    friend struct InstallerEngineFactory;
    explicit InstallerEngine(std::shared_ptr<const State> state);

    std::shared_ptr<const State> state_;
};

}  // namespace morra
