#pragma once

#include <filesystem>
#include <string>

#include "core/Progress.h"

namespace morra {

class InstallContext;

// Takes the translation out of the game: every patched asset back from its verified backup, the
// added bundles that are ours deleted, those changed by someone else listed in the result. A game
// asset it does not recognise, or a backup that is missing or wrong, stops it before any asset is
// touched.
std::string remove(const InstallContext& context, const std::filesystem::path& game, const ProgressCallback& progress = {});

}  // namespace morra
