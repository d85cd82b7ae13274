#include "operations/Inspect.h"

#include "core/BuildNumber.h"
#include "game/AssetClassification.h"
#include "game/GameValidation.h"
#include "files/FileError.h"
#include "files/Sha256.h"
#include "context/InstallContext.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

struct Inspection {
    GamePaths paths;
    std::vector<GameAsset> manifest;
    std::vector<std::string> digests;
    InstallationState state;
};

Inspection inspectGame(const InstallContext& context, const fs::path& game) {
    const GamePaths paths = validateGame(context.fileManager(), game);
    // Inspection needs no payload: the patches of the manifests are not looked at.
    const std::vector<GameAsset> english = gameAssets(paths, context.profile(), fs::path(), false);
    const std::vector<GameAsset> translated = gameAssets(paths, context.profile(), fs::path(), true);
    std::vector<std::string> digests;
    for (const GameAsset& asset : english) digests.push_back(sha256(context.fileManager(), asset.file));
    const InstallationState state = installationState(classifyAssets(english, digests), classifyAssets(translated, digests));
    return {paths, english, digests, state};
}

const char* statusText(InstallationState state) {
    switch (state) {
        case InstallationState::NotInstalled: return "перевод не установлен";
        case InstallationState::TranslatedCards: return "перевод установлен, карточки навыков переведены";
        case InstallationState::EnglishCards: return "перевод установлен, карточки навыков оставлены английскими";
        case InstallationState::Unsupported: return "неподдерживаемая или изменённая сборка";
        case InstallationState::EarlierOrIncomplete: break;
    }
    return "установлена предыдущая или неполная версия";
}

}  // namespace

InstallationState installationState(const InstallContext& context, const fs::path& game) { return inspectGame(context, game).state; }

std::string inspect(const InstallContext& context, const fs::path& game) {
    const Inspection inspection = inspectGame(context, game);
    std::string report = "Совместимый профиль macOS ";
    report += kBuildNumber;
    report += ": ";
    report += statusText(inspection.state);
    report += "\n";
    report += displayPath(inspection.paths.app);
    for (std::size_t i = 0; i < inspection.digests.size(); ++i) {
        report += "\n";
        report += displayName(inspection.manifest[i].file);
        report += ": ";
        report += inspection.digests[i];
    }
    return report;
}

}  // namespace morra
