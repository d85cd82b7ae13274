#pragma once

#include <filesystem>
#include <string>

#include "core/Progress.h"
#include "core/SkillCards.h"

namespace morra::context {
class InstallContext;
}  // namespace morra::context

namespace morra::operations {

// Puts the translation's chosen variant into the game and returns the text that says it is done.
// It decides from the digests of the game's files what each needs (a backup and a patch, nothing,
// or a rebuild from its verified backup) and refuses a game in no known state before it changes
// any of the game's files. Running it again repeats only what is still missing.
std::string install(const context::InstallContext& context, const std::filesystem::path& game,
                    core::SkillCards skillCards, const core::ProgressCallback& progress = {});

}  // namespace morra::operations
