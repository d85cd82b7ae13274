#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "FileManager.h"
#include "GameAsset.h"
#include "GamePaths.h"
#include "InstallerError.h"
#include "Profile.h"

namespace morra {

// All game-side logic, as synchronous operations. The engine keeps nothing between calls: what
// lasts is on disk (the game bundle, the backup store and the game's settings file). Every
// operation either returns its finished result or throws InstallerError (the program's own
// checks, with the complete Russian text) or a platform error (std::system_error and friends).
class Engine {
public:
    // The production program uses the defaults. Tests and benchmarks may hand in the profile and
    // the payload folder of a fixture they generated.
    explicit Engine(FileManager fileManager = FileManager(), Profile profile = builtInProfile(),
                             std::optional<std::filesystem::path> payloadDirectory = std::nullopt);

    // ---- Front-end operations ----
    std::optional<std::filesystem::path> discoverGame() const;
    std::string inspect(const std::filesystem::path& game) const;
    InstallationState installationState(const std::filesystem::path& game) const;
    std::string install(const std::filesystem::path& game, bool skillCardsEnabled,
                        const ProgressCallback& progress = {}) const;
    std::string remove(const std::filesystem::path& game, const ProgressCallback& progress = {}) const;

    // ---- Locations ----
    // The "Payload" folder of the program's resources; stops the process with "Application
    // resources are unavailable" when the resources cannot be found.
    std::filesystem::path payloadDirectory() const;
    // MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY, else Application Support + "Morra Vellant Russian Lumen".
    std::filesystem::path supportDirectory() const;
    // MORRA_LUMEN_INSTALLER_GAME_SETTINGS, else the game's Settings.json under the home folder.
    std::filesystem::path gameSettingsFile() const;
    // supportDirectory()/"Steam-57314208"/<file name of the asset>.
    std::filesystem::path backupPath(const std::filesystem::path& asset) const;

    // ---- Guards ----
    bool validateBundleIdentity(const std::filesystem::path& bundle) const;
    GamePaths validateGame(const std::filesystem::path& game) const;
    void rejectSymbolicLink(const std::filesystem::path& file) const;
    void requireGameStopped(const std::filesystem::path& app) const;

    // ---- Manifest, digests, payload ----
    std::vector<GameAsset> gameAssets(const GamePaths& paths, bool skillCardsEnabled) const;
    std::string sha256(const std::filesystem::path& file) const;
    void validatePayload() const;

    // ---- File operations ----
    void createBackupIfNeeded(const std::filesystem::path& file, const std::string& expectedHash) const;
    void replaceAtomically(const std::filesystem::path& target, const std::filesystem::path& contentsOf) const;
    void replaceAtomically(const std::filesystem::path& target, const std::string& contents) const;
    void installFile(const std::filesystem::path& source, const std::filesystem::path& target,
                     const std::string& expectedHash,
                     const std::vector<std::string>& replaceableTargetHashes) const;
    void installPatchedFile(const std::filesystem::path& source, const std::filesystem::path& target,
                            const std::filesystem::path& patch, const std::string& expectedSourceHash,
                            const std::string& expectedTargetHash,
                            const std::vector<std::string>& replaceableTargetHashes) const;
    void patchGameAsset(const std::filesystem::path& asset, const std::filesystem::path& source,
                        const std::vector<std::filesystem::path>& patches,
                        const std::string& expectedTargetHash) const;
    bool migrateStartupLanguageToEnglish() const;

    const FileManager& fileManager() const { return fileManager_; }
    const Profile& profile() const { return profile_; }

private:
    FileManager fileManager_;
    Profile profile_;
    std::optional<std::filesystem::path> payloadDirectory_;
};

}  // namespace morra
