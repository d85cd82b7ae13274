#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "files/FileManager.h"
#include "game/Profile.h"

namespace morra {

// What every operation works with: the file service, the builds the installer knows and the
// installer's own places. Cheap to copy; nothing in it changes.
class InstallContext {
public:
    // The program's own context has the real file service, the builds compiled into the program
    // (builtInBuilds) and its own payload; tests and benchmarks may hand in a file service with a
    // fault hook, the builds of a fixture and its payload folder.
    InstallContext(FileManager fileManager, KnownBuilds builds, std::optional<std::filesystem::path> payloadDirectory = std::nullopt);

    const FileManager& fileManager() const { return fileManager_; }
    const KnownBuilds& builds() const { return *builds_; }
    const Profile& profile() const { return builds_->front(); }
    // The same context over another file service (one that counts an operation's progress).
    InstallContext withFileManager(FileManager fileManager) const;

    // Whether payloadDirectory() has a folder to give.
    bool resourcesAvailable() const;
    // The "Payload" folder of the program's resources; throws an InstallerError with
    // resourcesUnavailableText() when the resources cannot be found.
    std::filesystem::path payloadDirectory() const;
    // MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY, else Application Support + "Morra Vellant Russian Lumen".
    std::filesystem::path supportDirectory() const;
    // MORRA_LUMEN_INSTALLER_GAME_SETTINGS, else the game's Settings.json under the home folder.
    std::filesystem::path gameSettingsFile() const;
    // supportDirectory()/"Steam-57314208"/<file name of the asset>.
    std::filesystem::path backupPath(const std::filesystem::path& asset) const;

private:
    FileManager fileManager_;
    std::shared_ptr<const KnownBuilds> builds_;
    std::optional<std::filesystem::path> payloadDirectory_;
};

}  // namespace morra
