#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace morra {

// One entry of the asset manifest: a game file, the patches that turn its untouched form into the
// translated one, and the digests of every state in which the file may legitimately be found.
struct GameAsset {
    std::filesystem::path file;
    std::vector<std::filesystem::path> patches;
    std::string originalHash;
    std::string patchedHash;
    std::vector<std::string> legacyPatchedHashes;
};

}  // namespace morra
