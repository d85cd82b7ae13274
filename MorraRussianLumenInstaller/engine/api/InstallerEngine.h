#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morra {

class Engine;

// The build number of the one supported game build: it names the compatible profile in every
// text and the backup store's folder.
inline constexpr const char* kBuildNumber = "57314208";

// The translation's state in a game, as the inspection report words it.
enum class InstallationState {
    NotInstalled,         // every asset as the supported build ships it
    TranslatedCards,      // installed, skill cards translated
    EnglishCards,         // installed, skill cards left English
    EarlierOrIncomplete,  // an earlier release, or an installation that stopped part-way
    Unsupported,          // another game build, or files changed by something else
};

// How far an operation has come. `done` counts the bytes of the operation's work that are
// finished, of `total`; it never decreases, and the last report of a successful operation has
// done == total.
struct Progress {
    enum class Step {
        Checking,         // hashing the game's files and the backups
        BackingUp,        // copying untouched assets into the backup store
        AddingBundles,    // putting the four added bundles in place
        Patching,         // patching asset `item` of `itemCount`
        Restoring,        // restoring asset `item` of `itemCount` from its backup
        RemovingBundles,  // deleting the added bundles
        Verifying,        // hashing the results
    };
    Step step = Step::Checking;
    int item = 0;
    int itemCount = 0;
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

// What the program says when it cannot find its own resources folder (its payload is there):
// the command line prints this line alone and ends with status 1.
inline constexpr const char* kResourcesUnavailable = "Application resources are unavailable";
// The same for the player: what is wrong and what to do, in Russian, then that line.
std::string resourcesUnavailableText();

// Where the system lets the user allow the installer to change the game's application (App
// Management), as addresses the system opens, to be tried in order (the setting itself, then the
// settings around it); none where the system has no such setting.
std::vector<std::string> appManagementSettingsAddresses();

// Whether the system checks an application's signature when it is first launched (macOS), so that
// a game first launched after the installer changed it may be called damaged: the player should
// launch it once before the first install.
bool gameCheckedAtFirstLaunch();

// How a removal's result begins when it left added bundles that something else changed (the list
// of them follows).
inline constexpr const char* kChangedFilesLeft = "Реестр языка восстановлен. Неизвестные изменённые файлы оставлены:";

// A text as the program shows it: bytes that are not UTF-8 (a path may hold any) written as "\xNN".
// Every text the engine returns or throws is already so; front ends use this for paths.
std::string readableText(std::string_view text);

// Called on the operation's own thread, often (every few MiB); it must return quickly.
using ProgressCallback = std::function<void(const Progress&)>;

// The installer's game-side operations, as the command line and the window use them. Every
// operation is synchronous and keeps nothing between calls: what lasts is on disk. Each returns
// its finished Russian text or throws: InstallerError (the program's own checks, with the
// complete text) or another std::exception whose what() is the text to show. The operations are
// virtual so that a front end's tests can stand in for the engine (over a null internal engine).
class InstallerEngine {
public:
    // The program's own engine: the profile compiled into it, its own payload, the real disk.
    // (Defined beside the compiled-in profile.)
    InstallerEngine();
    // An engine over a prepared internal engine (tests and benchmarks).
    explicit InstallerEngine(std::shared_ptr<const Engine> engine);
    virtual ~InstallerEngine();
    InstallerEngine(const InstallerEngine&);
    InstallerEngine& operator=(const InstallerEngine&);

    // Whether the program's resources folder, which holds the payload, can be found. The front
    // ends check it once at start; an operation that needs it and does not find it throws
    // resourcesUnavailableText().
    virtual bool resourcesAvailable() const;
    // The first of the usual places that holds the game; never throws for a file-system reason.
    virtual std::optional<std::filesystem::path> discoverGame() const;
    // The report of --inspect: the state and the digests of the five assets.
    virtual std::string inspect(const std::filesystem::path& game) const;
    // The state that inspect reports, for a front end to word it its own way.
    virtual InstallationState installationState(const std::filesystem::path& game) const;
    // Whether another installer, in this process or another, is working on this game or on the
    // backups now (an install or remove would refuse at once). Tries the locks without waiting;
    // changes nothing. Throws, like installationState, for a bundle that is not the game.
    virtual bool heldByAnotherInstaller(const std::filesystem::path& game) const;
    virtual std::string install(const std::filesystem::path& game, bool skillCardsEnabled,
                                const ProgressCallback& progress = {}) const;
    virtual std::string remove(const std::filesystem::path& game, const ProgressCallback& progress = {}) const;

private:
    std::shared_ptr<const Engine> engine_;
};

}  // namespace morra
