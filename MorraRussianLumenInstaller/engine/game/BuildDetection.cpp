#include "game/BuildDetection.h"

#include "files/Sha256.h"

namespace morra::game {

bool isTranslatedForm(const Profile& build, std::size_t asset, const std::string& digest) {
    const AssetDigests& known = build.assets.at(asset);
    return digest == known.englishCards || digest == known.translatedCards || files::containsDigest(known.earlierReleases, digest);
}

bool buildKnowsAsset(const Profile& build, std::size_t asset, const std::string& digest) {
    return digest == build.assets.at(asset).original || isTranslatedForm(build, asset, digest);
}

std::optional<std::size_t> detectBuild(const KnownBuilds& builds, const std::vector<std::string>& digests) {
    for (std::size_t build = 0; build < builds.size(); ++build) {
        bool knowsAll = digests.size() == kAssetTable.size();
        for (std::size_t i = 0; knowsAll && i < digests.size(); ++i) knowsAll = buildKnowsAsset(builds[build], i, digests[i]);
        if (knowsAll) return build;
    }
    return std::nullopt;
}

std::string buildNumbers(const KnownBuilds& builds) {
    std::string numbers;
    for (const Profile& build : builds) numbers += (numbers.empty() ? "" : ", ") + build.build;
    return numbers;
}

}  // namespace morra::game
