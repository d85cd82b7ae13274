#include "operations/GameBuild.h"

#include "files/Sha256.h"
#include "game/BuildDetection.h"

namespace morra::operations {

std::string GameBuild::named(const game::KnownBuilds& builds) const {
    return build ? builds.at(*build).build : game::buildNumbers(builds);
}

GameBuild detectGameBuild(const context::InstallContext& context, const game::GamePaths& paths) {
    GameBuild game;
    for (const auto& asset : paths.assets()) game.digests.push_back(files::sha256(context.fileManager(), asset));
    game.build = game::detectBuild(context.builds(), game.digests);
    return game;
}

std::string compatibleProfiles(const game::KnownBuilds& builds) {
    return builds.size() == 1 ? "совместимый профиль macOS " : "совместимые профили macOS ";
}

std::string gameUpdatedText(const game::KnownBuilds& builds) {
    return "Игра обновлена до версии, которую этот выпуск перевода ещё не знает.\nПеревод знает " +
           compatibleProfiles(builds) + game::buildNumbers(builds) +
           ".\nУстановить перевод можно будет, когда выйдет его новый выпуск. Удалить перевод можно и сейчас: "
           "файлы, для которых есть проверенные резервные копии, будут восстановлены.";
}

}  // namespace morra::operations
