#include "operations/GameLock.h"

#include "core/InstallerError.h"

namespace morra::operations {

namespace {

std::optional<files::FileHandle> lockOrRefuse(const files::FileManager& fileManager,
                                              const std::filesystem::path& folder) {
    std::optional<files::FileHandle> lock = fileManager.tryLockExclusive(folder);
    if (!lock)
        throw core::InstallerError(
            "Другая копия установщика уже работает с этой игрой или её резервными копиями. Дождитесь её завершения и "
            "повторите.");
    return lock;
}

}  // namespace

GameLock::GameLock(const files::FileManager& fileManager, const std::filesystem::path& app,
                   const std::filesystem::path& supportDirectory)
    : game_(lockOrRefuse(fileManager, app)) {
    fileManager.createDirectories(supportDirectory);
    support_ = lockOrRefuse(fileManager, supportDirectory);
}

bool GameLock::heldElsewhere(const files::FileManager& fileManager, const std::filesystem::path& app,
                             const std::filesystem::path& supportDirectory) {
    if (!fileManager.tryLockExclusive(app)) return true;
    return fileManager.directoryExists(supportDirectory) && !fileManager.tryLockExclusive(supportDirectory);
}

}  // namespace morra::operations
