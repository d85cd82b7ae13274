#include "context/InstallContext.h"

#include <cstdlib>

#include "core/InstallerError.h"
#include "core/ResourcesUnavailable.h"

namespace morra::context {

namespace fs = std::filesystem;

namespace {

// An override counts only when it is set and not empty; its value is used as it stands
// (a relative value is relative to the working folder).
std::optional<fs::path> environmentOverride(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return fs::absolute(fs::path(value));
}

}  // namespace

InstallContext::InstallContext(files::FileManager fileManager, game::KnownBuilds builds,
                               std::optional<fs::path> payloadDirectory)
    : fileManager_(std::move(fileManager)),
      builds_(std::make_shared<const game::KnownBuilds>(std::move(builds))),
      payloadDirectory_(std::move(payloadDirectory)) {}

InstallContext InstallContext::withFileManager(files::FileManager fileManager) const {
    InstallContext copy = *this;
    copy.fileManager_ = std::move(fileManager);
    return copy;
}

InstallContext InstallContext::forBuild(std::size_t build) const {
    InstallContext copy = *this;
    copy.build_ = build;
    (void)copy.profile();  // a build the context knows, or out_of_range
    return copy;
}

bool InstallContext::resourcesAvailable() const {
    return payloadDirectory_.has_value() || fileManager_.resourcesDirectory().has_value();
}

fs::path InstallContext::payloadDirectory() const {
    if (payloadDirectory_) return *payloadDirectory_;
    // The front ends check the resources at start; one that went missing since is refused here.
    const std::optional<fs::path> resources = fileManager_.resourcesDirectory();
    if (!resources) throw core::InstallerError(core::resourcesUnavailableText());
    return *resources / "Payload";
}

fs::path InstallContext::supportDirectory() const {
    if (auto value = environmentOverride("MORRA_LUMEN_INSTALLER_SUPPORT_DIRECTORY")) return *value;
    return fileManager_.applicationSupportDirectory() / "Morra Vellant Russian Lumen";
}

fs::path InstallContext::gameSettingsFile() const {
    if (auto value = environmentOverride("MORRA_LUMEN_INSTALLER_GAME_SETTINGS")) return *value;
    return fileManager_.homeDirectory() / "Library" / "Application Support" / "HOLT Studio" / "Morra Vellant" /
           "Settings" / "Settings.json";
}

fs::path InstallContext::payloadFile(const std::string& name) const {
    return payloadDirectory() / storedPayloadFile(builds(), build_, name);
}

fs::path InstallContext::backupFolder(std::size_t build) const { return supportDirectory() / ("Steam-" + builds_->at(build).build); }

fs::path InstallContext::backupPath(const fs::path& asset) const { return backupFolder(build_) / asset.filename(); }

}  // namespace morra::context
