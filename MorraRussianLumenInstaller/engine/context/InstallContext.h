#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "files/FileManager.h"
#include "game/Profile.h"

namespace morra::context {

// What every operation works with: the file service, the builds the installer knows and the
// installer's own places. Cheap to copy; nothing in it changes.
class InstallContext {
public:
    // The program's own context has the real file service, the builds compiled into the program
    // (builtInBuilds) and its own payload; tests and benchmarks may hand in a file service with a
    // fault hook, the builds of a fixture and its payload folder.
    InstallContext(files::FileManager fileManager, game::KnownBuilds builds, std::optional<std::filesystem::path> payloadDirectory = std::nullopt);

    const files::FileManager& fileManager() const { return fileManager_; }
    const game::KnownBuilds& builds() const { return *builds_; }
    // The build an operation works with: the one found by the game's files (forBuild), else the
    // first known build.
    std::size_t build() const { return build_; }
    const game::Profile& profile() const { return builds_->at(build_); }
    // The same context for builds()[build], the build found in the game.
    InstallContext forBuild(std::size_t build) const;
    // The same context over another file service (one that counts an operation's progress).
    InstallContext withFileManager(files::FileManager fileManager) const;

    // Whether payloadDirectory() has a folder to give.
    bool resourcesAvailable() const;
    // The "Payload" folder of the program's resources; throws an InstallerError with
    // resourcesUnavailableText() when the resources cannot be found.
    std::filesystem::path payloadDirectory() const;
    // MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY, else Application Support + "Morra Vellant Russian Lumen".
    std::filesystem::path supportDirectory() const;
    // MORRA_LUMEN_INSTALLER_GAME_SETTINGS, else the game's Settings.json under the home folder.
    std::filesystem::path gameSettingsFile() const;
    // Where payload file `name` of this build is (payload files shared by builds are stored once).
    std::filesystem::path payloadFile(const std::string& name) const;
    // supportDirectory()/"Steam-<build>": the backup folder of builds()[build].
    std::filesystem::path backupFolder(std::size_t build) const;
    // The backup folder of this build, then the asset's file name: where its new backup goes.
    std::filesystem::path backupPath(const std::filesystem::path& asset) const;

private:
    files::FileManager fileManager_;
    std::shared_ptr<const game::KnownBuilds> builds_;
    std::size_t build_ = 0;
    std::optional<std::filesystem::path> payloadDirectory_;
};

}  // namespace morra::context
