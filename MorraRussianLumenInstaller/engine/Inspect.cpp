#include "DigestList.h"
#include "InstallerEngine.h"

namespace morra {

namespace fs = std::filesystem;

std::string InstallerEngine::inspect(const fs::path& game) const {
    const GamePaths paths = validateGame(game);
    const std::vector<GameAsset> english = gameAssets(paths, false);
    const std::vector<GameAsset> translated = gameAssets(paths, true);

    std::vector<std::string> digests;
    for (const GameAsset& asset : english) digests.push_back(sha256(asset.file));

    bool allOriginal = true, allTranslated = true, allEnglish = true, allRecognised = true;
    for (std::size_t i = 0; i < digests.size(); ++i) {
        const std::string& digest = digests[i];
        allOriginal = allOriginal && digest == english[i].originalHash;
        allTranslated = allTranslated && digest == translated[i].patchedHash;
        allEnglish = allEnglish && digest == english[i].patchedHash;
        const bool recognised = digest == english[i].originalHash || digest == english[i].patchedHash ||
                                digest == translated[i].patchedHash ||
                                containsDigest(english[i].legacyPatchedHashes, digest) ||
                                containsDigest(translated[i].legacyPatchedHashes, digest);
        allRecognised = allRecognised && recognised;
    }

    const char* status = allOriginal     ? "перевод не установлен"
                         : allTranslated ? "перевод установлен, карточки навыков переведены"
                         : allEnglish    ? "перевод установлен, карточки навыков оставлены английскими"
                         : !allRecognised ? "неподдерживаемая или изменённая сборка"
                                          : "установлена предыдущая или неполная версия";

    std::string report = std::string("Совместимый профиль macOS ") + kBuildNumber + ": " + status + "\n" +
                         paths.app.string();
    for (std::size_t i = 0; i < digests.size(); ++i)
        report += "\n" + english[i].file.filename().string() + ": " + digests[i];
    return report;
}

}  // namespace morra
