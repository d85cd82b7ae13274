#pragma once

#include <filesystem>
#include <string>

#include "core/Progress.h"

namespace morra::context {
class InstallContext;
}  // namespace morra::context

namespace morra::operations {

// Takes the translation out of the game: every patched asset back from its verified backup, the
// added bundles that are ours deleted, those changed by someone else listed in the result. A game
// asset it does not recognise, or a backup that is missing or wrong, stops it before any asset is
// touched.
std::string remove(const context::InstallContext& context, const std::filesystem::path& game, const core::ProgressCallback& progress = {});

}  // namespace morra::operations
