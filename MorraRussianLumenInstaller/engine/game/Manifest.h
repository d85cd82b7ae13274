#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "game/GamePaths.h"
#include "game/GamePlaces.h"
#include "game/Profile.h"

namespace morra {

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
