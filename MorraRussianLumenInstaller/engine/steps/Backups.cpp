#include "steps/Backups.h"

#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"
#include "context/InstallContext.h"

namespace morra::steps {

namespace fs = std::filesystem;

namespace {

// The digest of a backup that may be trusted at all: present and not a link.
std::optional<std::string> backupDigest(const files::FileManager& files, const fs::path& backup) {
    if (!files.fileExists(backup) || files.isSymbolicLink(backup)) return std::nullopt;
    return files::sha256(files, backup);
}

}  // namespace

void createBackupIfNeeded(const context::InstallContext& context, const fs::path& file,
                          const std::string& expectedHash) {
    const files::FileManager& files = context.fileManager();
    const fs::path backup = context.backupPath(file);
    const std::string damaged = "Существующая резервная копия повреждена: " + files::displayName(file);
    const auto right = [&] { return !files.isSymbolicLink(backup) && files::sha256(files, backup) == expectedHash; };
    if (files.fileExists(backup)) {
        if (right()) return;
        throw core::InstallerError(damaged);
    }
    // Assets that a game update left as they were keep the backups made under the earlier build.
    if (trustedBackup(context, file, expectedHash)) return;

    files.createDirectories(backup.parent_path());
    // A backup takes its name only once its digest is proven, so an interrupted run never leaves a
    // partial file that every later run would have to call damaged. Another copy of the game,
    // backed up into the same store at the same moment, may have been first: its backup serves if
    // it is right.
    if (!files::publishCopyOrKeep(files, backup, file, files::TemporaryRole::BackingUp, expectedHash,
                                  "Не удалось создать проверенную резервную копию: " + files::displayName(file)) &&
        !right())
        throw core::InstallerError(damaged);
}

std::optional<fs::path> trustedBackup(const context::InstallContext& context, const fs::path& file, const std::string& originalDigest) {
    for (std::size_t build = 0; build < context.builds().size(); ++build) {
        const fs::path backup = context.backupFolder(build) / file.filename();
        if (backupDigest(context.fileManager(), backup) == originalDigest) return backup;
    }
    return std::nullopt;
}

std::optional<fs::path> verifiedBackup(const context::InstallContext& context, const game::GameAsset& asset) {
    return trustedBackup(context, asset.file, asset.originalHash);
}

fs::path plannedBackup(const context::InstallContext& context, const fs::path& file) {
    const fs::path own = context.backupPath(file);
    if (context.fileManager().fileExists(own)) return own;
    for (std::size_t build = 0; build < context.builds().size(); ++build)
        if (context.fileManager().fileExists(context.backupFolder(build) / file.filename())) return context.backupFolder(build) / file.filename();
    return own;
}

bool storeHoldsKnownBackup(const context::InstallContext& context, const game::GamePaths& paths) {
    const game::KnownBuilds& builds = context.builds();
    const auto assets = paths.assets();
    for (std::size_t i = 0; i < assets.size(); ++i) {
        for (std::size_t folder = 0; folder < builds.size(); ++folder) {
            const std::optional<std::string> digest = backupDigest(context.fileManager(), context.backupFolder(folder) / assets[i].filename());
            if (!digest) continue;
            for (const game::Profile& build : builds)
                if (*digest == build.assets.at(i).original) return true;
        }
    }
    return false;
}

}  // namespace morra::steps
