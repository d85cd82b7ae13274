#include "operations/Remove.h"

#include <algorithm>

#include "core/ChangedFilesLeft.h"
#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/TemporaryFiles.h"
#include "game/AssetClassification.h"
#include "operations/GameOperation.h"
#include "operations/ProgressMeter.h"
#include "steps/AtomicReplace.h"
#include "steps/Backups.h"
#include "steps/DiskSpace.h"
#include "steps/SettingsMigration.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

// What one removal works on, and the work planned from file sizes: hashing the assets and their
// backups, copying each backup back and checking the copy, hashing the added bundles.
struct RemoveRun {
    std::vector<GameAsset> manifest;
    std::vector<AddedFile> added;
    std::uint64_t checking = 0, removing = 0, largestBackup = 0;
    std::vector<std::uint64_t> restoring;

    std::uint64_t total() const {
        std::uint64_t sum = checking + removing;
        for (std::uint64_t bytes : restoring) sum += bytes;
        return sum;
    }
};

RemoveRun planRemove(const GameOperation& operation) {
    const InstallContext& base = operation.base();
    // Removal recognises either variant: the translated-card manifest lists the other variant's
    // patched digests among its older forms. It needs no payload, so none is named.
    RemoveRun run{gameAssets(operation.paths(), base.profile(), fs::path(), true),
                  addedFiles(operation.paths(), base.profile(), fs::path()), 0, 0, 0, {}};
    const FileManager& files = base.fileManager();
    for (const GameAsset& asset : run.manifest) {
        const std::uint64_t backup = sizeOrZero(files, base.backupPath(asset.file));
        run.checking += sizeOrZero(files, asset.file) + backup;
        run.restoring.push_back(2 * backup);
        run.largestBackup = std::max(run.largestBackup, backup);
    }
    for (const AddedFile& file : run.added) run.removing += sizeOrZero(files, file.target);
    return run;
}

// Every asset is checked, and every backup it needs verified, before any asset is restored.
std::vector<ClassifiedAsset> checkGame(const GameOperation& operation, const InstallContext& context,
                                       const RemoveRun& run, bool& languageMigrated) {
    const FileManager& files = context.fileManager();
    // A restored copy is made beside the asset before it replaces it.
    requireFreeSpace(files, {{operation.paths().data, operation.supportClonesWithGame(context) ? 0 : run.largestBackup}});
    languageMigrated = migrateStartupLanguageToEnglish(context);

    std::vector<ClassifiedAsset> assets = classifyGame(files, run.manifest);
    for (const ClassifiedAsset& asset : assets) {
        const std::string name = displayName(asset.asset.file);
        if (asset.isPatched()) {
            if (!verifiedBackup(context, asset.asset)) throw InstallerError("Проверенная резервная копия не найдена: " + name);
        } else if (asset.assetClass != AssetClass::Untouched) {
            throw InstallerError(name + " изменён другой программой\nили обновлением Steam. Удаление остановлено.");
        }
    }

    // A folder, pipe or device where an added bundle belongs is refused before any asset is restored.
    for (const AddedFile& file : run.added) files.requireRegularFileIfPresent(file.target);

    // What a killed earlier run (an install or a removal) may have left beside the game's files.
    std::vector<fs::path> written;
    for (const GameAsset& asset : run.manifest) written.push_back(asset.file);
    for (const AddedFile& file : run.added) written.push_back(file.target);
    removeStaleTemporaries(files, written);
    return assets;
}

void restoreAssets(const InstallContext& context, const std::vector<ClassifiedAsset>& assets, const RemoveRun& run,
                   ProgressMeter& meter) {
    const auto toRestore = static_cast<int>(std::count_if(assets.begin(), assets.end(), [](const ClassifiedAsset& a) { return a.isPatched(); }));
    int restored = 0;
    for (std::size_t i = 0; i < assets.size(); ++i) {
        const GameAsset& asset = assets[i].asset;
        if (!assets[i].isPatched()) {
            meter.skip(run.restoring[i]);
            continue;
        }
        meter.begin(Progress::Step::Restoring, run.restoring[i], ++restored, toRestore);
        replaceAtomically(context.fileManager(), asset.file, context.backupPath(asset.file), asset.originalHash,
                          "Проверенная резервная копия не найдена: " + displayName(asset.file));
    }
}

// The added bundles go only under a digest that the translation gave them; the others are named.
std::vector<std::string> removeBundles(const FileManager& files, const std::vector<AddedFile>& added) {
    std::vector<std::string> leftOvers;
    for (const AddedFile& file : added) {
        if (!files.fileExists(file.target)) continue;
        if (file.isOurs(sha256(files, file.target))) files.removeItem(file.target);
        else leftOvers.push_back(displayPath(file.target));
    }
    return leftOvers;
}

std::string removedText(const std::vector<std::string>& leftOvers, bool languageMigrated) {
    const std::string suffix = languageMigrated ? " Язык следующего запуска — English." : "";
    if (leftOvers.empty()) return "Перевод удалён. Файлы игры восстановлены." + suffix;
    std::string result = std::string(kChangedFilesLeft) + "\n";
    for (std::size_t i = 0; i < leftOvers.size(); ++i) result += (i ? "\n" : "") + leftOvers[i];
    return result + suffix;
}

}  // namespace

std::string remove(const InstallContext& base, const fs::path& game, const ProgressCallback& progress) {
    const GameOperation operation(base, game);
    const RemoveRun run = planRemove(operation);
    ProgressMeter meter(progress, run.total());
    const InstallContext context = operation.context(meter);

    meter.begin(Progress::Step::Checking, run.checking);
    bool languageMigrated = false;
    const std::vector<ClassifiedAsset> assets = checkGame(operation, context, run, languageMigrated);
    restoreAssets(context, assets, run, meter);

    meter.begin(Progress::Step::RemovingBundles, run.removing);
    const std::vector<std::string> leftOvers = removeBundles(context.fileManager(), run.added);
    meter.finish();
    return removedText(leftOvers, languageMigrated);
}

}  // namespace morra
