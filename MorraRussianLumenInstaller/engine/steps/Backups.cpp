#include "steps/Backups.h"

#include <cerrno>

#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/VerifiedPublish.h"
#include "context/InstallContext.h"

namespace morra {

namespace fs = std::filesystem;

void createBackupIfNeeded(const InstallContext& context, const fs::path& file, const std::string& expectedHash) {
    const FileManager& files = context.fileManager();
    const fs::path backup = context.backupPath(file);
    const std::string damaged = "Существующая резервная копия повреждена: " + displayName(file);
    if (files.fileExists(backup)) {
        if (sha256(files, backup) == expectedHash) return;
        throw InstallerError(damaged);
    }

    files.createDirectories(backup.parent_path());
    try {
        // A backup takes its name only once its digest is proven, so an interrupted run never
        // leaves a partial file that every later run would have to call damaged.
        publishVerified(
            files, backup, TemporaryRole::BackingUp, Placement::CreateNew,
            [&](const fs::path& temporary) {
                files.copyItem(file, temporary);
                return sha256(files, temporary);
            },
            expectedHash, "Не удалось создать проверенную резервную копию: " + displayName(file));
    } catch (const FileError& error) {
        // Another copy of the game, backed up into the same store at the same moment, was first:
        // its backup serves if it is right.
        if (error.code().value() != EEXIST || error.operation() != FileOperation::Rename) throw;
        if (sha256(files, backup) != expectedHash) throw InstallerError(damaged);
    }
}

std::optional<fs::path> verifiedBackup(const InstallContext& context, const GameAsset& asset) {
    const fs::path backup = context.backupPath(asset.file);
    if (!context.fileManager().fileExists(backup) || sha256(context.fileManager(), backup) != asset.originalHash)
        return std::nullopt;
    return backup;
}

}  // namespace morra
