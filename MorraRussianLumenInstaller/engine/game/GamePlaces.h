#pragma once

#include <array>
#include <string>
#include <vector>

namespace morra::game {

// Every place in the game that the translation touches, named once: the engine, the pack tool and
// the fixture generator all read them from here. Paths are relative to the game's bundle.
inline constexpr const char* kDataFolder = "Contents/Resources/Data";
inline constexpr const char* kBundlesFolder = "Contents/Resources/Data/StreamingAssets/AssetBundles/OSX";

// The five assets that the translation patches, in manifest order, with their base patch and (for
// the first two) the skill-card delta that follows it in the translated-card variant.
struct AssetSpec {
    const char* name;            // the file under the data folder
    const char* basePatch;       // payload file
    const char* skillCardDelta;  // payload file, or nullptr

    std::string path() const { return std::string(kDataFolder) + "/" + name; }
};
inline constexpr std::array<AssetSpec, 5> kAssetTable = {{
    {"resources.assets", "resources.assets.bsdiff", "resources-skill-cards.delta.bsdiff"},
    {"level2", "level2.bsdiff", "level2-skill-cards.delta.bsdiff"},
    {"level3", "level3.bsdiff", nullptr},
    {"sharedassets0.assets", "sharedassets0.assets.bsdiff", nullptr},
    {"sharedassets1.assets", "sharedassets1.assets.bsdiff", nullptr},
}};

// The four bundles that the translation adds to the game's bundles folder, in the order they are
// installed and removed: the lockit copied from the payload, three made by patching a bundle that
// the game has.
struct AddedFileSpec {
    const char* target;   // under the bundles folder
    const char* source;   // the game's bundle it is patched from, or nullptr: copied from the payload
    const char* payload;  // the payload file copied (no source) or applied to the source

    std::string targetPath() const { return std::string(kBundlesFolder) + "/" + target; }
    // Only for a row with a source.
    std::string sourcePath() const { return std::string(kBundlesFolder) + "/" + source; }
};
inline constexpr std::array<AddedFileSpec, 4> kAddedFileTable = {{
    {"lockits/russianblind", nullptr, "russianblind"},
    {"fonts/russianblind", "fonts/russian", "fonts-russianblind.bsdiff"},
    {"images/russianblind", "images/english", "images-russianblind.bsdiff"},
    {"images_dyslexic/russianblind", "images_dyslexic/english", "images-dyslexic-russianblind.bsdiff"},
}};

// The eleven payload files in the order they are checked: the lockit, each asset's base patch
// and skill-card delta, then the patches of the added bundles.
std::vector<std::string> payloadFileNames();

}  // namespace morra::game
