#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "InstallerEngine.h"

namespace morra {

// The engine operations that the window runs. The program binds them to one InstallerEngine;
// tests may bind them to anything that behaves like the engine (an outcome they choose, a
// gate that holds the operation while they look at the window, progress they report).
struct InstallerOperations {
    // Called on the main thread at launch.
    std::function<std::optional<std::filesystem::path>()> discoverGame;
    // Called on the worker thread when a game is found or chosen, and after each operation; throws
    // with the text to show for a bundle that is not the game.
    std::function<InstallationState(const std::filesystem::path& game)> installationState;
    // Called on the worker thread; each returns the finished result text or throws, and reports
    // its progress to the callback (on the same thread).
    std::function<std::string(const std::filesystem::path& game, bool skillCardsEnabled, const ProgressCallback&)>
        install;
    std::function<std::string(const std::filesystem::path& game, const ProgressCallback&)> remove;
    // The address that opens the system's App Management settings, offered with the system's
    // refusal to let the installer change the game; nothing where the system has no such setting.
    std::optional<std::string> appManagementSettings;

    static InstallerOperations forEngine(const InstallerEngine& engine);
};

}  // namespace morra
