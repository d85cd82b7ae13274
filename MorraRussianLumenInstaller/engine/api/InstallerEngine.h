#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BuildNumber.h"
#include "ChangedFilesLeft.h"
#include "InstallationState.h"
#include "InstallerError.h"
#include "Progress.h"
#include "ResourcesUnavailable.h"
#include "SkillCards.h"

namespace morra::api {

// Where the system lets the user allow the installer to change the game's application (App
// Management), as addresses the system opens, to be tried in order (the setting itself, then the
// settings around it); none where the system has no such setting.
std::vector<std::string> appManagementSettingsAddresses();

// Whether the system checks an application's signature when it is first launched (macOS), so that
// a game first launched after the installer changed it may be called damaged: the player should
// launch it once before the first install.
bool gameCheckedAtFirstLaunch();


// The game builds this program knows, as its texts name them: "57314208", or with several
// "57314208, 57390117". (Defined beside the compiled-in builds.)
std::string knownGameBuilds();
// Whether the program knows more than one game build (its texts then speak of several profiles).
bool knowsSeveralGameBuilds();

// A text as the program shows it: bytes that are not UTF-8 (a path may hold any) written as "\xNN".
// Every text the engine returns or throws is already so; front ends use this for paths.
std::string readableText(std::string_view text);

// The installer's game-side operations, as the command line and the window use them. Every
// operation is synchronous and keeps nothing between calls: what lasts is on disk. Each returns
// its finished Russian text or throws InstallerError with the complete Russian text to show. The
// operations are virtual so that a front end's tests can stand in for the engine.
class InstallerEngine {
public:
    // The program's own engine: the profile compiled into it, its own payload, the real disk.
    // (Defined beside the compiled-in profile.)
    InstallerEngine();
    virtual ~InstallerEngine();
    InstallerEngine(const InstallerEngine&);
    InstallerEngine& operator=(const InstallerEngine&);

    // Whether the program's resources folder, which holds the payload, can be found. The front
    // ends check it once at start; an operation that needs it and does not find it throws an
    // InstallerError that says so in Russian and ends with kResourcesUnavailable.
    virtual bool resourcesAvailable() const;
    // The first of the usual places that holds the game; never throws for a file-system reason.
    virtual std::optional<std::filesystem::path> discoverGame() const;
    // The report of --inspect: the state and the digests of the five assets.
    virtual std::string inspect(const std::filesystem::path& game) const;
    // The state that inspect reports, for a front end to word it its own way.
    virtual core::InstallationState installationState(const std::filesystem::path& game) const;
    // Whether another installer, in this process or another, is working on this game or on the
    // backups now (an install or remove would refuse at once). Tries the locks without waiting;
    // changes nothing. Throws, like installationState, for a bundle that is not the game.
    virtual bool heldByAnotherInstaller(const std::filesystem::path& game) const;
    virtual std::string install(const std::filesystem::path& game, core::SkillCards skillCards,
                                const core::ProgressCallback& progress = {}) const;
    virtual std::string remove(const std::filesystem::path& game, const core::ProgressCallback& progress = {}) const;

protected:
    // What the operations work with, private to the engine; tests and benchmarks make an engine
    // over their own through the engine's internal factory. A stand-in for the engine that
    // overrides what it is asked for passes nullptr.
    struct State;
    explicit InstallerEngine(std::shared_ptr<const State> state);

private:
    friend struct InstallerEngineFactory;
    std::shared_ptr<const State> state_;
};

}  // namespace morra::api
