#include "operations/Remove.h"

#include <algorithm>

#include "core/ChangedFilesLeft.h"
#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/TemporaryFiles.h"
#include "game/AssetClassification.h"
#include "game/GameValidation.h"
#include "context/InstallContext.h"
#include "operations/GameLock.h"
#include "operations/ProgressMeter.h"
#include "steps/AtomicReplace.h"
#include "steps/Backups.h"
#include "steps/DiskSpace.h"
#include "steps/SettingsMigration.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

std::uint64_t sizeOrZero(const FileManager& files, const fs::path& path) {
    try {
        return files.fileExists(path) ? files.fileSize(path) : 0;
    } catch (const std::exception&) {
        return 0;  // the step that needs the file reports it
    }
}

}  // namespace

std::string remove(const InstallContext& base, const fs::path& game, const ProgressCallback& progress) {
    const GamePaths paths = validateGame(base.fileManager(), game);
    const GameLock lock(base.fileManager(), paths.app, base.supportDirectory());
    requireGameStopped(base.fileManager(), paths.app);

    // Removal recognises either variant: the translated-card manifest lists the other variant's
    // patched digests among its older forms. It needs no payload, so none is named.
    const std::vector<GameAsset> manifest = gameAssets(paths, base.profile(), fs::path(), true);
    const std::vector<AddedFile> added = addedFiles(paths, base.profile(), fs::path());

    // The work, planned from file sizes: hashing the assets and their backups, copying each
    // backup back and checking the copy, hashing the added bundles.
    const FileManager& baseFiles = base.fileManager();
    std::uint64_t checking = 0, removing = 0, largestBackup = 0;
    std::vector<std::uint64_t> restoring;
    for (const GameAsset& asset : manifest) {
        const std::uint64_t backup = sizeOrZero(baseFiles, base.backupPath(asset.file));
        checking += sizeOrZero(baseFiles, asset.file) + backup;
        restoring.push_back(2 * backup);
        largestBackup = std::max(largestBackup, backup);
    }
    for (const AddedFile& file : added) removing += sizeOrZero(baseFiles, file.target);
    std::uint64_t total = checking + removing;
    for (std::uint64_t bytes : restoring) total += bytes;
    ProgressMeter meter(progress, total);
    // The system's refusal of the first change inside the game is told as what it is.
    const InstallContext context = base.withFileManager(
        baseFiles.guardingChangesIn(paths.app).withTransferObserver([&meter](std::uint64_t bytes) { meter.advance(bytes); }));
    const FileManager& files = context.fileManager();

    meter.begin(Progress::Step::Checking, checking);
    // A restored copy is made beside the asset before it replaces it.
    const bool restoresClone = files.clonesFiles(paths.data) &&
                               files.volumeOf(context.supportDirectory()) == files.volumeOf(paths.data);
    requireFreeSpace(files, {{paths.data, restoresClone ? 0 : largestBackup}});
    const bool languageMigrated = migrateStartupLanguageToEnglish(context);

    std::vector<std::string> digests;
    for (const GameAsset& asset : manifest) digests.push_back(sha256(files, asset.file));
    const std::vector<ClassifiedAsset> assets = classifyAssets(manifest, digests);

    // Every asset is checked, and every backup it needs verified, before any asset is restored.
    for (const ClassifiedAsset& asset : assets) {
        const std::string name = displayName(asset.asset.file);
        if (asset.isPatched()) {
            if (!verifiedBackup(context, asset.asset)) throw InstallerError("Проверенная резервная копия не найдена: " + name);
        } else if (asset.assetClass != AssetClass::Untouched) {
            throw InstallerError(name + " изменён другой программой\nили обновлением Steam. Удаление остановлено.");
        }
    }

    // A folder, pipe or device where an added bundle belongs is refused before any asset is restored.
    for (const AddedFile& file : added) files.requireRegularFileIfPresent(file.target);

    // What a killed earlier run (an install or a removal) may have left beside the game's files.
    std::vector<fs::path> written;
    for (const GameAsset& asset : manifest) written.push_back(asset.file);
    for (const AddedFile& file : added) written.push_back(file.target);
    removeStaleTemporaries(files, written);

    const auto toRestore = static_cast<int>(std::count_if(assets.begin(), assets.end(), [](const ClassifiedAsset& a) { return a.isPatched(); }));
    int restored = 0;
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const GameAsset& asset = assets[i].asset;
        if (!assets[i].isPatched()) {
            meter.skip(restoring[i]);
            continue;
        }
        meter.begin(Progress::Step::Restoring, restoring[i], ++restored, toRestore);
        replaceAtomically(files, asset.file, context.backupPath(asset.file), asset.originalHash,
                          "Проверенная резервная копия не найдена: " + displayName(asset.file));
    }

    // The added bundles go only under a digest that the translation gave them.
    meter.begin(Progress::Step::RemovingBundles, removing);
    std::vector<std::string> leftOvers;
    for (const AddedFile& file : added) {
        if (!files.fileExists(file.target)) continue;
        if (file.isOurs(sha256(files, file.target))) files.removeItem(file.target);
        else leftOvers.push_back(displayPath(file.target));
    }
    meter.finish();

    const std::string suffix = languageMigrated ? " Язык следующего запуска — English." : "";
    if (leftOvers.empty()) return "Перевод удалён. Файлы игры восстановлены." + suffix;
    std::string result = std::string(kChangedFilesLeft) + "\n";
    for (std::size_t i = 0; i < leftOvers.size(); ++i) result += (i ? "\n" : "") + leftOvers[i];
    return result + suffix;
}

}  // namespace morra
