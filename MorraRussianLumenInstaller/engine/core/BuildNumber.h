#pragma once

namespace morra::core {

// The build number that a profile of one build stands for (the profile file's single form): the
// texts name it and its backup folder is "Steam-" followed by it. Several builds name their own.
inline constexpr const char* kBuildNumber = "57314208";

}  // namespace morra::core
