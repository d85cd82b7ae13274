#include "operations/Install.h"

#include <algorithm>
#include <array>

#include "bsdiff/BsdiffFile.h"
#include "core/InstallerError.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "files/TemporaryFiles.h"
#include "game/AssetClassification.h"
#include "game/BuildDetection.h"
#include "operations/GameBuild.h"
#include "operations/GameOperation.h"
#include "operations/ProgressMeter.h"
#include "steps/Backups.h"
#include "steps/DiskSpace.h"
#include "steps/FilePlacement.h"
#include "steps/PayloadValidation.h"
#include "steps/SettingsMigration.h"

namespace morra::operations {

namespace fs = std::filesystem;

namespace {

// The bytes one install moves, stretch by stretch, and the room it takes, planned from file sizes
// and patch headers before anything is read whole.
struct InstallWork {
    std::uint64_t checking = 0;
    std::array<std::uint64_t, game::kAssetTable.size()> backup{};
    std::array<std::uint64_t, game::kAddedFileTable.size()> added{};
    std::array<std::uint64_t, game::kAssetTable.size()> patching{};
    std::uint64_t verifying = 0;

    std::uint64_t newBackups = 0;      // room the backups still to be made take
    std::uint64_t newBundles = 0;      // room the added bundles take
    std::uint64_t largestPatching = 0; // room the outputs of one asset's chain take at once

    std::uint64_t total() const {
        std::uint64_t sum = checking + verifying;
        for (std::uint64_t bytes : backup) sum += bytes;
        for (std::uint64_t bytes : added) sum += bytes;
        for (std::uint64_t bytes : patching) sum += bytes;
        return sum;
    }
};

// What one install works on: the chosen variant's manifest, the added files and the plan.
struct InstallRun {
    std::vector<game::GameAsset> manifest;
    std::vector<game::AddedFile> added;
    InstallWork work;
};

void planAssets(const context::InstallContext& context, const std::vector<game::GameAsset>& manifest,
                InstallWork& work) {
    const files::FileManager& files = context.fileManager();
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        const std::uint64_t size = sizeOrZero(files, manifest[i].file);
        const fs::path backup = steps::plannedBackup(context, manifest[i].file);
        const bool backedUp = files.fileExists(backup);
        work.checking += size;
        work.backup[i] = backedUp ? size : 2 * size;  // hashed, or copied and hashed
        if (!backedUp) work.newBackups += size;
        std::uint64_t outputs = 0, last = 0;
        for (const fs::path& patch : manifest[i].patches)
            outputs += last = bsdiff::patchOutputSize(files, patch).value_or(0);
        work.patching[i] = sizeOrZero(files, backup) + outputs;  // an older form's backup is hashed first
        work.largestPatching = std::max(work.largestPatching, outputs);
        work.verifying += last;
    }
}

// Planned for the context's build: before the game's files are hashed, for the first known build.
InstallRun planInstall(const GameOperation& operation, const context::InstallContext& context,
                       core::SkillCards skillCards) {
    const files::FileManager& files = context.fileManager();
    const fs::path payload = context.payloadDirectory();
    InstallRun run{game::gameAssets(operation.paths(), context.builds(), context.build(), payload, skillCards == core::SkillCards::Translated),
                   game::addedFiles(operation.paths(), context.builds(), context.build(), payload), {}};
    InstallWork& work = run.work;
    for (const game::PayloadFile& file : context.profile().payload) work.checking += sizeOrZero(files, context.payloadFile(file.name));
    planAssets(context, run.manifest, work);
    for (std::size_t row = 0; row < run.added.size(); ++row) {
        const game::AddedFile& file = run.added[row];
        const std::uint64_t output = file.source ? bsdiff::patchOutputSize(files, file.payload).value_or(0) : sizeOrZero(files, file.payload);
        work.added[row] = sizeOrZero(files, file.target) + (file.source ? sizeOrZero(files, *file.source) + output : 2 * output);
        work.newBundles += output;
    }
    return run;
}

std::string unsupportedVersion(const game::KnownBuilds& builds, const game::ClassifiedAsset& asset) {
    return std::string("Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n") +
           (builds.size() == 1 ? "соответствовать совместимому профилю macOS\n" : "соответствовать одному из совместимых профилей macOS\n") +
           game::buildNumbers(builds) + ".\n" + files::displayName(asset.asset.file) + ": " + asset.digest;
}

// Everything an install checks before the first change: the payload, the room, the game's files.
// Returns whether the startup language was migrated, and the assets classified.
std::vector<game::ClassifiedAsset> checkGame(const GameOperation& operation, const context::InstallContext& context,
                                             const InstallRun& run, const GameBuild& game, bool& languageMigrated) {
    const files::FileManager& files = context.fileManager();
    steps::validatePayload(context);
    // Backups cost nothing where the support folder shares the game's volume and that clones.
    steps::requireFreeSpace(files, {{context.supportDirectory(), operation.supportClonesWithGame(context) ? 0 : run.work.newBackups},
                                    {operation.paths().data, run.work.largestPatching + run.work.newBundles}});
    languageMigrated = steps::migrateStartupLanguageToEnglish(context);

    std::vector<game::ClassifiedAsset> assets = game::classifyAssets(run.manifest, game.digests);
    // A game of no known build is refused before anything in it changes.
    for (const game::ClassifiedAsset& asset : assets)
        if (asset.assetClass == game::AssetClass::Unrecognised)
            throw core::InstallerError(unsupportedVersion(context.builds(), asset),
                                       core::InstallerError::Kind::UnsupportedGame);

    // A folder, pipe or device where an added bundle or its source belongs is refused now, before
    // anything in the game changes, rather than after the first bundles are in place.
    for (const game::AddedFile& file : run.added) {
        files.requireRegularFileIfPresent(file.target);
        if (file.source) files.requireRegularFileIfPresent(*file.source);
    }

    // What a killed earlier run may have left beside the files this run writes.
    std::vector<fs::path> written;
    for (const game::GameAsset& asset : run.manifest) {
        written.push_back(asset.file);
        written.push_back(context.backupPath(asset.file));
    }
    for (const game::AddedFile& file : run.added) written.push_back(file.target);
    files::removeStaleTemporaries(files, written);
    return assets;
}

void addBundles(const context::InstallContext& context, const InstallRun& run, ProgressMeter& meter) {
    const files::FileManager& files = context.fileManager();
    for (std::size_t row = 0; row < run.added.size(); ++row) {
        meter.begin(core::Progress::Step::AddingBundles, run.work.added[row], static_cast<int>(row + 1), static_cast<int>(run.added.size()));
        const game::AddedFile& file = run.added[row];
        if (file.source)
            steps::installPatchedFile(files, *file.source, file.target, file.payload, file.digests->source,
                                      file.digests->expected, file.replaceable(), context.profile().build);
        else
            steps::installFile(files, file.payload, file.target, file.digests->expected, file.replaceable());
    }
}

// Untouched assets are patched from themselves, then older forms are rebuilt from their verified
// backups, never from their current content.
void patchAssets(const context::InstallContext& context, const std::vector<game::ClassifiedAsset>& assets,
                 const InstallWork& work, ProgressMeter& meter) {
    const auto toPatch = static_cast<int>(
        std::count_if(assets.begin(), assets.end(), [](const game::ClassifiedAsset& a) { return a.assetClass != game::AssetClass::Installed; }));
    int patched = 0;
    for (std::size_t i = 0; i < assets.size(); ++i)
        if (assets[i].assetClass == game::AssetClass::Installed) meter.skip(work.patching[i]);
    for (const game::AssetClass pass : {game::AssetClass::Untouched, game::AssetClass::OlderForm}) {
        for (std::size_t i = 0; i < assets.size(); ++i) {
            const game::GameAsset& asset = assets[i].asset;
            if (assets[i].assetClass != pass) continue;
            meter.begin(core::Progress::Step::Patching, work.patching[i], ++patched, toPatch);
            fs::path source = asset.file;
            if (pass == game::AssetClass::OlderForm) {
                const std::optional<fs::path> backup = steps::verifiedBackup(context, asset);
                if (!backup)
                    throw core::InstallerError("Для обновления не найдена проверенная резервная копия: " + files::displayName(asset.file));
                source = *backup;
            }
            steps::patchGameAsset(context.fileManager(), asset.file, source, asset.patches, asset.patchedHash);
        }
    }
}

std::string doneText(core::SkillCards skillCards, bool languageMigrated) {
    std::string result = "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка.";
    result += skillCards == core::SkillCards::Translated ? "\nНазвания навыков на карточках переведены."
                                                   : "\nКарточки навыков возвращены к английскому варианту.";
    if (languageMigrated) result += "\nСтарое конфликтное значение языка запуска заменено на English.";
    return result;
}

}  // namespace

