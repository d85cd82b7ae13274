#include "DigestList.h"
#include "Engine.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

struct Inspection {
    GamePaths paths;
    std::vector<GameAsset> manifest;
    std::vector<std::string> digests;
    InstallationState state;
};

}  // namespace

static Inspection inspectGame(const Engine& engine, const fs::path& game);

InstallationState Engine::installationState(const fs::path& game) const { return inspectGame(*this, game).state; }

std::string Engine::inspect(const fs::path& game) const {
    const Inspection inspection = inspectGame(*this, game);
    const char* status = "";
    switch (inspection.state) {
        case InstallationState::NotInstalled: status = "перевод не установлен"; break;
        case InstallationState::TranslatedCards: status = "перевод установлен, карточки навыков переведены"; break;
        case InstallationState::EnglishCards: status = "перевод установлен, карточки навыков оставлены английскими"; break;
        case InstallationState::Unsupported: status = "неподдерживаемая или изменённая сборка"; break;
        case InstallationState::EarlierOrIncomplete: status = "установлена предыдущая или неполная версия"; break;
    }
    std::string report = "Совместимый профиль macOS ";
    report += kBuildNumber;
    report += ": ";
    report += status;
    report += "\n";
    report += inspection.paths.app.string();
    for (std::size_t i = 0; i < inspection.digests.size(); ++i)
        report += "\n" + inspection.manifest[i].file.filename().string() + ": " + inspection.digests[i];
    return report;
}

static Inspection inspectGame(const Engine& engine, const fs::path& game) {
    const GamePaths paths = engine.validateGame(game);
    const std::vector<GameAsset> english = engine.gameAssets(paths, false);
    const std::vector<GameAsset> translated = engine.gameAssets(paths, true);

    std::vector<std::string> digests;
    for (const GameAsset& asset : english) digests.push_back(engine.sha256(asset.file));

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

    const InstallationState state = allOriginal     ? InstallationState::NotInstalled
                                    : allTranslated ? InstallationState::TranslatedCards
                                    : allEnglish    ? InstallationState::EnglishCards
                                    : !allRecognised ? InstallationState::Unsupported
                                                     : InstallationState::EarlierOrIncomplete;
    return {paths, english, digests, state};
}

}  // namespace morra
