// morra-fixture: writes a synthetic supported build of the game from a seed.
//
//   morra-fixture --out DIR [--seed N] [--size BYTES] [--state STATE] [--app NAME]
//                 [--support DIR] [--no-forms] [--two-builds [--game-build NUMBER]]
//
// DIR receives the game bundle (NAME, default morra.app) in STATE (untouched, installed-translated,
// installed-english, earlier-release, interrupted), the payload folder Payload/, the profile
// profile.json and every form of every file under forms/. With --support, verified backups of
// the untouched assets are written into that support folder as an install would have left them.
//
// With --two-builds, the set is two builds of the game, 57314208 and its update 57390117: the
// profile lists both, Payload/<build>/ holds each payload file once, forms/<build>/ the forms,
// and the game bundle and backups are of the build --game-build names (57314208 unless given).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "FixtureGenerator.h"

namespace fs = std::filesystem;
using namespace morra::tools;

namespace {

constexpr const char* kUsage = "usage: morra-fixture --out DIR [--seed N] [--size BYTES] [--state STATE] [--app NAME] "
                               "[--support DIR] [--no-forms] [--two-builds [--game-build NUMBER]]\n";

struct Options {
    fs::path out, support;
    std::string app = "morra.app";
    std::uint64_t seed = 1, size = 4 << 20;
    GameState state = GameState::Untouched;
    bool forms = true, twoBuilds = false;
    std::string gameBuild;
};

// Reads the command line into `options`; false (with the reason on standard error) when it is wrong.
bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--no-forms") options.forms = false;
        else if (option == "--two-builds") options.twoBuilds = true;
        else if (hasValue && option == "--game-build") options.gameBuild = argv[++i];
        else if (hasValue && option == "--out") options.out = argv[++i];
        else if (hasValue && option == "--seed") options.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (hasValue && option == "--size") options.size = std::strtoull(argv[++i], nullptr, 10);
        else if (hasValue && option == "--app") options.app = argv[++i];
        else if (hasValue && option == "--support") options.support = argv[++i];
        else if (hasValue && option == "--state") {
            if (parseGameState(argv[++i], options.state)) continue;
            std::cerr << "morra-fixture: unknown state " << argv[i] << "\n";
            return false;
        } else {
            std::cerr << kUsage;
            return false;
        }
    }
    if (options.out.empty()) std::cerr << "morra-fixture: --out is required\n";
    else if (!options.gameBuild.empty() && !options.twoBuilds) std::cerr << "morra-fixture: --game-build needs --two-builds\n";
    else return true;
    return false;
}

void writeSet(const Options& options) {
    const std::vector<Fixture> fixtures =
        options.twoBuilds ? makeTwoBuilds(options.seed, options.size) : std::vector{makeFixture(options.seed, options.size)};
    const auto game = std::find_if(fixtures.begin(), fixtures.end(), [&](const Fixture& fixture) {
        return options.gameBuild.empty() || fixture.profile.build == options.gameBuild;
    });
    if (game == fixtures.end()) throw std::runtime_error("no build " + options.gameBuild + " in the set");
    writeGame(*game, options.out / options.app, options.state);
    writePayload(fixtures, options.out / "Payload");
    writeProfile(fixtures, options.out / "profile.json");
    for (const Fixture& fixture : fixtures)
        if (options.forms)
            writeForms(fixture, options.twoBuilds ? options.out / "forms" / fixture.profile.build : options.out / "forms");
    if (!options.support.empty()) writeBackups(*game, options.support);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;
    try {
        writeSet(options);
    } catch (const std::exception& error) {
        std::cerr << "morra-fixture: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
