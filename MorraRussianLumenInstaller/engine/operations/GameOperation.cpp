#include "operations/GameOperation.h"

#include "game/GameValidation.h"

namespace morra::operations {

namespace fs = std::filesystem;

GameOperation::GameOperation(const context::InstallContext& base, const fs::path& game)
    : base_(base),
      paths_(game::validateGame(base.fileManager(), game)),
      lock_(base.fileManager(), paths_.app, base.supportDirectory()) {
    game::requireGameStopped(base.fileManager(), paths_.app);
}

context::InstallContext GameOperation::context(ProgressMeter& meter) const {
    return base_.withFileManager(base_.fileManager().guardingChangesIn(paths_.app).withTransferObserver(
        [&meter](std::uint64_t bytes) { meter.advance(bytes); }));
}

bool GameOperation::supportClonesWithGame(const context::InstallContext& context) const {
    const files::FileManager& files = context.fileManager();
    return files.clonesFiles(paths_.data) && files.volumeOf(context.supportDirectory()) == files.volumeOf(paths_.data);
}

std::uint64_t sizeOrZero(const files::FileManager& files, const fs::path& path) {
    try {
        return files.fileExists(path) ? files.fileSize(path) : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace morra::operations
