#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace morra {

class InstallerEngine;

// The engine operations that the window runs. The program binds them to one InstallerEngine;
// tests may bind them to anything that behaves like the engine (an outcome they choose, a
// gate that holds the operation while they look at the window).
struct InstallerOperations {
    // Called on the main thread at launch.
    std::function<std::optional<std::filesystem::path>()> discoverGame;
    // Called on a worker thread; each returns the finished result text or throws.
    std::function<std::string(const std::filesystem::path& game, bool skillCardsEnabled)> install;
    std::function<std::string(const std::filesystem::path& game)> remove;

    static InstallerOperations forEngine(const InstallerEngine& engine);
};

}  // namespace morra
