#include <cstdlib>
#include <string>
#include <system_error>
#include <unordered_set>

#include "GameSearch.h"
#include "Engine.h"
#include "SteamLibraries.h"

#if defined(__APPLE__)
#include <CoreServices/CoreServices.h>
#include <climits>
#endif

namespace morra {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGameOverride = "MORRA_LUMEN_INSTALLER_GAME";
constexpr const char* kBundleIdentifier = "com.holtstudio.morravellant";
constexpr const char* kGogSharedFolder = "/Users/Shared/GOG.com";

// The application that the system knows by the bundle identifier. Linux has no application
// registry, so there is none.
std::optional<fs::path> applicationWithBundleIdentifier(const char* identifier) {
#if defined(__APPLE__)
    CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, identifier, kCFStringEncodingUTF8);
    if (!name) return std::nullopt;
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
    CFArrayRef applications = LSCopyApplicationURLsForBundleIdentifier(name, nullptr);
#pragma clang diagnostic pop
    CFRelease(name);
    if (!applications) return std::nullopt;
    std::optional<fs::path> result;
    if (CFArrayGetCount(applications) > 0) {
        auto url = static_cast<CFURLRef>(CFArrayGetValueAtIndex(applications, 0));
        UInt8 path[PATH_MAX];
        if (CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
            result = fs::path(reinterpret_cast<const char*>(path));
    }
    CFRelease(applications);
    return result;
#else
    (void)identifier;
    return std::nullopt;
#endif
}

}  // namespace

std::vector<fs::path> gameSearchCandidates(const FileManager& fileManager) {
    std::vector<fs::path> candidates;
    if (const char* value = std::getenv(kGameOverride); value && *value) candidates.emplace_back(value);
    if (std::optional<fs::path> application = applicationWithBundleIdentifier(kBundleIdentifier))
        candidates.push_back(std::move(*application));

    const fs::path gogGame = fs::path(kGogSharedFolder) / "Galaxy" / "Applications" / "Morra Vellant";
    candidates.emplace_back("/Applications/morra.app");
    candidates.emplace_back("/Applications/Morra Vellant.app");
    candidates.push_back(gogGame / "morra.app");
    candidates.push_back(gogGame / "Morra Vellant.app");

    const fs::path home = fileManager.homeDirectory();
    candidates.push_back(home / "Applications" / "morra.app");
    candidates.push_back(home / "Applications" / "Morra Vellant.app");
    candidates.push_back(home / "GOG Games" / "Morra Vellant" / "morra.app");
    candidates.push_back(home / "GOG Games" / "Morra Vellant" / "Morra Vellant.app");

    for (const fs::path& root : steamLibraryRoots(fileManager, home))
        candidates.push_back(root / "steamapps" / "common" / "Morra Vellant" / "morra.app");
    return candidates;
}

std::optional<fs::path> firstAcceptedCandidate(const std::vector<fs::path>& candidates,
                                               const std::function<bool(const fs::path&)>& accepts) {
    std::unordered_set<std::string> seen;
    for (const fs::path& candidate : candidates) {
        fs::path resolved;
        try {
            // A path that loops through symbolic links stays as standardised; it names nothing
            // that the identity test could accept.
            resolved = standardizedResolvedPath(candidate);
        } catch (const fs::filesystem_error&) {
            continue;  // a relative candidate while the working directory is gone
        }
        if (!seen.insert(resolved.native()).second) continue;
        if (accepts(resolved)) return resolved;
    }
    return std::nullopt;
}

std::optional<fs::path> Engine::discoverGame() const {
    return firstAcceptedCandidate(gameSearchCandidates(fileManager_),
                                  [this](const fs::path& bundle) { return validateBundleIdentity(bundle); });
}

}  // namespace morra
