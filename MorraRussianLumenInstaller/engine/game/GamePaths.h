#pragma once

#include <array>
#include <filesystem>

#include "game/GamePlaces.h"

namespace morra::game {

// The game's places (GamePlaces.h) inside one game bundle, derived from the bundle's path (as
// validateGame resolved it). Nothing is read from disk to build it.
struct GamePaths {
    explicit GamePaths(const std::filesystem::path& resolvedBundle);

    std::filesystem::path app;
    std::filesystem::path data;
    std::filesystem::path bundles;

    // The five assets in manifest order.
    std::array<std::filesystem::path, kAssetTable.size()> assets() const;
    // Where added file `row` goes, and (for a row with a source) the game's bundle it is made from.
    std::filesystem::path addedTarget(std::size_t row) const { return app / kAddedFileTable.at(row).targetPath(); }
    std::filesystem::path addedSource(std::size_t row) const { return app / kAddedFileTable.at(row).sourcePath(); }
};

}  // namespace morra::game
