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
    static constexpr std::size_t kAssets = game::kAssetTable.size();
    static constexpr std::size_t kAdded = game::kAddedFileTable.size();

    game::Profile profile;
    std::map<std::string, std::string> payload;  // payload file name -> bytes

    std::array<std::string, kAssets> original;
    std::array<std::string, kAssets> englishCards;     // base patch applied
    std::array<std::string, kAssets> translatedCards;  // base patch and skill-card delta applied
    std::array<std::vector<std::string>, kAssets> earlierReleases;

    std::array<std::string, 3> sourceBundles;  // fonts/russian, images/english, images_dyslexic/english
    std::array<std::string, kAdded> addedExpected;
    std::array<std::vector<std::string>, kAdded> addedReplaceable;
};

// `assetBytes` is the combined size of the five assets. The fixture is build 57314208, its payload
// directly in the payload folder.
Fixture makeFixture(std::uint64_t seed, std::uint64_t assetBytes);

// The build number of the updated build that makeUpdatedFixture makes by default.
inline constexpr const char* kUpdatedBuild = "57390117";

// The game as a later build ships it, made from `base`: level2, sharedassets1.assets and the source
// bundle images/english changed (and so every form of them, and images/russianblind), every other
// file byte for byte the base's, so their payload files are the base's too. The changed assets have
// no earlier releases; images/russianblind may replace the base's forms of it, as installed
// (kept by a Steam update) or as an earlier release left it. Its payload folder is its build number.
Fixture makeUpdatedFixture(const Fixture& base, std::uint64_t seed, const std::string& build = kUpdatedBuild);

// Two builds from one seed: makeFixture's, with its payload in the folder "57314208", then
// makeUpdatedFixture's. Ready for the several-build writePayload and writeProfile.
std::vector<Fixture> makeTwoBuilds(std::uint64_t seed, std::uint64_t assetBytes);

// The fixtures' profiles, in their order.
game::KnownBuilds knownBuilds(const std::vector<Fixture>& fixtures);

// Writes the game bundle at `app` (a folder ending in .app) in the given state.
void writeGame(const Fixture& fixture, const std::filesystem::path& app, GameState state);

// Writes over the game bundle at `app` what Steam changes when it updates build `from` to build
// `to`: each asset and source bundle whose original differs between the two takes `to`'s
// original; every other file, translated or not, stays as it is.
void writeUpdate(const Fixture& from, const Fixture& to, const std::filesystem::path& app);

// Writes verified backups of the five untouched assets into supportDirectory/Steam-<build>.
void writeBackups(const Fixture& fixture, const std::filesystem::path& supportDirectory);

// Writes the payload folder and the profile file. With several fixtures (builds in that order),
// each payload file is written once, where storedPayloadFile says, and the profile in the list
// form; a profile that would not read back is refused with ProfileFileError.
void writePayload(const Fixture& fixture, const std::filesystem::path& payloadDirectory);
void writeProfile(const Fixture& fixture, const std::filesystem::path& profileFile);
void writePayload(const std::vector<Fixture>& fixtures, const std::filesystem::path& payloadDirectory);
void writeProfile(const std::vector<Fixture>& fixtures, const std::filesystem::path& profileFile);

// Writes every form of every file under `formsDirectory` (for tests and for comparing by hand).
void writeForms(const Fixture& fixture, const std::filesystem::path& formsDirectory);

// Relative paths inside the game bundle.
const std::array<std::string, Fixture::kAssets>& assetPaths();
const std::array<std::string, 3>& sourceBundlePaths();
const std::array<std::string, Fixture::kAdded>& addedFilePaths();

void writeFile(const std::filesystem::path& path, const std::string& contents, unsigned mode = 0644);

}  // namespace morra::tools
