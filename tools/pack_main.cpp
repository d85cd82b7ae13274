// morra-pack: builds the installer's payload and profile from copies of the game.
//
//   morra-pack --original GAME.app --english-cards GAME.app --translated GAME.app
//              [--earlier GAME.app]... --out DIR [--threads N]
//
// --original is the game as the supported build ships it; --english-cards and --translated are
// copies with the translation installed, skill cards left English and translated; each --earlier
// is a copy as an earlier release of the translation left it. DIR receives Payload/ (the eleven
// payload files) and profile.json, the build inputs MORRA_LUMEN_PAYLOAD and MORRA_LUMEN_PROFILE.
#include <cstdlib>
#include <iostream>
#include <string>

#include "Pack.h"

namespace {

constexpr const char* kUsage =
    "usage: morra-pack --original GAME.app --english-cards GAME.app --translated GAME.app "
    "[--earlier GAME.app]... --out DIR [--threads N]\n";

}  // namespace

int main(int argc, char** argv) {
    morra::tools::PackInputs inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "morra-pack: " << option << " needs a value\n" << kUsage;
            return 2;
        }
        const std::string value = argv[++i];
        if (option == "--original") inputs.original = value;
        else if (option == "--english-cards") inputs.englishCards = value;
        else if (option == "--translated") inputs.translated = value;
        else if (option == "--earlier") inputs.earlier.push_back(value);
        else if (option == "--out") inputs.out = value;
        else if (option == "--threads") inputs.differ.threads = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        else {
            std::cerr << "morra-pack: unknown option " << option << "\n" << kUsage;
            return 2;
        }
    }
    if (inputs.original.empty() || inputs.englishCards.empty() || inputs.translated.empty() || inputs.out.empty()) {
        std::cerr << "morra-pack: --original, --english-cards, --translated and --out are required\n" << kUsage;
        return 2;
    }
    inputs.progress = [](const std::string& line) { std::cout << line << std::endl; };
    try {
        morra::tools::pack(inputs);
    } catch (const std::exception& error) {
        std::cerr << "morra-pack: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
