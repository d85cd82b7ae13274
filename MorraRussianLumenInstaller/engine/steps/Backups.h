#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "game/GamePaths.h"
#include "game/Manifest.h"

namespace morra::context {
class InstallContext;
}  // namespace morra::context

namespace morra::steps {

// The backup store holds one folder per known build, "Steam-<build>" in the support folder. New
// backups go into the folder of the context's build; a backup serves wherever it lies, when its
// digest is the one the asset's untouched form has in the game's build. A link is never followed
// nor trusted, and a file that is not a regular one is refused, never read.

// Makes sure the backup store holds a verified copy of the untouched game file: an existing backup
// in the build's folder with the expected digest is kept, and so is one in another build's folder;
// a missing one is copied from the file, verified and put in place; an existing one in the build's
// folder with another digest (or a link) is refused as damaged and left as it is.
void createBackupIfNeeded(const context::InstallContext& context, const std::filesystem::path& file, const std::string& expectedHash);

// The first backup of the file (by its name, in the builds' folders in the builds' order) whose
// digest is `originalDigest`.
std::optional<std::filesystem::path> trustedBackup(const context::InstallContext& context,
                                                   const std::filesystem::path& file,
                                                   const std::string& originalDigest);

// The asset's trusted backup: one that holds the asset's original bytes.
std::optional<std::filesystem::path> verifiedBackup(const context::InstallContext& context,
                                                    const game::GameAsset& asset);

// Where the file's backup is likely to be, for planning (nothing is hashed): the build's own
// backup path when something is there or nothing is anywhere, else the first other build's that is.
std::filesystem::path plannedBackup(const context::InstallContext& context, const std::filesystem::path& file);

// Whether the store holds a backup of one of the game's assets that is trusted for some known
// build: a sign that the translation was installed before the game changed.
bool storeHoldsKnownBackup(const context::InstallContext& context, const game::GamePaths& paths);

}  // namespace morra::steps
