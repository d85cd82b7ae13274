#include "game/Manifest.h"

#include "files/Sha256.h"

namespace morra {

namespace fs = std::filesystem;

std::vector<GameAsset> gameAssets(const GamePaths& paths, const Profile& profile, const fs::path& payloadDirectory,
                                  bool skillCardsEnabled) {
    const auto files = paths.assets();
    std::vector<GameAsset> manifest;
    for (std::size_t i = 0; i < kAssetTable.size(); ++i) {
        const AssetSpec& spec = kAssetTable[i];
        const AssetDigests& digests = profile.assets.at(i);
        GameAsset asset;
        asset.file = files[i];
        asset.patches.push_back(payloadDirectory / spec.basePatch);
        asset.originalHash = digests.original;
        if (spec.skillCardDelta) {
            // The variants differ here: each lists the other's patched form among its older forms.
            if (skillCardsEnabled) asset.patches.push_back(payloadDirectory / spec.skillCardDelta);
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

bool AddedFile::isOurs(const std::string& digest) const {
    return digest == digests->expected || containsDigest(digests->replaceable, digest);
}

std::vector<AddedFile> addedFiles(const GamePaths& paths, const Profile& profile, const fs::path& payloadDirectory) {
    std::vector<AddedFile> rows;
    for (std::size_t row = 0; row < kAddedFileTable.size(); ++row) {
        const AddedFileSpec& spec = kAddedFileTable[row];
        AddedFile file{paths.addedTarget(row), std::nullopt, payloadDirectory / spec.payload, &profile.addedFiles.at(row)};
        if (spec.source) file.source = paths.addedSource(row);
        rows.push_back(std::move(file));
    }
    return rows;
}

}  // namespace morra
