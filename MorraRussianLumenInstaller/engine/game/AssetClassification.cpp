#include "game/AssetClassification.h"

#include <algorithm>

#include "files/Sha256.h"

namespace morra::game {

AssetClass classifyAsset(const GameAsset& asset, const std::string& digest) {
    if (digest == asset.originalHash) return AssetClass::Untouched;
    if (digest == asset.patchedHash) return AssetClass::Installed;
    if (files::containsDigest(asset.legacyPatchedHashes, digest)) return AssetClass::OlderForm;
    return AssetClass::Unrecognised;
}

std::vector<ClassifiedAsset> classifyAssets(const std::vector<GameAsset>& manifest, const std::vector<std::string>& digests) {
    std::vector<ClassifiedAsset> classified;
    for (std::size_t i = 0; i < manifest.size() && i < digests.size(); ++i)
        classified.push_back({manifest[i], digests[i], classifyAsset(manifest[i], digests[i])});
    return classified;
}

core::InstallationState installationState(const std::vector<ClassifiedAsset>& englishCards,
                                          const std::vector<ClassifiedAsset>& translatedCards) {
    const auto all = [](const std::vector<ClassifiedAsset>& assets, auto predicate) {
        return std::all_of(assets.begin(), assets.end(), predicate);
    };
    if (all(englishCards, [](const ClassifiedAsset& a) { return a.assetClass == AssetClass::Untouched; }))
        return core::InstallationState::NotInstalled;
    if (all(translatedCards, [](const ClassifiedAsset& a) { return a.assetClass == AssetClass::Installed; }))
        return core::InstallationState::TranslatedCards;
    if (all(englishCards, [](const ClassifiedAsset& a) { return a.assetClass == AssetClass::Installed; }))
        return core::InstallationState::EnglishCards;
    // The translated-card manifest knows every form that either manifest knows: the English-card
    // forms are among its older forms.
    if (!all(translatedCards, [](const ClassifiedAsset& a) { return a.assetClass != AssetClass::Unrecognised; }))
        return core::InstallationState::Unsupported;
    return core::InstallationState::EarlierOrIncomplete;
}

}  // namespace morra::game
