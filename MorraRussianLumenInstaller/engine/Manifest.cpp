#include "Engine.h"

namespace morra {

namespace fs = std::filesystem;

std::vector<GameAsset> Engine::gameAssets(const GamePaths& paths, bool skillCardsEnabled) const {
    struct Entry {
        const fs::path& file;
        const char* basePatch;
        const char* skillCardDelta;  // only the first two files have a skill-card variant
    };
    const Entry entries[] = {
        {paths.resources, "resources.assets.bsdiff", "resources-skill-cards.delta.bsdiff"},
        {paths.level2, "level2.bsdiff", "level2-skill-cards.delta.bsdiff"},
        {paths.level3, "level3.bsdiff", nullptr},
        {paths.sharedAssets0, "sharedassets0.assets.bsdiff", nullptr},
        {paths.sharedAssets1, "sharedassets1.assets.bsdiff", nullptr},
    };
    const fs::path payload = payloadDirectory();
    std::vector<GameAsset> manifest;
    for (std::size_t i = 0; i < std::size(entries); ++i) {
        const Entry& entry = entries[i];
        const AssetDigests& digests = profile_.assets.at(i);
        GameAsset asset;
        asset.file = entry.file;
        asset.patches.push_back(payload / entry.basePatch);
        asset.originalHash = digests.original;
        if (entry.skillCardDelta) {
            if (skillCardsEnabled) asset.patches.push_back(payload / entry.skillCardDelta);
            asset.patchedHash = skillCardsEnabled ? digests.translatedCards : digests.englishCards;
            asset.legacyPatchedHashes.push_back(skillCardsEnabled ? digests.englishCards : digests.translatedCards);
        } else {
            asset.patchedHash = digests.englishCards;
        }
        asset.legacyPatchedHashes.insert(asset.legacyPatchedHashes.end(), digests.earlierReleases.begin(),
                                         digests.earlierReleases.end());
        manifest.push_back(std::move(asset));
    }
    return manifest;
}

}  // namespace morra
