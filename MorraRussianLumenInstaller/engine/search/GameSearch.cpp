#include "search/GameSearch.h"

#include <cstdlib>
#include <string>
#include <unordered_set>

#include "files/FileManager.h"
#include "game/BundleIdentity.h"
#include "platform/Platform.h"
#include "search/SteamLibraries.h"

namespace morra::search {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGameOverride = "MORRA_LUMEN_INSTALLER_GAME";
// The GOG Galaxy shared folder, named after the store's web domain.
constexpr const char* kGogSharedFolder = "/Users/Shared/GOG.com";

}  // namespace

std::vector<fs::path> gameSearchCandidates(const files::FileManager& fileManager) {
    std::vector<fs::path> candidates;
    if (const char* value = std::getenv(kGameOverride); value && *value) candidates.emplace_back(value);
    if (std::optional<fs::path> application = platform::applicationWithBundleIdentifier(game::kBundleIdentifier))
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

std::optional<fs::path> firstAcceptedCandidate(const files::FileManager& fileManager,
                                               const std::vector<fs::path>& candidates,
                                               const std::function<bool(const fs::path&)>& accepts) {
    std::unordered_set<std::string> seen;
    for (const fs::path& candidate : candidates) {
        fs::path resolved;
        try {
            resolved = fileManager.resolvedPath(candidate);
        } catch (const fs::filesystem_error&) {
            continue;  // a relative candidate while the working folder is gone
        }
        if (!seen.insert(resolved.native()).second) continue;
        if (accepts(resolved)) return resolved;
    }
    return std::nullopt;
}

std::optional<fs::path> discoverGame(const files::FileManager& fileManager) {
    return firstAcceptedCandidate(fileManager, gameSearchCandidates(fileManager), [&](const fs::path& bundle) {
        return game::validateBundleIdentity(fileManager, bundle);
    });
}

}  // namespace morra::search
