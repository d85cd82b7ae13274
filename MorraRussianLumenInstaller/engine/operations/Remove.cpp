#include "operations/Remove.h"

#include <algorithm>
#include <optional>

#include "core/ChangedFilesLeft.h"
#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/TemporaryFiles.h"
#include "game/AssetClassification.h"
#include "game/BuildDetection.h"
#include "operations/GameBuild.h"
#include "operations/GameOperation.h"
#include "operations/ProgressMeter.h"
#include "steps/AtomicReplace.h"
#include "steps/Backups.h"
#include "steps/DiskSpace.h"
#include "steps/SettingsMigration.h"

namespace morra::operations {

namespace fs = std::filesystem;

namespace {

// What one removal works on, and the work planned from file sizes: hashing the assets and their
// backups, copying each backup back and checking the copy, hashing the added bundles.
struct RemoveRun {
    std::vector<game::GameAsset> manifest;
    std::vector<game::AddedFile> added;
    std::uint64_t checking = 0, removing = 0, largestBackup = 0;
    std::vector<std::uint64_t> restoring;

    std::uint64_t total() const {
        std::uint64_t sum = checking + removing;
        for (std::uint64_t bytes : restoring) sum += bytes;
        return sum;
    }
};

// One asset as the removal leaves it: put back from a trusted backup, or left as it is.
struct AssetRestore {
    fs::path file;
    std::optional<fs::path> backup;
    std::string original;  // the backup's digest
};

// Planned for the context's build: before the game's files are hashed, for the first known build.
RemoveRun planRemove(const GameOperation& operation, const context::InstallContext& base) {
    // Removal recognises either variant: the translated-card manifest lists the other variant's
    // patched digests among its older forms. It needs no payload, so none is named.
    RemoveRun run{game::gameAssets(operation.paths(), base.builds(), base.build(), fs::path(), true),
                  game::addedFiles(operation.paths(), base.builds(), base.build(), fs::path()), 0, 0, 0, {}};
    const files::FileManager& files = base.fileManager();
    for (const game::GameAsset& asset : run.manifest) {
        const std::uint64_t backup = sizeOrZero(files, steps::plannedBackup(base, asset.file));
        run.checking += sizeOrZero(files, asset.file) + backup;
        run.restoring.push_back(2 * backup);
        run.largestBackup = std::max(run.largestBackup, backup);
    }
    for (const game::AddedFile& file : run.added) run.removing += sizeOrZero(files, file.target);
    return run;
}

// A game of a known build: every patched asset needs a trusted backup, any other must be untouched.
std::vector<AssetRestore> restoresOfKnownBuild(const context::InstallContext& context, const RemoveRun& run, const GameBuild& game) {
    std::vector<AssetRestore> restores;
    for (const game::ClassifiedAsset& asset : game::classifyAssets(run.manifest, game.digests)) {
        const std::string name = files::displayName(asset.asset.file);
        AssetRestore restore{asset.asset.file, std::nullopt, asset.asset.originalHash};
        if (asset.isPatched()) {
            restore.backup = steps::verifiedBackup(context, asset.asset);
            if (!restore.backup) throw core::InstallerError("Проверенная резервная копия не найдена: " + name);
        } else if (asset.assetClass != game::AssetClass::Untouched) {
            throw core::InstallerError(name +
                                       " изменён другой программой\nили обновлением Steam. Удаление остановлено.");
        }
        restores.push_back(std::move(restore));
    }
    return restores;
}

// A game updated past every known build: an asset in a translated form of a known build goes back
// to that build's original from a trusted backup; an original or unknown form stays as it is.
std::vector<AssetRestore> restoresOfUpdatedGame(const context::InstallContext& context, const game::GamePaths& paths, const GameBuild& game) {
    std::vector<AssetRestore> restores;
    const auto assets = paths.assets();
    for (std::size_t i = 0; i < assets.size(); ++i) {
        AssetRestore restore{assets[i], std::nullopt, {}};
        bool translated = false;
        for (const game::Profile& build : context.builds()) {
            if (restore.backup || !game::isTranslatedForm(build, i, game.digests[i])) continue;
            translated = true;
            restore.original = build.assets.at(i).original;
            restore.backup = steps::trustedBackup(context, assets[i], restore.original);
        }
        if (translated && !restore.backup) throw core::InstallerError("Проверенная резервная копия не найдена: " + files::displayName(assets[i]));
        restores.push_back(std::move(restore));
    }
    return restores;
}

// Every asset is checked, and every backup it needs verified, before any asset is restored.
std::vector<AssetRestore> checkGame(const GameOperation& operation, const context::InstallContext& context,
                                    const RemoveRun& run, const GameBuild& game, bool updated, bool& languageMigrated) {
    const files::FileManager& files = context.fileManager();
    // A restored copy is made beside the asset before it replaces it.
    steps::requireFreeSpace(files, {{operation.paths().data, operation.supportClonesWithGame(context) ? 0 : run.largestBackup}});
    languageMigrated = steps::migrateStartupLanguageToEnglish(context);

    std::vector<AssetRestore> restores =
        updated ? restoresOfUpdatedGame(context, operation.paths(), game) : restoresOfKnownBuild(context, run, game);

    // A folder, pipe or device where an added bundle belongs is refused before any asset is restored.
    for (const game::AddedFile& file : run.added) files.requireRegularFileIfPresent(file.target);

    // What a killed earlier run (an install or a removal) may have left beside the game's files.
    std::vector<fs::path> written;
    for (const game::GameAsset& asset : run.manifest) written.push_back(asset.file);
    for (const game::AddedFile& file : run.added) written.push_back(file.target);
    files::removeStaleTemporaries(files, written);
    return restores;
}

void restoreAssets(const context::InstallContext& context, const std::vector<AssetRestore>& restores,
                   const RemoveRun& run, ProgressMeter& meter) {
    const auto toRestore = static_cast<int>(std::count_if(restores.begin(), restores.end(), [](const AssetRestore& a) { return a.backup.has_value(); }));
    int restored = 0;
    for (std::size_t i = 0; i < restores.size(); ++i) {
        const AssetRestore& asset = restores[i];
        if (!asset.backup) {
            meter.skip(run.restoring[i]);
            continue;
        }
        meter.begin(core::Progress::Step::Restoring, run.restoring[i], ++restored, toRestore);
        steps::replaceAtomically(context.fileManager(), asset.file, *asset.backup, asset.original,
                                 "Проверенная резервная копия не найдена: " + files::displayName(asset.file));
    }
}

// The added bundles go only under a digest that the translation gave them; the others are named.
std::vector<std::string> removeBundles(const files::FileManager& files, const std::vector<game::AddedFile>& added) {
    std::vector<std::string> leftOvers;
    for (const game::AddedFile& file : added) {
        if (!files.fileExists(file.target)) continue;
        if (file.isOurs(files::sha256(files, file.target))) files.removeItem(file.target);
        else leftOvers.push_back(files::displayPath(file.target));
    }
    return leftOvers;
}

std::string leftOverLines(const std::vector<std::string>& leftOvers) {
    std::string lines;
    for (std::size_t i = 0; i < leftOvers.size(); ++i) lines += (i ? "\n" : "") + leftOvers[i];
    return lines;
}

std::string removedText(const std::vector<std::string>& leftOvers, bool languageMigrated) {
    const std::string suffix = languageMigrated ? " Язык следующего запуска — English." : "";
    if (leftOvers.empty()) return "Перевод удалён. Файлы игры восстановлены." + suffix;
    return std::string(core::kChangedFilesLeft) + "\n" + leftOverLines(leftOvers) + suffix;
}

// What a removal from an updated game did: which assets it put back, which it left as they are.
std::string removedFromUpdatedGameText(const std::vector<AssetRestore>& restores, const std::vector<std::string>& leftOvers,
                                       bool languageMigrated) {
    std::string restored, kept;
    for (const AssetRestore& asset : restores)
        (asset.backup ? restored : kept) += ((asset.backup ? restored : kept).empty() ? "" : ", ") + files::displayName(asset.file);
    std::string result = "Перевод удалён там, где это было возможно: игра обновлена до версии, которую этот выпуск "
                         "перевода ещё не знает.";
    result += restored.empty() ? "\nВосстанавливать из резервных копий было нечего." : "\nВосстановлены из резервных копий: " + restored + ".";
    if (!kept.empty()) result += "\nОставлены как есть: " + kept + ".";
    if (!leftOvers.empty()) result += "\nНеизвестные изменённые файлы оставлены:\n" + leftOverLines(leftOvers);
    return result + (languageMigrated ? " Язык следующего запуска — English." : "");
}

}  // namespace

std::string remove(const context::InstallContext& base, const fs::path& game, const core::ProgressCallback& progress) {
    const GameOperation operation(base, game);
    RemoveRun run = planRemove(operation, base);
    ProgressMeter meter(progress, run.total());

    meter.begin(core::Progress::Step::Checking, run.checking);
    const context::InstallContext counted = operation.context(meter);
    const GameBuild found = detectGameBuild(counted, operation.paths());
    const bool updated = !found.build && steps::storeHoldsKnownBackup(counted, operation.paths());
    const context::InstallContext context = found.context(counted);
    if (context.build() != base.build()) run = planRemove(operation, found.context(base));
    bool languageMigrated = false;
    const std::vector<AssetRestore> restores = checkGame(operation, context, run, found, updated, languageMigrated);
    restoreAssets(context, restores, run, meter);

    meter.begin(core::Progress::Step::RemovingBundles, run.removing);
    const std::vector<std::string> leftOvers = removeBundles(context.fileManager(), run.added);
    meter.finish();
    return updated ? removedFromUpdatedGameText(restores, leftOvers, languageMigrated) : removedText(leftOvers, languageMigrated);
}

}  // namespace morra::operations
