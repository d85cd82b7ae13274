#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "context/InstallContext.h"
#include "game/AssetClassification.h"
#include "game/GamePaths.h"
#include "operations/GameLock.h"
#include "operations/ProgressMeter.h"

namespace morra::operations {

// What install and remove share around their own work. Made first, it validates the game, locks
// the game and the backups for this run and requires the game stopped; once the run has planned
// its work, context() gives the context the work uses: its file service reports the bytes it moves
// to the run's progress meter and tells the system's refusal of a change inside the game as what
// it is.
class GameOperation {
public:
    GameOperation(const context::InstallContext& base, const std::filesystem::path& game);

    const game::GamePaths& paths() const { return paths_; }
    const context::InstallContext& base() const { return base_; }
    context::InstallContext context(ProgressMeter& meter) const;
    // Whether copying from the support folder into the game (or back) costs no room: both on one
    // volume that clones files.
    bool supportClonesWithGame(const context::InstallContext& context) const;

private:
    const context::InstallContext& base_;
    game::GamePaths paths_;
    GameLock lock_;
};

// The size of a file, or 0 where there is none or it cannot be read: planning never fails, the
// step that needs the file reports it.
std::uint64_t sizeOrZero(const files::FileManager& files, const std::filesystem::path& path);

}  // namespace morra::operations
