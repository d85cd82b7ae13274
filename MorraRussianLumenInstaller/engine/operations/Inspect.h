#pragma once

#include <filesystem>
#include <string>

#include "core/InstallationState.h"

namespace morra {

class InstallContext;

// The report of --inspect: the translation's state and the digests of the five assets. Reads
// only the bundle's identity and the five assets; changes nothing.
std::string inspect(const InstallContext& context, const std::filesystem::path& game);

// The state that the report names.
InstallationState installationState(const InstallContext& context, const std::filesystem::path& game);

}  // namespace morra
