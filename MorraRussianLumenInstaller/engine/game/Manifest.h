#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "game/GamePaths.h"
#include "game/GamePlaces.h"
#include "game/Profile.h"

namespace morra::game {

// One entry of the asset manifest: a game file, the patches that turn its untouched form into the
// form this variant installs, and the digests of every state in which the file may be found.
struct GameAsset {
    std::filesystem::path file;
    std::vector<std::filesystem::path> patches;
    std::string originalHash;
    std::string patchedHash;
    std::vector<std::string> legacyPatchedHashes;
};

// The five-entry manifest of one skill-card variant for builds[build], its patches where that
// build's payload files are stored under the payload folder (storedPayloadFile). Reads no file.
std::vector<GameAsset> gameAssets(const GamePaths& paths, const KnownBuilds& builds, std::size_t build,
                                  const std::filesystem::path& payloadDirectory, bool skillCardsEnabled);

// One row of the added-file table, placed in a game, with its digests.
struct AddedFile {
    std::filesystem::path target;
    std::optional<std::filesystem::path> source;
    std::filesystem::path payload;
    const AddedFileDigests* digests;
    // The same row's expected and replaceable digests in the other known builds: the file as the
    // translation made it for another build of the game.
    std::vector<std::string> otherBuilds;

    // The digests under which the file may be deleted or replaced: its expected one, those of
    // earlier releases and those the translation gave it for the other known builds.
    bool isOurs(const std::string& digest) const;
    // The digests under which an install replaces the file: all of isOurs but the expected one.
    std::vector<std::string> replaceable() const;
};

// The added-file table for builds[build], its payload files located as gameAssets locates them.
std::vector<AddedFile> addedFiles(const GamePaths& paths, const KnownBuilds& builds, std::size_t build,
                                  const std::filesystem::path& payloadDirectory);

}  // namespace morra::game
