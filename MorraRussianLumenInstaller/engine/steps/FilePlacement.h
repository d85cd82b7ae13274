#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/BuildNumber.h"

namespace morra::files {
class FileManager;
}  // namespace morra::files

namespace morra::steps {

// Putting one file of the translation into the game. Each result is verified by its digest before
// it takes the target's name; on every failure the target is as it was and no temporary remains.

// Copies a payload file to a target in the game. A target that already has `expectedHash` is left
// alone (the source is not even read); one with a digest among `replaceableTargetHashes` is
// replaced; any other is refused.
void installFile(const files::FileManager& fileManager, const std::filesystem::path& source,
                 const std::filesystem::path& target, const std::string& expectedHash,
                 const std::vector<std::string>& replaceableTargetHashes);

// Makes a new game file by applying a patch to another game file, which stays untouched; the
// target is treated as installFile treats it, and the source must have `expectedSourceHash` (the
// digest it has in game build `build`, which the refusal names).
void installPatchedFile(const files::FileManager& fileManager, const std::filesystem::path& source,
                        const std::filesystem::path& target, const std::filesystem::path& patch,
                        const std::string& expectedSourceHash, const std::string& expectedTargetHash,
                        const std::vector<std::string>& replaceableTargetHashes, const std::string& build = core::kBuildNumber);

// Rewrites a game asset by applying a chain of patches, the first to `source` (the asset itself
// or its verified backup), each next one to the previous output.
void patchGameAsset(const files::FileManager& fileManager, const std::filesystem::path& asset,
                    const std::filesystem::path& source, const std::vector<std::filesystem::path>& patches,
                    const std::string& expectedTargetHash);

}  // namespace morra::steps
