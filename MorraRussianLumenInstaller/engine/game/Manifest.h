#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "game/GamePaths.h"
#include "game/Profile.h"

namespace morra {

// What the translation changes in the game, named once for the engine and the maintainer tools.

// The five assets that the translation patches, in manifest order, with their base patch and (for
// the first two) the skill-card delta that follows it in the translated-card variant.
struct AssetSpec {
    const char* name;            // the file under Contents/Resources/Data
    const char* basePatch;       // payload file
    const char* skillCardDelta;  // payload file, or nullptr
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

// One entry of the asset manifest: a game file, the patches that turn its untouched form into the
// form this variant installs, and the digests of every state in which the file may be found.
struct GameAsset {
    std::filesystem::path file;
    std::vector<std::filesystem::path> patches;
    std::string originalHash;
    std::string patchedHash;
    std::vector<std::string> legacyPatchedHashes;
};

// The five-entry manifest of one skill-card variant. Reads no file.
std::vector<GameAsset> gameAssets(const GamePaths& paths, const Profile& profile,
                                  const std::filesystem::path& payloadDirectory, bool skillCardsEnabled);

// One row of the added-file table, placed in a game, with its digests.
struct AddedFile {
    std::filesystem::path target;
    std::optional<std::filesystem::path> source;
    std::filesystem::path payload;
    const AddedFileDigests* digests;

    // The digests under which the file may be deleted or replaced: its expected one and those of
    // earlier releases.
    bool isOurs(const std::string& digest) const;
};

std::vector<AddedFile> addedFiles(const GamePaths& paths, const Profile& profile,
                                  const std::filesystem::path& payloadDirectory);

}  // namespace morra
