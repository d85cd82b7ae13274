#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "game/Manifest.h"

namespace morra {

class InstallContext;

// Makes sure the backup store holds a verified copy of the untouched game file: an existing backup
// with the expected digest is kept; a missing one is copied from the file, verified and put in
// place; an existing one with another digest is refused as damaged and left as it is.
void createBackupIfNeeded(const InstallContext& context, const std::filesystem::path& file, const std::string& expectedHash);

// The asset's backup when it exists and holds the asset's original bytes.
std::optional<std::filesystem::path> verifiedBackup(const InstallContext& context, const GameAsset& asset);

}  // namespace morra
