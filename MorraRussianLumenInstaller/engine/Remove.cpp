#include "DigestList.h"
#include "Engine.h"
#include "TemporaryFile.h"

namespace morra {

namespace fs = std::filesystem;

std::string Engine::remove(const fs::path& game, const ProgressCallback& progress) const {
    (void)progress;
    const GamePaths paths = validateGame(game);
    requireGameStopped(paths.app);
    const bool languageMigrated = migrateStartupLanguageToEnglish();

    // Removal recognises either variant: the translated-card manifest lists the other variant's
    // patched digests among its older forms.
    const std::vector<GameAsset> manifest = gameAssets(paths, true);
    std::vector<std::string> digests;
    for (const GameAsset& asset : manifest) digests.push_back(sha256(asset.file));
    auto isPatched = [&](std::size_t i) {
        return digests[i] == manifest[i].patchedHash || containsDigest(manifest[i].legacyPatchedHashes, digests[i]);
    };

    // Every asset is checked, and every backup it needs verified, before any asset is restored.
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        const std::string name = manifest[i].file.filename().string();
        if (isPatched(i)) {
            const fs::path backup = backupPath(manifest[i].file);
            if (!fileManager_.fileExists(backup) || sha256(backup) != manifest[i].originalHash)
                throw InstallerError("Проверенная резервная копия не найдена: " + name);
        } else if (digests[i] != manifest[i].originalHash) {
            throw InstallerError(name + " изменён другой программой\nили обновлением Steam. Удаление остановлено.");
        }
    }
    // What a killed earlier run may have left beside the files this run writes.
    removeStaleTemporaries({paths.resources, paths.level2, paths.level3, paths.sharedAssets0, paths.sharedAssets1});
    for (std::size_t i = 0; i < manifest.size(); ++i)
        if (isPatched(i)) replaceAtomically(manifest[i].file, backupPath(manifest[i].file));

    // The added bundles go only under a digest that the translation gave them.
    const fs::path* targets[] = {&paths.lockit, &paths.fontTarget, &paths.imageTarget, &paths.dyslexicImageTarget};
    std::vector<std::string> leftOvers;
    for (std::size_t row = 0; row < std::size(targets); ++row) {
        const fs::path& target = *targets[row];
        if (!fileManager_.fileExists(target)) continue;
        const AddedFileDigests& accepted = profile_.addedFiles.at(row);
        const std::string digest = sha256(target);
        if (digest == accepted.expected || containsDigest(accepted.replaceable, digest)) fileManager_.removeItem(target);
        else leftOvers.push_back(target.string());
    }

    const std::string suffix = languageMigrated ? " Язык следующего запуска — English." : "";
    if (leftOvers.empty()) return "Перевод удалён. Файлы игры восстановлены." + suffix;
    std::string result = "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:\n";
    for (std::size_t i = 0; i < leftOvers.size(); ++i) result += (i ? "\n" : "") + leftOvers[i];
    return result + suffix;
}

}  // namespace morra
