#pragma once

namespace morra {

// The build number of the one supported game build: it names the compatible profile in every
// text and the backup store's folder.
inline constexpr const char* kBuildNumber = "57314208";

}  // namespace morra
