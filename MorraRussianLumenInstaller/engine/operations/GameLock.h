#pragma once

#include <filesystem>
#include <optional>

#include "files/FileManager.h"

namespace morra::operations {

// Keeps a second installer, in this process or another, from working at the same time on what an
// operation changes. It locks the game bundle's folder (the same folder for every user who shares
// the game, whatever path leads there) and the user's support folder (the backups and the copy of
// the settings, shared by every game of this user). Both locks go with the object, and with the
// process if it dies.
class GameLock {
public:
    // Refuses at once, with the Russian text, when someone else holds either lock.
    GameLock(const files::FileManager& fileManager, const std::filesystem::path& app,
             const std::filesystem::path& supportDirectory);

    // Whether someone else holds either lock now: tries them without waiting and lets them go at
    // once. Creates nothing (a support folder that does not exist is held by no one).
    static bool heldElsewhere(const files::FileManager& fileManager, const std::filesystem::path& app,
                              const std::filesystem::path& supportDirectory);

private:
    std::optional<files::FileHandle> game_;
    std::optional<files::FileHandle> support_;
};

}  // namespace morra::operations
