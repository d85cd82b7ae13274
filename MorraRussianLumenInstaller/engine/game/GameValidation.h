#pragma once

#include <filesystem>

#include "game/GamePaths.h"

namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::game {

// The gate of every operation on a chosen game: the bundle is the game, its data files are there
// and none of the five assets is a symbolic link. Returns the paths inside the bundle, whose
// `app` is the standardised, link-resolved bundle path.
GamePaths validateGame(const files::FileManager& fileManager, const std::filesystem::path& game);

// Refuses a symbolic link (the last component itself, not followed). A path that does not exist
// is the file service's error.
void rejectSymbolicLink(const files::FileManager& fileManager, const std::filesystem::path& file);

// Refuses while the game runs from this bundle (reached by any path), or while a program named
// like the game runs without a bundle.
void requireGameStopped(const files::FileManager& fileManager, const std::filesystem::path& app);

}  // namespace morra::game
