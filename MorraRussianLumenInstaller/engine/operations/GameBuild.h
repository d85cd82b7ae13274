#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "context/InstallContext.h"
#include "game/GamePaths.h"

namespace morra::operations {

// The game's build, found by its files: the five assets are hashed once, and the first known build
// (in the builds' order) that knows every digest is the game's.
struct GameBuild {
    std::vector<std::string> digests;  // the assets' current digests, in table order
    std::optional<std::size_t> build;  // none: the files fit no known build

    // The context an operation on this game works with: the game's build, or for a game of no
    // known build the first one (whose checks then refuse it).
    context::InstallContext context(const context::InstallContext& base) const {
        return base.forBuild(build.value_or(0));
    }
    // The builds a text names: the game's, or every known build when the game fits none.
    std::string named(const game::KnownBuilds& builds) const;
};

GameBuild detectGameBuild(const context::InstallContext& context, const game::GamePaths& paths);

// How "profile(s)" reads before the builds' numbers: one compatible profile, or one of several.
std::string compatibleProfiles(const game::KnownBuilds& builds);

// What install refuses with when the game fits no known build but the backup store shows the
// translation was installed under one: the game was updated past this release of the translation.
std::string gameUpdatedText(const game::KnownBuilds& builds);

}  // namespace morra::operations
