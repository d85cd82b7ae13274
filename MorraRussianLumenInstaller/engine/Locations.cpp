#include <cstdio>
#include <cstdlib>

#include "Engine.h"
#include "Resources.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

// An override counts only when it is set and not empty; its value is used as it stands
// (a relative value is relative to the working directory).
std::optional<fs::path> environmentOverride(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return fs::absolute(fs::path(value));
}

}  // namespace

Engine::Engine(FileManager fileManager, Profile profile, std::optional<fs::path> payloadDirectory)
    : fileManager_(std::move(fileManager)), profile_(std::move(profile)), payloadDirectory_(std::move(payloadDirectory)) {}

fs::path Engine::payloadDirectory() const {
    if (payloadDirectory_) return *payloadDirectory_;
    std::optional<fs::path> resources = resourcesDirectory();
    if (!resources) {
        std::fputs("Application resources are unavailable\n", stderr);
        std::fflush(stdout);
        std::_Exit(1);
    }
    return *resources / "Payload";
}

fs::path Engine::supportDirectory() const {
    if (auto value = environmentOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY")) return *value;
    return fileManager_.applicationSupportDirectory() / "Morra Vellant Russian Lumen";
}

fs::path Engine::gameSettingsFile() const {
    if (auto value = environmentOverride("MORRA_LUMEN_INSTALLER_GAME_SETTINGS")) return *value;
    return fileManager_.homeDirectory() / "Library" / "Application Support" / "HOLT Studio" / "Morra Vellant" /
           "Settings" / "Settings.json";
}

fs::path Engine::backupPath(const fs::path& asset) const {
    return supportDirectory() / (std::string("Steam-") + kBuildNumber) / asset.filename();
}

}  // namespace morra
