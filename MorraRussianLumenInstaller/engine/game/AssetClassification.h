#pragma once

#include <string>
#include <vector>

#include "core/InstallationState.h"
#include "game/Manifest.h"

namespace morra::game {

// Where one asset stands against one manifest entry, by its current digest.
enum class AssetClass {
    Untouched,     // the original digest
    Installed,     // the patched digest of this manifest's variant
    OlderForm,     // the other variant's patched digest or an earlier release's
    Unrecognised,  // anything else: another build, or changed by something else
};

struct ClassifiedAsset {
    GameAsset asset;
    std::string digest;
    AssetClass assetClass;

    bool isPatched() const { return assetClass == AssetClass::Installed || assetClass == AssetClass::OlderForm; }
};

AssetClass classifyAsset(const GameAsset& asset, const std::string& digest);

// Pairs the manifest's entries with the current digests, in order.
std::vector<ClassifiedAsset> classifyAssets(const std::vector<GameAsset>& manifest,
                                            const std::vector<std::string>& digests);

// The translation's state from the same digests classified against the English-card and the
// translated-card manifests: untouched, one whole variant, anything unrecognised, or else a mix
// of known forms (an earlier release or an installation that stopped part-way).
core::InstallationState installationState(const std::vector<ClassifiedAsset>& englishCards,
                                          const std::vector<ClassifiedAsset>& translatedCards);

}  // namespace morra::game
