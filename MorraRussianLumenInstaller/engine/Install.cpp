#include "DigestList.h"
#include "Engine.h"
#include "TemporaryFile.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

enum class AssetClass { Untouched, Installed, OlderForm, Unrecognised };

AssetClass classify(const GameAsset& asset, const std::string& digest) {
    if (digest == asset.originalHash) return AssetClass::Untouched;
    if (digest == asset.patchedHash) return AssetClass::Installed;
    if (containsDigest(asset.legacyPatchedHashes, digest)) return AssetClass::OlderForm;
    return AssetClass::Unrecognised;
}

}  // namespace

std::string Engine::install(const fs::path& game, bool skillCardsEnabled, const ProgressCallback& progress) const {
    (void)progress;
    const GamePaths paths = validateGame(game);
    requireGameStopped(paths.app);
    validatePayload();
    const bool languageMigrated = migrateStartupLanguageToEnglish();

    const std::vector<GameAsset> manifest = gameAssets(paths, skillCardsEnabled);
    std::vector<std::string> digests;
    for (const GameAsset& asset : manifest) digests.push_back(sha256(asset.file));
    std::vector<AssetClass> classes;
    for (std::size_t i = 0; i < manifest.size(); ++i) classes.push_back(classify(manifest[i], digests[i]));

    // An unrecognised game is refused before anything in it changes.
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        if (classes[i] == AssetClass::Unrecognised)
            throw InstallerError(std::string("Эта версия игры не поддерживается.\nМагазин значения не имеет, но игровые файлы должны\n"
                                             "соответствовать совместимому профилю macOS\n") +
                                 kBuildNumber + ".\n" + manifest[i].file.filename().string() + ": " + digests[i]);
    }

    // What a killed earlier run may have left beside the files this run writes.
    std::vector<fs::path> written = {paths.lockit, paths.fontTarget, paths.imageTarget, paths.dyslexicImageTarget};
    for (const GameAsset& asset : manifest) {
        written.push_back(asset.file);
        written.push_back(backupPath(asset.file));
    }
    removeStaleTemporaries(written);

    // Every backup is in place before any game file changes.
    for (std::size_t i = 0; i < manifest.size(); ++i)
        if (classes[i] == AssetClass::Untouched) createBackupIfNeeded(manifest[i].file, manifest[i].originalHash);

    // The four added bundles.
    const fs::path payload = payloadDirectory();
    const auto& added = profile_.addedFiles;
    installFile(payload / "russianblind", paths.lockit, added.at(0).expected, added.at(0).replaceable);
    const struct {
        const fs::path& source;
        const fs::path& target;
        const char* patch;
    } patchedBundles[] = {
        {paths.fontSource, paths.fontTarget, "fonts-russianblind.bsdiff"},
        {paths.imageSource, paths.imageTarget, "images-russianblind.bsdiff"},
        {paths.dyslexicImageSource, paths.dyslexicImageTarget, "images-dyslexic-russianblind.bsdiff"},
    };
    for (std::size_t row = 1; row < 4; ++row) {
        const auto& bundle = patchedBundles[row - 1];
        installPatchedFile(bundle.source, bundle.target, payload / bundle.patch, added.at(row).source,
                           added.at(row).expected, added.at(row).replaceable);
    }

    // Untouched assets are patched from themselves.
    for (std::size_t i = 0; i < manifest.size(); ++i)
        if (classes[i] == AssetClass::Untouched)
            patchGameAsset(manifest[i].file, manifest[i].file, manifest[i].patches, manifest[i].patchedHash);

    // Older forms are rebuilt from their verified backups, never from their current content.
    for (std::size_t i = 0; i < manifest.size(); ++i) {
        if (classes[i] != AssetClass::OlderForm) continue;
        const fs::path backup = backupPath(manifest[i].file);
        if (!fileManager_.fileExists(backup) || sha256(backup) != manifest[i].originalHash)
            throw InstallerError("Для обновления не найдена проверенная резервная копия: " +
                                 manifest[i].file.filename().string());
        patchGameAsset(manifest[i].file, backup, manifest[i].patches, manifest[i].patchedHash);
    }

    for (const GameAsset& asset : manifest)
        if (sha256(asset.file) != asset.patchedHash)
            throw InstallerError("Контрольная сумма после установки неверна: " + asset.file.filename().string());

    std::string result = "Готово. Официальный русский не изменён.\nЗапустите игру и выберите «Русский (Lumen)» в настройках языка.";
    result += skillCardsEnabled ? "\nНазвания навыков на карточках переведены." : "\nКарточки навыков возвращены к английскому варианту.";
    if (languageMigrated) result += "\nСтарое конфликтное значение языка запуска заменено на English.";
    return result;
}

}  // namespace morra
