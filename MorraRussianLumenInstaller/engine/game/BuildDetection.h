#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "game/Profile.h"

namespace morra::game {

// Whether the build knows the asset's digest in any of its forms: original, either variant of the
// translation, or an earlier release's.
bool buildKnowsAsset(const Profile& build, std::size_t asset, const std::string& digest);
// Whether the digest is a translated form of the asset (either variant or an earlier release's).
bool isTranslatedForm(const Profile& build, std::size_t asset, const std::string& digest);

// The game's build found by its files: the first build, in the builds' order, that knows every
// one of the five assets' current digests (given in table order); none when no build does.
std::optional<std::size_t> detectBuild(const KnownBuilds& builds, const std::vector<std::string>& digests);

// The builds' numbers as the texts name them: "57314208" or "57314208, 57390117".
std::string buildNumbers(const KnownBuilds& builds);

}  // namespace morra::game