std::string install(const context::InstallContext& base, const fs::path& game, core::SkillCards skillCards, const core::ProgressCallback& progress) {
    const GameOperation operation(base, game);
    InstallRun run = planInstall(operation, base, skillCards);
    ProgressMeter meter(progress, run.work.total());

    meter.begin(core::Progress::Step::Checking, run.work.checking);
    const context::InstallContext counted = operation.context(meter);
    const GameBuild found = detectGameBuild(counted, operation.paths());
    // A game updated past every known build is refused before anything changes.
    if (!found.build && steps::storeHoldsKnownBackup(counted, operation.paths()))
        throw core::InstallerError(gameUpdatedText(base.builds()));
    const context::InstallContext context = found.context(counted);
    if (context.build() != base.build()) run = planInstall(operation, found.context(base), skillCards);
    bool languageMigrated = false;
    const std::vector<game::ClassifiedAsset> assets = checkGame(operation, context, run, found, languageMigrated);

    // Every backup is in place before any game file changes.
    for (std::size_t i = 0; i < assets.size(); ++i) {
        meter.begin(core::Progress::Step::BackingUp, run.work.backup[i]);
        if (assets[i].assetClass == game::AssetClass::Untouched)
            steps::createBackupIfNeeded(context, assets[i].asset.file, assets[i].asset.originalHash);
    }
    addBundles(context, run, meter);
    patchAssets(context, assets, run.work, meter);

    meter.begin(core::Progress::Step::Verifying, run.work.verifying);
    for (const game::GameAsset& asset : run.manifest)
        if (files::sha256(context.fileManager(), asset.file) != asset.patchedHash)
            throw core::InstallerError("Контрольная сумма после установки неверна: " + files::displayName(asset.file));
    meter.finish();
    return doneText(skillCards, languageMigrated);
}

}  // namespace morra::operations
