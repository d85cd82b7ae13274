#include "operations/Inspect.h"

#include "game/AssetClassification.h"
#include "game/GameValidation.h"
#include "files/FileError.h"
#include "context/InstallContext.h"
#include "operations/GameBuild.h"
#include "steps/Backups.h"

namespace morra {

namespace fs = std::filesystem;

namespace {

struct Inspection {
    GamePaths paths;
    GameBuild game;
    InstallationState state;
};

InstallationState stateOf(const InstallContext& base, const GamePaths& paths, const GameBuild& game) {
    if (!game.build) return storeHoldsKnownBackup(base, paths) ? InstallationState::GameUpdated : InstallationState::Unsupported;
    // Inspection needs no payload: the patches of the manifests are not looked at.
    const InstallContext context = game.context(base);
    const std::vector<GameAsset> english = gameAssets(paths, context.builds(), context.build(), fs::path(), false);
    const std::vector<GameAsset> translated = gameAssets(paths, context.builds(), context.build(), fs::path(), true);
    return installationState(classifyAssets(english, game.digests), classifyAssets(translated, game.digests));
}

Inspection inspectGame(const InstallContext& context, const fs::path& game) {
    const GamePaths paths = validateGame(context.fileManager(), game);
    GameBuild found = detectGameBuild(context, paths);
    const InstallationState state = stateOf(context, paths, found);
    return {paths, std::move(found), state};
}

const char* statusText(InstallationState state) {
    switch (state) {
        case InstallationState::NotInstalled: return "перевод не установлен";
        case InstallationState::TranslatedCards: return "перевод установлен, карточки навыков переведены";
        case InstallationState::EnglishCards: return "перевод установлен, карточки навыков оставлены английскими";
        case InstallationState::Unsupported: return "неподдерживаемая или изменённая сборка";
        case InstallationState::GameUpdated:
            return "игра обновлена до версии, которую этот выпуск перевода ещё не знает; "
                   "перевод можно удалить там, где есть резервные копии";
        case InstallationState::EarlierOrIncomplete: break;
    }
    return "установлена предыдущая или неполная версия";
}

}  // namespace

InstallationState installationState(const InstallContext& context, const fs::path& game) { return inspectGame(context, game).state; }

std::string inspect(const InstallContext& context, const fs::path& game) {
    const Inspection inspection = inspectGame(context, game);
    // A game of no known build is measured against every known one.
    const bool several = !inspection.game.build && context.builds().size() > 1;
    std::string report = several ? "Совместимые профили macOS " : "Совместимый профиль macOS ";
    report += inspection.game.named(context.builds());
    report += ": ";
    report += statusText(inspection.state);
    report += "\n";
    report += displayPath(inspection.paths.app);
    const auto assets = inspection.paths.assets();
    for (std::size_t i = 0; i < inspection.game.digests.size(); ++i) {
        report += "\n";
        report += displayName(assets[i]);
        report += ": ";
        report += inspection.game.digests[i];
    }
    return report;
}

}  // namespace morra
