#pragma once

namespace morra::core {

// The translation's state in a game, as the inspection report words it.
enum class InstallationState {
    NotInstalled,         // every asset as the supported build ships it
    TranslatedCards,      // installed, skill cards translated
    EnglishCards,         // installed, skill cards left English
    EarlierOrIncomplete,  // an earlier release, or an installation that stopped part-way
    Unsupported,          // another game build, or files changed by something else
    GameUpdated,          // no known build, but backups show the translation was installed under one:
                          // the game was updated to a build this release does not know yet
};

}  // namespace morra::core
