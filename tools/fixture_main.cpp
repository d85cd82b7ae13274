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

int main(int argc, char** argv) {
    fs::path out, support;
    std::string app = "morra.app";
    std::uint64_t seed = 1, size = 4 << 20;
    GameState state = GameState::Untouched;
    bool forms = true, twoBuilds = false;
    std::string gameBuild;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--no-forms") {
            forms = false;
        } else if (option == "--two-builds") {
            twoBuilds = true;
        } else if (hasValue && option == "--game-build") {
            gameBuild = argv[++i];
        } else if (hasValue && option == "--out") {
            out = argv[++i];
        } else if (hasValue && option == "--seed") {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (hasValue && option == "--size") {
            size = std::strtoull(argv[++i], nullptr, 10);
        } else if (hasValue && option == "--app") {
            app = argv[++i];
        } else if (hasValue && option == "--support") {
            support = argv[++i];
        } else if (hasValue && option == "--state") {
            if (!parseGameState(argv[++i], state)) {
                std::cerr << "morra-fixture: unknown state " << argv[i] << "\n";
                return 2;
            }
        } else {
            std::cerr << "usage: morra-fixture --out DIR [--seed N] [--size BYTES] [--state STATE] [--app NAME] "
                         "[--support DIR] [--no-forms] [--two-builds [--game-build NUMBER]]\n";
            return 2;
        }
    }
    if (out.empty()) {
        std::cerr << "morra-fixture: --out is required\n";
        return 2;
    }
    if (!gameBuild.empty() && !twoBuilds) {
        std::cerr << "morra-fixture: --game-build needs --two-builds\n";
        return 2;
    }
    try {
        const std::vector<Fixture> fixtures = twoBuilds ? makeTwoBuilds(seed, size) : std::vector{makeFixture(seed, size)};
        const auto game = std::find_if(fixtures.begin(), fixtures.end(), [&](const Fixture& fixture) {
            return gameBuild.empty() || fixture.profile.build == gameBuild;
        });
        if (game == fixtures.end()) throw std::runtime_error("no build " + gameBuild + " in the set");
        writeGame(*game, out / app, state);
        writePayload(fixtures, out / "Payload");
        writeProfile(fixtures, out / "profile.json");
        for (const Fixture& fixture : fixtures)
            if (forms) writeForms(fixture, twoBuilds ? out / "forms" / fixture.profile.build : out / "forms");
        if (!support.empty()) writeBackups(*game, support);
    } catch (const std::exception& error) {
        std::cerr << "morra-fixture: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
