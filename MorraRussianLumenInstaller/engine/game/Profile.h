#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/BuildNumber.h"
#include "game/GamePlaces.h"

namespace morra::game {

// The digests of one game build the installer knows and of the payload made for it, one row for
// each row of the table of the game's places. The program uses the builds compiled into it
// (builtInBuilds); tests and benchmarks may hand an engine the builds of a fixture they generated.
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
    std::string build = core::kBuildNumber;  // the game's build number, as the texts name it
    // The build's folder under the payload folder; empty (one build only): the payload folder itself.
    std::string payloadFolder;
};

// Every build the installer knows, in the order that decides when the game's files fit several.
using KnownBuilds = std::vector<Profile>;

// The builds compiled into the program at build time.
const KnownBuilds& builtInBuilds();

// Where payload file `name` of builds[build] is stored, relative to the payload folder. A file is
// stored once: in the folder of the first build (in the builds' order) whose payload has a file
// with its digest, under that build's name for it.
std::filesystem::path storedPayloadFile(const KnownBuilds& builds, std::size_t build, const std::string& name);

}  // namespace morra::game
