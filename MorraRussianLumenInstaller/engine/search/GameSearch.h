#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::search {

// The places where the game search looks, in the order it tries them: the MORRA_LUMEN_INSTALLER_GAME
// override (when set and not empty), the application the system knows by the game's bundle
// identifier, four fixed places, four places under the home folder, and the game folder of every
// Steam library.
std::vector<std::filesystem::path> gameSearchCandidates(const files::FileManager& fileManager);

// Tries the candidates in order, each distinct standardised and resolved path once, and returns
// the resolved path of the first that `accepts` takes. A candidate whose path cannot even be made
// absolute is passed over. Never throws for a file-system reason.
std::optional<std::filesystem::path> firstAcceptedCandidate(
    const files::FileManager& fileManager, const std::vector<std::filesystem::path>& candidates,
    const std::function<bool(const std::filesystem::path&)>& accepts);

// The first candidate that is the game; never throws for a file-system reason and changes nothing.
std::optional<std::filesystem::path> discoverGame(const files::FileManager& fileManager);

}  // namespace morra::search
