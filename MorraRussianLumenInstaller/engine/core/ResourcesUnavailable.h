#pragma once

#include <string>

namespace morra::core {

// What the program says when it cannot find its own resources folder (its payload is there):
// the command line prints this line alone and ends with status 1.
inline constexpr const char* kResourcesUnavailable = "Application resources are unavailable";
// The same for the player: what is wrong and what to do, in Russian, then that line.
std::string resourcesUnavailableText();

}  // namespace morra::core
