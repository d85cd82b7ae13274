#pragma once

#include <filesystem>
#include <string>

#include "InstallerEngine.h"

namespace morra {

class Engine;

// The report of --inspect: the translation's state and the digests of the five assets. Reads
// only the bundle's identity and the five assets; changes nothing.
std::string inspect(const Engine& engine, const std::filesystem::path& game);

// The state that the report names.
InstallationState installationState(const Engine& engine, const std::filesystem::path& game);

}  // namespace morra
