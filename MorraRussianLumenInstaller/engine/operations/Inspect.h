#pragma once

#include <filesystem>
#include <string>

#include "core/InstallationState.h"

namespace morra::context {
class InstallContext;
}  // namespace morra::context

namespace morra::operations {

// The report of --inspect: the translation's state and the digests of the five assets. Reads
// only the bundle's identity and the five assets; changes nothing.
std::string inspect(const context::InstallContext& context, const std::filesystem::path& game);

// The state that the report names.
core::InstallationState installationState(const context::InstallContext& context, const std::filesystem::path& game);

}  // namespace morra::operations
