#include "operations/Inspect.h"

#include "game/AssetClassification.h"
#include "game/GameValidation.h"
#include "files/FileError.h"
#include "context/InstallContext.h"
#include "operations/GameBuild.h"
#include "steps/Backups.h"

namespace morra::operations {

namespace fs = std::filesystem;

namespace {

struct Inspection {
    game::GamePaths paths;
    GameBuild game;
    core::InstallationState state;
};

core::InstallationState stateOf(const context::InstallContext& base, const game::GamePaths& paths,
                                const GameBuild& game) {
    if (!game.build) return steps::storeHoldsKnownBackup(base, paths) ? core::InstallationState::GameUpdated : core::InstallationState::Unsupported;
    // Inspection needs no payload: the patches of the manifests are not looked at.
    const context::InstallContext context = game.context(base);
    const std::vector<game::GameAsset> english =
        game::gameAssets(paths, context.builds(), context.build(), fs::path(), false);
    const std::vector<game::GameAsset> translated =
        game::gameAssets(paths, context.builds(), context.build(), fs::path(), true);
    return installationState(game::classifyAssets(english, game.digests),
                             game::classifyAssets(translated, game.digests));
}

Inspection inspectGame(const context::InstallContext& context, const fs::path& game) {
    const game::GamePaths paths = game::validateGame(context.fileManager(), game);
    GameBuild found = detectGameBuild(context, paths);
    const core::InstallationState state = stateOf(context, paths, found);
    return {paths, std::move(found), state};
}

const char* statusText(core::InstallationState state) {
    switch (state) {
        case core::InstallationState::NotInstalled: return "перевод не установлен";
        case core::InstallationState::TranslatedCards: return "перевод установлен, карточки навыков переведены";
        case core::InstallationState::EnglishCards: return "перевод установлен, карточки навыков оставлены английскими";
        case core::InstallationState::Unsupported: return "неподдерживаемая или изменённая сборка";
        case core::InstallationState::GameUpdated:
            return "игра обновлена до версии, которую этот выпуск перевода ещё не знает; "
                   "перевод можно удалить там, где есть резервные копии";
        case core::InstallationState::EarlierOrIncomplete: break;
    }
    return "установлена предыдущая или неполная версия";
}

}  // namespace

core::InstallationState installationState(const context::InstallContext& context, const fs::path& game) { return inspectGame(context, game).state; }

std::string inspect(const context::InstallContext& context, const fs::path& game) {
    const Inspection inspection = inspectGame(context, game);
    // A game of no known build is measured against every known one.
    const bool several = !inspection.game.build && context.builds().size() > 1;
    std::string report = several ? "Совместимые профили macOS " : "Совместимый профиль macOS ";
    report += inspection.game.named(context.builds());
    report += ": ";
    report += statusText(inspection.state);
    report += "\n";
    report += files::displayPath(inspection.paths.app);
    const auto assets = inspection.paths.assets();
    for (std::size_t i = 0; i < inspection.game.digests.size(); ++i) {
        report += "\n";
        report += files::displayName(assets[i]);
        report += ": ";
        report += inspection.game.digests[i];
    }
    return report;
}

}  // namespace morra::operations
