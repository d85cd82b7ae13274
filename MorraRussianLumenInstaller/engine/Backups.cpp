#include "Engine.h"
#include "TemporaryFile.h"

namespace morra {

namespace fs = std::filesystem;

void Engine::createBackupIfNeeded(const fs::path& file, const std::string& expectedHash) const {
    const fs::path backup = backupPath(file);
    const std::string name = file.filename().string();
    if (fileManager_.fileExists(backup)) {
        if (sha256(backup) == expectedHash) return;
        throw InstallerError("Существующая резервная копия повреждена: " + name);
    }

    fileManager_.createDirectories(backup.parent_path());
    // The copy is made under a hidden temporary name and takes the backup's name only once its
    // digest is proven, so an interrupted run never leaves a partial file that a later run would
    // have to call a damaged backup.
    TemporaryFiles temporaries(fileManager_);
    const fs::path& temporary = temporaries.add(temporarySibling(backup, ".backing-up-"));
    fileManager_.copyItem(file, temporary);
    if (sha256(temporary) != expectedHash)
        throw InstallerError("Не удалось создать проверенную резервную копию: " + name);
    fileManager_.moveItem(temporary, backup);
}

}  // namespace morra
