#pragma once

#include <array>
#include <string>
#include <vector>

#include "game/GamePlaces.h"

namespace morra {

// The digests of the one supported game build and of its payload, one row for each row of the
// table of the game's places. The program uses the profile compiled into it (builtInProfile);
// tests and benchmarks may hand an engine the profile of a fixture they generated.
struct AssetDigests {
    std::string original;
    std::string englishCards;
    std::string translatedCards;
    std::vector<std::string> earlierReleases;
};

struct PayloadFile {
    std::string name;
    std::string digest;
};

struct AddedFileDigests {
    std::string source;  // expected digest of the game's source bundle; empty for the lockit
    std::string expected;
    std::vector<std::string> replaceable;
};

struct Profile {
    std::array<AssetDigests, kAssetTable.size()> assets;
    std::vector<PayloadFile> payload;  // the eleven payload files, in checking order
    std::array<AddedFileDigests, kAddedFileTable.size()> addedFiles;
};

// The profile compiled into the program at build time.
const Profile& builtInProfile();

}  // namespace morra
