// morra-fixture: writes a synthetic supported build of the game from a seed.
//
//   morra-fixture --out DIR [--seed N] [--size BYTES] [--state STATE] [--app NAME]
//                 [--support DIR] [--no-forms]
//
// DIR receives the game bundle (NAME, default morra.app) in STATE (untouched, installed-translated,
// installed-english, earlier-release, interrupted), the payload folder Payload/, the profile
// profile.json and every form of every file under forms/. With --support, verified backups of
// the untouched assets are written into that support folder as an install would have left them.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "FixtureGenerator.h"

namespace fs = std::filesystem;
using namespace morra::tools;

int main(int argc, char** argv) {
    fs::path out, support;
    std::string app = "morra.app";
    std::uint64_t seed = 1, size = 4 << 20;
    GameState state = GameState::Untouched;
    bool forms = true;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--no-forms") {
            forms = false;
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
                         "[--support DIR] [--no-forms]\n";
            return 2;
        }
    }
    if (out.empty()) {
        std::cerr << "morra-fixture: --out is required\n";
        return 2;
    }
    try {
        const Fixture fixture = makeFixture(seed, size);
        writeGame(fixture, out / app, state);
        writePayload(fixture, out / "Payload");
        writeProfile(fixture, out / "profile.json");
        if (forms) writeForms(fixture, out / "forms");
        if (!support.empty()) writeBackups(fixture, support);
    } catch (const std::exception& error) {
        std::cerr << "morra-fixture: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
