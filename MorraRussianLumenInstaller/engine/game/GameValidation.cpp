#include "game/GameValidation.h"

#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/FileManager.h"
#include "game/BundleIdentity.h"
#include "platform/Platform.h"

namespace morra::game {

namespace fs = std::filesystem;

GamePaths validateGame(const files::FileManager& fileManager, const fs::path& game) {
    const GamePaths paths(fileManager.resolvedPath(game));
    if (!validateBundleIdentity(fileManager, paths.app))
        throw core::InstallerError("Выбранный файл не является Morra Vellant для macOS.");
    for (const fs::path& asset : paths.assets())
        if (!fileManager.fileExists(asset))
            throw core::InstallerError("В morra.app отсутствуют ожидаемые игровые данные.");
    if (!fileManager.directoryExists(paths.bundles))
        throw core::InstallerError("В morra.app отсутствуют ожидаемые игровые данные.");
    for (const fs::path& asset : paths.assets()) rejectSymbolicLink(fileManager, asset);
    return paths;
}

void rejectSymbolicLink(const files::FileManager& fileManager, const fs::path& file) {
    if (fileManager.isSymbolicLink(file))
        throw core::InstallerError("Установщик не изменяет символические ссылки: " + files::displayPath(file));
}

void requireGameStopped(const files::FileManager& fileManager, const fs::path& app) {
    const fs::path target = fileManager.resolvedPath(app);
    for (const platform::RunningApplication& application : platform::runningApplications()) {
        const bool running = application.bundle ? fileManager.resolvedPath(*application.bundle) == target
                                                : application.localizedName == kExecutableName;
        if (running) throw core::InstallerError("Полностью закройте Morra Vellant перед установкой.");
    }
}

}  // namespace morra::game
