#include "operations/GameBuild.h"

#include "files/Sha256.h"
#include "game/BuildDetection.h"

namespace morra {

std::string GameBuild::named(const KnownBuilds& builds) const {
    return build ? builds.at(*build).build : buildNumbers(builds);
}

GameBuild detectGameBuild(const InstallContext& context, const GamePaths& paths) {
    GameBuild game;
    for (const auto& asset : paths.assets()) game.digests.push_back(sha256(context.fileManager(), asset));
    game.build = detectBuild(context.builds(), game.digests);
    return game;
}

std::string compatibleProfiles(const KnownBuilds& builds) {
    return builds.size() == 1 ? "совместимый профиль macOS " : "совместимые профили macOS ";
}

std::string gameUpdatedText(const KnownBuilds& builds) {
    return "Игра обновлена до версии, которую этот выпуск перевода ещё не знает.\nПеревод знает " +
           compatibleProfiles(builds) + buildNumbers(builds) +
           ".\nУстановить перевод можно будет, когда выйдет его новый выпуск. Удалить перевод можно и сейчас: "
           "файлы, для которых есть проверенные резервные копии, будут восстановлены.";
}

}  // namespace morra
