#include "game/GamePlaces.h"

namespace morra::game {

std::vector<std::string> payloadFileNames() {
    std::vector<std::string> names{kAddedFileTable[0].payload};
    for (const AssetSpec& asset : kAssetTable) {
        names.emplace_back(asset.basePatch);
        if (asset.skillCardDelta) names.emplace_back(asset.skillCardDelta);
    }
    for (std::size_t row = 1; row < kAddedFileTable.size(); ++row) names.emplace_back(kAddedFileTable[row].payload);
    return names;
}

}  // namespace morra::game
