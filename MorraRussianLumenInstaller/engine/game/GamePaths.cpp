#include "game/GamePaths.h"

namespace morra::game {

namespace fs = std::filesystem;

GamePaths::GamePaths(const fs::path& resolvedBundle)
    : app(resolvedBundle), data(app / kDataFolder), bundles(app / kBundlesFolder) {}

std::array<fs::path, kAssetTable.size()> GamePaths::assets() const {
    std::array<fs::path, kAssetTable.size()> files;
    for (std::size_t i = 0; i < files.size(); ++i) files[i] = app / kAssetTable[i].path();
    return files;
}

}  // namespace morra::game
