#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "game/GamePlaces.h"
#include "game/Profile.h"

namespace morra::tools {

// The states in which a synthetic game can be written.
enum class GameState {
    Untouched,            // as the supported build ships it
    InstalledTranslated,  // the translation with the skill-card names translated
    InstalledEnglish,     // the translation with the skill cards left English
    EarlierRelease,       // what an earlier release of the translation left
    Interrupted,          // an install stopped halfway: some assets and added files done, others not
};

bool parseGameState(const std::string& text, GameState& state);

// A complete synthetic supported build, made deterministically from a seed: every form of every
// file the installer knows, the payload (valid BSDIFF40 patches) and the profile.
struct Fixture {
    static constexpr std::size_t kAssets = kAssetTable.size();
    static constexpr std::size_t kAdded = kAddedFileTable.size();

    Profile profile;
    std::map<std::string, std::string> payload;  // payload file name -> bytes

    std::array<std::string, kAssets> original;
    std::array<std::string, kAssets> englishCards;     // base patch applied
    std::array<std::string, kAssets> translatedCards;  // base patch and skill-card delta applied
    std::array<std::vector<std::string>, kAssets> earlierReleases;

    std::array<std::string, 3> sourceBundles;  // fonts/russian, images/english, images_dyslexic/english
    std::array<std::string, kAdded> addedExpected;
    std::array<std::vector<std::string>, kAdded> addedReplaceable;
};

// `assetBytes` is the combined size of the five assets.
Fixture makeFixture(std::uint64_t seed, std::uint64_t assetBytes);

// Writes the game bundle at `app` (a folder ending in .app) in the given state.
void writeGame(const Fixture& fixture, const std::filesystem::path& app, GameState state);

// Writes verified backups of the five untouched assets into supportDirectory/Steam-57314208.
void writeBackups(const Fixture& fixture, const std::filesystem::path& supportDirectory);

// Writes the payload folder and the profile file.
void writePayload(const Fixture& fixture, const std::filesystem::path& payloadDirectory);
void writeProfile(const Fixture& fixture, const std::filesystem::path& profileFile);

// Writes every form of every file under `formsDirectory` (for tests and for comparing by hand).
void writeForms(const Fixture& fixture, const std::filesystem::path& formsDirectory);

// Relative paths inside the game bundle.
const std::array<std::string, Fixture::kAssets>& assetPaths();
const std::array<std::string, 3>& sourceBundlePaths();
const std::array<std::string, Fixture::kAdded>& addedFilePaths();

void writeFile(const std::filesystem::path& path, const std::string& contents, unsigned mode = 0644);

}  // namespace morra::tools
