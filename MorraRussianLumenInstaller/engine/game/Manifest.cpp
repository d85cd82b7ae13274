#include "game/Manifest.h"

#include "files/Sha256.h"

namespace morra::game {

namespace fs = std::filesystem;

namespace {

fs::path payloadFile(const KnownBuilds& builds, std::size_t build, const fs::path& payloadDirectory, const char* name) {
    return payloadDirectory / storedPayloadFile(builds, build, name);
}

}  // namespace

std::vector<GameAsset> gameAssets(const GamePaths& paths, const KnownBuilds& builds, std::size_t build,
                                  const fs::path& payloadDirectory, bool skillCardsEnabled) {
    const Profile& profile = builds.at(build);
    const auto files = paths.assets();
    std::vector<GameAsset> manifest;
    for (std::size_t i = 0; i < kAssetTable.size(); ++i) {
        const AssetSpec& spec = kAssetTable[i];
        const AssetDigests& digests = profile.assets.at(i);
        GameAsset asset;
        asset.file = files[i];
        asset.patches.push_back(payloadFile(builds, build, payloadDirectory, spec.basePatch));
        asset.originalHash = digests.original;
        if (spec.skillCardDelta) {
            // The variants differ here: each lists the other's patched form among its older forms.
            if (skillCardsEnabled) asset.patches.push_back(payloadFile(builds, build, payloadDirectory, spec.skillCardDelta));
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
    return digest == digests->expected || files::containsDigest(replaceable(), digest);
}

std::vector<std::string> AddedFile::replaceable() const {
    std::vector<std::string> all = digests->replaceable;
    for (const std::string& digest : otherBuilds)
        if (digest != digests->expected && !files::containsDigest(all, digest)) all.push_back(digest);
    return all;
}

std::vector<AddedFile> addedFiles(const GamePaths& paths, const KnownBuilds& builds, std::size_t build,
                                  const fs::path& payloadDirectory) {
    std::vector<AddedFile> rows;
    for (std::size_t row = 0; row < kAddedFileTable.size(); ++row) {
        const AddedFileSpec& spec = kAddedFileTable[row];
        AddedFile file{paths.addedTarget(row), std::nullopt, payloadFile(builds, build, payloadDirectory, spec.payload),
                       &builds.at(build).addedFiles.at(row), {}};
        if (spec.source) file.source = paths.addedSource(row);
        for (std::size_t other = 0; other < builds.size(); ++other) {
            if (other == build) continue;
            const AddedFileDigests& digests = builds[other].addedFiles.at(row);
            file.otherBuilds.push_back(digests.expected);
            file.otherBuilds.insert(file.otherBuilds.end(), digests.replaceable.begin(), digests.replaceable.end());
        }
        rows.push_back(std::move(file));
    }
    return rows;
}

}  // namespace morra::game
