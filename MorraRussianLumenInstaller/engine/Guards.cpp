#include <algorithm>
#include <cctype>

#include "BundleInfo.h"
#include "Engine.h"
#include "RunningApplications.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBundleIdentifier = "com.holtstudio.morravellant";
constexpr const char* kExecutableName = "Morra Vellant";

bool hasAppExtension(const fs::path& bundle) {
    const std::string extension = bundle.extension().string();
    if (extension.size() != 4) return false;
    return std::equal(extension.begin(), extension.end(), ".app", [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

}  // namespace

bool Engine::validateBundleIdentity(const fs::path& bundle) const {
    if (!hasAppExtension(bundle)) return false;
    std::optional<BundleInfo> info = readBundleInfo(bundle);
    if (!info) return false;
    return info->identifier == kBundleIdentifier && info->executable == kExecutableName;
}

GamePaths Engine::validateGame(const fs::path& game) const {
    GamePaths paths(game);
    if (!validateBundleIdentity(paths.app))
        throw InstallerError("Выбранный файл не является Morra Vellant для macOS.");
    for (const fs::path* path : {&paths.resources, &paths.level2, &paths.level3, &paths.sharedAssets0,
                                 &paths.sharedAssets1, &paths.bundles}) {
        if (!fileManager_.fileExists(*path)) throw InstallerError("В morra.app отсутствуют ожидаемые игровые данные.");
    }
    for (const fs::path* path : {&paths.resources, &paths.level2, &paths.level3, &paths.sharedAssets0, &paths.sharedAssets1})
        rejectSymbolicLink(*path);
    return paths;
}

void Engine::rejectSymbolicLink(const fs::path& file) const {
    if (fileManager_.isSymbolicLink(file))
        throw InstallerError("Установщик не изменяет символические ссылки: " + file.string());
}

void Engine::requireGameStopped(const fs::path& app) const {
    const fs::path target = standardizedResolvedPath(app);
    for (const RunningApplication& application : runningApplications()) {
        const bool running = application.bundle ? standardizedResolvedPath(*application.bundle) == target
                                                : application.localizedName == kExecutableName;
        if (running) throw InstallerError("Полностью закройте Morra Vellant перед установкой.");
    }
}

}  // namespace morra
